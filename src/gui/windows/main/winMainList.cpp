// The main window's source list: Add, Remove, Clear, selection, the
// right-click menu and double-click to play.
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QToolButton>

#include <QApplication>
#include <QProgressDialog>
#include <QTimer>

#include "app/GlobalUnit.h"
#include "app/MediaPaths.h"
#include "app/PreviewRules.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/probe/ReadableExtensions.h"
#include "gui/widgets/SourceListView.h"
#include "gui/windows/main/winMain.h"

namespace {}  // namespace

QString TfrmMain::AddFileFilter() {
  QStringList patterns;
  for (const std::string& ext : ReadableExtensions())
    patterns << "*." + QString::fromStdString(ext);
  return "MPEG4 files (*.mp4);;Itunes Video files (*.m4v);;MPEG-4 Audio files (*.m4a);;All media "
         "files (" +
         patterns.join(' ') + ")";
}

namespace {

// More files than this are added behind a progress dialog that keeps the
// window responsive and can be cancelled.
constexpr int kQuietAddCount = 8;

std::string JoinSkipped(const TAddResult& result) {
  std::string text;
  for (const auto& [file, reason] : result.Skipped) text += "\n" + file + ": " + reason;
  return text;
}

}  // namespace

void TfrmMain::CreateList() {
  lvFIles_ = new TSourceListView(this);
  lvFIles_->setObjectName("lvFIles");
  lvFIles_->setGeometry(20, 126, 480, 340);
  model_ = new TSourceListModel(list_, this);
  lvFIles_->setModel(model_);
  lvFIles_->setHeaderHidden(true);
  connect(lvFIles_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { ListSelectionChanged(); });
  // A click below the rows clears the selection but keeps the current row:
  // the row the edit windows use is the one shown selected.
  connect(lvFIles_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ListSelectionChanged(); });
  connect(lvFIles_, &TSourceListView::RightPressed, this, [this](const QPoint& pos) {
    UpdateEditMenu();
    openMenu_ = mnuEdit;
    mnuEdit->exec(pos);
    openMenu_ = nullptr;
  });
  connect(lvFIles_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (!index.isValid()) return;
    if (ShowProgressReason(index.row(), index.column())) return;
    SelectRow(index.row());
    OpenPreview();
  });
  connect(lvFIles_, &QAbstractItemView::clicked, this, [this] { UpdatePreviousNext(); });
  connect(lvFIles_, &TSourceListView::FilesDropped, this, [this](const QStringList& files) {
    // After the drop has returned to the file manager.
    QTimer::singleShot(0, this, [this, files] { AddFileList(files); });
  });
}

void TfrmMain::AddFiles() {
  // Add loads the converter's libraries every time; without them it does
  // nothing and says nothing.
  if (!vcl_.LoadAVLib(TFFmpegLoader::DefaultLibraryPath())) {
    mmoLog->appendPlainText(QString::fromStdString(vcl_.LastErrMsg()));
    playAfterAdd_ = false;
    return;
  }
  QStringList files;
  if (ChooseFiles) {
    files = ChooseFiles();
  } else {
    QFileDialog dialog(this, "Open",
                       QString::fromStdString(TAppSettings(SettingsFile()).AddFolder()));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(AddFileFilter());
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
    if (dialog.exec() == QDialog::Accepted) files = dialog.selectedFiles();
  }
  if (files.isEmpty()) {
    playAfterAdd_ = false;
    return;
  }
  TAppSettings(SettingsFile()).SetAddFolder(QFileInfo(files.first()).absolutePath().toStdString());
  AddFileList(files);
}

void TfrmMain::AddFileList(const QStringList& files) {
  if (!vcl_.LoadAVLib(TFFmpegLoader::DefaultLibraryPath())) {
    mmoLog->appendPlainText(QString::fromStdString(vcl_.LastErrMsg()));
    return;
  }
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(f.toStdString());
  const TExpandedPaths expanded = ExpandMediaPaths(paths, ReadableExtensions());
  TAddResult result;
  if (int(expanded.Files.size()) <= kQuietAddCount) {
    result = list_.Add(vcl_, expanded.Files, ui_);
  } else {
    // One file at a time, with the event loop turning between them.
    QProgressDialog progress("Adding files...", "Cancel", 0, int(expanded.Files.size()), this);
    progress.setWindowTitle(QApplication::applicationDisplayName());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    for (size_t i = 0; i < expanded.Files.size() && !progress.wasCanceled(); ++i) {
      progress.setValue(int(i));
      const TAddResult one = list_.Add(vcl_, {expanded.Files[i]}, ui_);
      result.Added += one.Added;
      result.Skipped.insert(result.Skipped.end(), one.Skipped.begin(), one.Skipped.end());
      QApplication::processEvents();
    }
    progress.setValue(int(expanded.Files.size()));
  }
  for (const std::string& folder : expanded.Unreadable)
    result.Skipped.push_back({folder, "cannot be read"});
  // Files that could not be read are named once for the whole batch of files.
  if (!result.Skipped.empty())
    ui_->ShowWarning("Warning", "These files cannot be added:" + JoinSkipped(result));
  if (!list_.Empty()) SelectRow(list_.Selected() >= 0 ? list_.Selected() : 0);
  lvFIles_->setFocus();
  if (playAfterAdd_) {
    playAfterAdd_ = false;
    if (!list_.Empty()) PlayPreview();
  }
}

void TfrmMain::RemoveFile() {
  if (list_.Selected() < 0) return;
  list_.Remove();
  if (!list_.Empty()) SelectRow(list_.Selected());
  lvFIles_->setFocus();
  UpdatePreviousNext();
}

void TfrmMain::ClearFiles() {
  list_.Clear(vcl_);
  UpdatePreviousNext();
}

void TfrmMain::SelectRow(int row) {
  list_.Select(row);
  const int selected = list_.Selected();
  if (selected >= 0) {
    const QModelIndex index = model_->index(selected, 0);
    lvFIles_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    lvFIles_->scrollTo(index);
  } else {
    lvFIles_->selectionModel()->clearSelection();
  }
  UpdatePreviousNext();
}

void TfrmMain::ListSelectionChanged() {
  const QModelIndexList rows = lvFIles_->selectionModel()->selectedRows();
  list_.Select(rows.isEmpty() ? -1 : rows.front().row());
  UpdatePreviousNext();
}

// The Progress cell is too narrow for why a file failed; a double-click on
// it shows the whole reason (a tip shows it too).
bool TfrmMain::ShowProgressReason(int row, int column) {
  if (column != kProgressColumn || row < 0 || row >= list_.Count()) return false;
  const TSourceRow& source = list_.Row(row);
  if (source.ProgressTip.empty()) return false;
  ui_->ShowInformation(source.Progress, source.Caption + "\n\n" + source.ProgressTip);
  return true;
}

void TfrmMain::EnableButtons(unsigned buttons) {
  if (buttons & btAdd) btnAdd->setEnabled(true);
  if (buttons & btRemove) btnRemove->setEnabled(true);
  if (buttons & btClear) btnClear->setEnabled(true);
  if (buttons & btStart) btnStart->setEnabled(true);
}

void TfrmMain::ListChanged(bool hasRows) {
  const int selected = list_.Selected();
  model_->Reload();
  lvFIles_->ApplyColumnWidths();
  if (selected >= 0 && selected < list_.Count())
    lvFIles_->selectionModel()->setCurrentIndex(
        model_->index(selected, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  if (!hasRows) {
    btnRemove->setEnabled(false);
    btnClear->setEnabled(false);
    btnStart->setEnabled(false);
  }
  lvFIles_->viewport()->update();
}

void TfrmMain::RowChanged(int row) { model_->RowChanged(row); }
