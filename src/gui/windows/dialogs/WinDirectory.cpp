#include "gui/windows/dialogs/WinDirectory.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "app/FolderChoice.h"
#include "app/GlobalUnit.h"

namespace {

constexpr int kWidth = 322;
constexpr int kHeight = 351;
// Whether an item's sub-folders have been listed.
constexpr int kFilledRole = Qt::UserRole + 1;

QString CleanFolder(const QString& folder) {
  return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

}  // namespace

TfmDirectory::TfmDirectory(QWidget* owner) : QDialog(owner), qtUi_(this), ui_(&qtUi_) {
  setObjectName("fmDirectory");
  setWindowTitle("Browse");
  setModal(true);
  setFixedSize(kWidth, kHeight);
  lblPrompt = new QLabel("Please select an output directory:", this);
  lblPrompt->setGeometry(12, 8, kWidth - 24, 20);
  stview_selectdir = new QTreeWidget(this);
  stview_selectdir->setObjectName("stview_selectdir");
  stview_selectdir->setGeometry(12, 30, kWidth - 24, 270);
  stview_selectdir->setHeaderHidden(true);
  stview_selectdir->setColumnCount(1);
  stview_selectdir->setSelectionMode(QAbstractItemView::SingleSelection);
  btnOk = new QPushButton("Ok", this);
  btnOk->setObjectName("btnOk");
  btnOk->setGeometry(kWidth - 184, 312, 80, 26);
  btnOk->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(kWidth - 92, 312, 80, 26);
  btnCancel->setAutoDefault(false);

  const QFileIconProvider icons;
  home_ = AddFolderItem(nullptr, CleanFolder(QDir::homePath()), "Home");
  home_->setIcon(0, icons.icon(QFileIconProvider::Desktop));
  root_ = AddFolderItem(nullptr, "/", "File System");
  root_->setIcon(0, icons.icon(QFileIconProvider::Drive));

  connect(stview_selectdir, &QTreeWidget::itemExpanded, this, &TfmDirectory::FillItem);
  connect(stview_selectdir, &QTreeWidget::currentItemChanged, this, &TfmDirectory::UpdateOk);
  connect(btnOk, &QPushButton::clicked, this, &TfmDirectory::TakeSelected);
  connect(btnCancel, &QPushButton::clicked, this, [this] {
    result_.clear();
    reject();
  });
}

void TfmDirectory::SetUserInteraction(IUserInteraction* ui) { ui_ = ui ? ui : &qtUi_; }

QString TfmDirectory::Choose(const QString& start) {
  result_.clear();
  setFixedSize(kWidth, kHeight);
  // Folders made or removed since the last time show as they are now.
  for (QTreeWidgetItem* top : {home_, root_}) Forget(top);
  if (QWidget* owner = parentWidget()) move(owner->window()->geometry().center() - rect().center());
  if (start.isEmpty() || !SelectFolder(start)) SelectFolder(PathOf(home_));
  UpdateOk();
  stview_selectdir->setFocus();
  exec();
  return result_;
}

QString TfmDirectory::PathOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, Qt::UserRole).toString() : QString();
}

QTreeWidgetItem* TfmDirectory::AddFolderItem(QTreeWidgetItem* parent, const QString& path,
                                             const QString& text) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(stview_selectdir);
  item->setText(0, text);
  item->setData(0, Qt::UserRole, path);
  item->setIcon(0, QFileIconProvider().icon(QFileIconProvider::Folder));
  // Listing every folder's children up front would read the whole disc:
  // each item offers to open until it is opened and found empty.
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  return item;
}

void TfmDirectory::Forget(QTreeWidgetItem* item) {
  item->setExpanded(false);
  qDeleteAll(item->takeChildren());
  item->setData(0, kFilledRole, false);
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
}

void TfmDirectory::FillItem(QTreeWidgetItem* item) {
  if (!item || item->data(0, kFilledRole).toBool()) return;
  item->setData(0, kFilledRole, true);
  const QString path = PathOf(item);
  const QFileInfoList folders =
      QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& folder : folders)
    AddFolderItem(item, QDir::cleanPath(path + "/" + folder.fileName()), folder.fileName());
  if (folders.isEmpty())
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QTreeWidgetItem* TfmDirectory::ChildNamed(QTreeWidgetItem* item, const QString& name) {
  FillItem(item);
  for (int i = 0; i < item->childCount(); ++i)
    if (item->child(i)->text(0) == name) return item->child(i);
  return nullptr;
}

bool TfmDirectory::SelectFolder(const QString& folder) {
  if (!QFileInfo(folder).isDir()) return false;
  const QString path = CleanFolder(folder);
  const QString home = PathOf(home_);
  const bool inHome = path == home || path.startsWith(home + "/");
  QTreeWidgetItem* item = inHome ? home_ : root_;
  const QString rest = path.mid(inHome ? home.size() : 1);
  for (const QString& name : rest.split('/', Qt::SkipEmptyParts)) {
    item->setExpanded(true);
    item = ChildNamed(item, name);
    if (!item) return false;
  }
  stview_selectdir->setCurrentItem(item);
  stview_selectdir->scrollToItem(item);
  return true;
}

void TfmDirectory::UpdateOk() {
  QTreeWidgetItem* item = stview_selectdir->currentItem();
  btnOk->setEnabled(item && FolderSelectable(S(PathOf(item))));
}

void TfmDirectory::TakeSelected() {
  const QString path = PathOf(stview_selectdir->currentItem());
  if (path.isEmpty()) return;
  if (!FolderAcceptable(S(path))) {
    result_.clear();
    const TGlobalObject* global = GlobalObject();
    ui_->ShowInformation(global ? global->EditionTitle() : kEditionTitle, kDiscFolderMessage);
    return;
  }
  result_ = path;
  accept();
}
