#include "gui/windows/main/winMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include "app/FirstStart.h"
#include "app/PreviewRules.h"
#include "controls/Tracker2.h"
#include "engine/libav/FFmpegLoader.h"
#include "gui/common/DesktopNotification.h"
#include "gui/common/Theme.h"
#include "gui/widgets/FormatListBox.h"
#include "gui/widgets/SourceListView.h"
#include "gui/windows/dialogs/WinAbout.h"
#include "gui/windows/dialogs/WinProgress.h"
#include "platform/Shell.h"

namespace {

constexpr int kWidth = 920;
constexpr int kHeight = 570;
constexpr int kTitleHeight = 30;

QToolButton* MakeToolbarButton(QWidget* parent, const char* name, const QString& text,
                               const QString& art, int x) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setProperty("toolbar", true);
  b->setText(text);
  b->setIcon(theme::ArtworkIcon(art, QSize(24, 24)));
  b->setIconSize(QSize(24, 24));
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setGeometry(x, 66, 89, 46);
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

QToolButton* MakeMenuButton(QWidget* parent, const char* name, const QString& text, int x,
                            int width) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setProperty("menuButton", true);
  b->setText(text);
  b->setGeometry(x, 36, width, 24);
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

}  // namespace

TfrmMain::TfrmMain(std::unique_ptr<TGlobalObject> settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      settings_(settings ? std::move(settings) : TGlobalObject::CreateForApplication()),
      qtUi_(this),
      ui_(&qtUi_),
      list_(settings_->SettingsFile(), settings_->FormatFile()) {
  SetGlobalObject(settings_.get());
  // A format the user never stored choices for converts with its factory
  // choices, and the settings dialog starts from them, not from the first
  // item of every list.
  FirstStart(*settings_);
  setObjectName("frmMain");
  setAttribute(Qt::WA_StyledBackground, true);
  setFixedSize(kWidth, kHeight);
  QApplication::setApplicationDisplayName(QString::fromStdString(settings_->EditionTitle()));
  setWindowTitle(QString::fromStdString(settings_->EditionTitle()));

  mmoLog = new QPlainTextEdit(this);
  mmoLog->setObjectName("mmoLog");
  mmoLog->hide();

  CreateTitleBar();
  CreateToolbar();
  CreateMenus();
  CreateList();
  CreatePreview();
  CreateFormatPicker();
  CreateOutputFolder();

  list_.SetView(this);
  CreateBatchDriver();
  qApp->installEventFilter(this);
  LoadMediaLibraries();

  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TfrmMain::~TfrmMain() {
  qApp->removeEventFilter(this);
  ShutDownComponents();
  list_.SetView(nullptr);
  if (GlobalObject() == settings_.get()) SetGlobalObject(nullptr);
}

void TfrmMain::SetUserInteraction(IUserInteraction* ui) {
  ui_ = ui ? ui : &qtUi_;
  CreateBatchDriver();
}

void TfrmMain::CreateBatchDriver() {
  batch_.reset();
  batch_ =
      std::make_unique<TBatchDriver>(vcl_, list_, TBuildContext{SettingsFile(), FormatFile(), ui_});
  batch_->SetListView(this);
  batch_->OnBatchFinished = [this](const TBatchSummary& summary) {
    // A user who is looking at the window sees the list; one who is not is
    // told through the desktop.
    if (!ProgramIsActive())
      NotifyDesktop(QApplication::applicationDisplayName(), Q(BatchSummaryText(summary)));
  };
}

bool TfrmMain::ProgramIsActive() const {
  // The progress window and the dialogs are windows of their own, whose
  // parent chain leads here.
  for (const QWidget* w = QApplication::activeWindow(); w; w = w->parentWidget())
    if (w == this) return true;
  return false;
}

void TfrmMain::CreateTitleBar() {
  titleBar_ = new QWidget(this);
  titleBar_->setObjectName("titleBar");
  titleBar_->setAttribute(Qt::WA_StyledBackground, true);
  titleBar_->setGeometry(0, 0, kWidth, kTitleHeight);
  titleBar_->installEventFilter(this);
  auto* icon = new QLabel(titleBar_);
  icon->setPixmap(theme::Artwork("quor", QSize(20, 20)));
  icon->setGeometry(8, 5, 20, 20);
  lbl_appname = new QLabel(titleBar_);
  lbl_appname->setObjectName("lbl_appname");
  lbl_appname->setGeometry(34, 0, 600, kTitleHeight);
  lbl_appname->setText(QString::fromStdString(settings_->EditionTitle()));
  lbl_appname->setAttribute(Qt::WA_TransparentForMouseEvents);
  btnSmall = new QToolButton(titleBar_);
  btnSmall->setObjectName("btnSmall");
  btnSmall->setIcon(theme::ArtworkIcon("minimize", QSize(22, 18)));
  btnSmall->setIconSize(QSize(22, 18));
  btnSmall->setGeometry(kWidth - 62, 4, 26, 22);
  btnSmall->setToolTip("Minimize");
  btnClose = new QToolButton(titleBar_);
  btnClose->setObjectName("btnClose");
  btnClose->setIcon(theme::ArtworkIcon("close", QSize(22, 18)));
  btnClose->setIconSize(QSize(22, 18));
  btnClose->setGeometry(kWidth - 32, 4, 26, 22);
  btnClose->setToolTip("Close");
  connect(btnSmall, &QToolButton::clicked, this, &QWidget::showMinimized);
  connect(btnClose, &QToolButton::clicked, this, &QWidget::close);
}

void TfrmMain::CreateToolbar() {
  menubtnFile = MakeMenuButton(this, "menubtnFile", "File", 23, 56);
  menubtnEdit = MakeMenuButton(this, "menubtnEdit", "Edit", 83, 51);
  menubtnPreference = MakeMenuButton(this, "menubtnPreference", "Preference", 138, 66);
  menubtnHelp = MakeMenuButton(this, "menubtnHelp", "Help", 206, 50);

  btnAdd = MakeToolbarButton(this, "btnAdd", "Add", "add", 14);
  btnRemove = MakeToolbarButton(this, "btnRemove", "Remove", "remove", 14 + 91);
  btnClear = MakeToolbarButton(this, "btnClear", "Clear", "clear", 14 + 2 * 91);
  btnSettings = MakeToolbarButton(this, "btnSettings", "Settings", "settings", 14 + 3 * 91);
  btnEdit = MakeToolbarButton(this, "btnEdit", "Edit", "edit", 14 + 4 * 91);
  btnStart = MakeToolbarButton(this, "btnStart", "Start", "start", 14 + 5 * 91);
  btnExit = MakeToolbarButton(this, "btnExit", "Exit", "exit", 14 + 6 * 91);
  btnRemove->setEnabled(false);
  btnClear->setEnabled(false);
  btnStart->setEnabled(false);

  connect(btnAdd, &QToolButton::clicked, this, &TfrmMain::AddFiles);
  connect(btnRemove, &QToolButton::clicked, this, &TfrmMain::RemoveFile);
  connect(btnClear, &QToolButton::clicked, this, &TfrmMain::ClearFiles);
  connect(btnSettings, &QToolButton::clicked, this, &TfrmMain::ShowSettingsDialog);
  connect(btnStart, &QToolButton::clicked, this, &TfrmMain::StartBatch);
  connect(btnExit, &QToolButton::clicked, this, &QWidget::close);
  connect(menubtnPreference, &QToolButton::clicked, this, &TfrmMain::ShowPreferences);
}

void TfrmMain::CreateMenus() {
  mnuFile = new QMenu(this);
  mnuFile->addAction("&Add", this, &TfrmMain::AddFiles);
  mnuFile->addAction("&Remove", this, &TfrmMain::RemoveFile);
  mnuFile->addAction("&Clear", this, &TfrmMain::ClearFiles);
  mnuFile->addAction("&Start", this, &TfrmMain::StartBatch);
  mnuFile->addSeparator();
  mnuFile->addAction("Se&ttings", this, &TfrmMain::ShowSettingsDialog);
  mnuFile->addAction("&Exit", this, &QWidget::close);

  mnuEdit = new QMenu(this);
  actCrop = mnuEdit->addAction("&Crop", this, &TfrmMain::ShowCropWindow);
  actTrim = mnuEdit->addAction("&Trim", this, &TfrmMain::ShowTrimWindow);
  actWaterMark =
      mnuEdit->addAction("&Video Effect && Water Mark", this, &TfrmMain::ShowWatermarkWindow);
  mnuEdit->addSeparator();
  actEditAdd = mnuEdit->addAction("&Add", this, &TfrmMain::AddFiles);
  actEditRemove = mnuEdit->addAction("&Remove", this, &TfrmMain::RemoveFile);
  actEditClear = mnuEdit->addAction("&Clear", this, &TfrmMain::ClearFiles);
  actEditStart = mnuEdit->addAction("&Start", this, &TfrmMain::StartBatch);
  mnuEdit->addSeparator();
  actInfo = mnuEdit->addAction("Video &Infomation", this, &TfrmMain::ShowFileInfo);
  connect(mnuEdit, &QMenu::aboutToShow, this, &TfrmMain::UpdateEditMenu);

  mnuHelp = new QMenu(this);
  mnuHelp->addAction("&Help", this, &TfrmMain::OpenHelp);
  mnuHelp->addAction("&About", this, &TfrmMain::ShowAbout);

  connect(menubtnFile, &QToolButton::clicked, this,
          [this] { PopupMenuBelow(mnuFile, menubtnFile); });
  connect(menubtnEdit, &QToolButton::clicked, this,
          [this] { PopupMenuBelow(mnuEdit, menubtnEdit); });
  connect(menubtnHelp, &QToolButton::clicked, this,
          [this] { PopupMenuBelow(mnuHelp, menubtnHelp); });
  connect(btnEdit, &QToolButton::clicked, this, [this] { PopupMenuBelow(mnuEdit, btnEdit); });
}

void TfrmMain::PopupMenuBelow(QMenu* menu, QToolButton* button) {
  // A menu closes on any press outside it, so the second click on its own
  // button arrives after it closed: remember which button opened it last
  // and when, so that click only closes.
  static QElapsedTimer closedAt;
  static QToolButton* closedBy = nullptr;
  if (closedBy == button && closedAt.isValid() && closedAt.elapsed() < 250) {
    closedBy = nullptr;
    return;
  }
  openMenu_ = menu;
  menu->exec(button->mapToGlobal(QPoint(0, button->height())));
  openMenu_ = nullptr;
  closedBy = button;
  closedAt.restart();
}

void TfrmMain::UpdateEditMenu() {
  const bool rows = RowEntriesEnabled(list_.Selected(), list_.Count());
  for (QAction* a :
       {actCrop, actTrim, actWaterMark, actInfo, actEditRemove, actEditClear, actEditStart})
    a->setEnabled(rows);
  actEditAdd->setEnabled(true);
}

void TfrmMain::ShowAbout() {
  if (!frmAbout_) frmAbout_ = new TfrmAbout(*settings_, this);
  frmAbout_->move(geometry().center() - frmAbout_->rect().center());
  frmAbout_->exec();
}

void TfrmMain::OpenHelp() {
  const std::string address = settings_->HelpAddress();
  if (!platform::OpenWithDesktop(address)) ui_->ShowWarning("Warning", NotOpenedText(address));
}

void TfrmMain::LoadMediaLibraries() {
  // A failure only goes to the hidden log: the converter and the player
  // report their own failures when they are used.
  if (!player_.AVLibLoaded() && !player_.LoadAVLib(TFFmpegLoader::DefaultLibraryPath()))
    mmoLog->appendPlainText(QString::fromStdString(TFFmpegLoader::Instance().LastErrMsg()));
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  TAppSettings app(SettingsFile());
  edDirectory->setText(QString::fromStdString(app.VerifyOutPutDir()));
  app.VerifySnapOutPutDir();
  settings_->SetVersionText(TGlobalObject::FileVersionText());
  lbl_appname->setText(
      QString::fromStdString(settings_->EditionTitle() + settings_->VersionText()));
  preview_->ShowButtons();
  imgbtnPre->setEnabled(false);
  imgbtnNext->setEnabled(false);
  LoadVolumeAndMute();
  ListChanged(!list_.Empty());
  ReloadFormat();
}

bool TfrmMain::ConfirmExit() {
  return ui_->AskYesNo("Warning", "Do you really want to exit?", false);
}

void TfrmMain::CloseWithoutQuestion() {
  askOnClose_ = false;
  close();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  if (askOnClose_ && !ConfirmExit()) {
    askOnClose_ = true;
    event->ignore();
    return;
  }
  closing_ = true;
  ShutDownComponents();
  event->accept();
}

void TfrmMain::ShutDownComponents() {
  if (!batch_) return;
  lst1_->SaveGroupStates(SettingsFile());
  // A batch still running in the progress window stops with it, and the
  // window lets go of the driver before the driver goes.
  if (frmProgress_) {
    frmProgress_->Close();
    frmProgress_->Attach(nullptr, nullptr);
  }
  batch_->DetachHandlers();
  preview_->Detach();
  player_.Stop(false);
  player_.Stop(true);
  batch_.reset();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  // The frameless window moves when its title area is dragged; the desktop
  // moves it where it can (Wayland lets only the compositor move windows).
  if (watched == titleBar_) {
    // Every event of the title bar passes here, not only the mouse's.
    auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
      if (windowHandle() && windowHandle()->startSystemMove()) return true;
      draggingWindow_ = true;
      dragOffset_ = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
      return true;
    }
    if (event->type() == QEvent::MouseMove && draggingWindow_) {
      move(mouse->globalPosition().toPoint() - dragOffset_);
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) draggingWindow_ = false;
  }
  if (event->type() == QEvent::MouseButtonPress && lst1_ && lst1_->isVisible()) {
    const auto& press = static_cast<const QMouseEvent&>(*event);
    if (press.button() == Qt::LeftButton && !lst1_->PressIsOnPicker(press, {imgbtn1, edt1}))
      CloseFormatList();
  }
  if (event->type() == QEvent::ApplicationDeactivate) CloseFormatList();
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  QPainter painter(this);
  painter.setPen(QColor(0x2d, 0x5e, 0xa8));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
