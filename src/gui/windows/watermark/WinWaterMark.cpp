// The watermark editor's controls and their places, and the wiring of each
// control to its command.
#include "gui/windows/watermark/WinWaterMark.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

#include "app/BatchDriver.h"
#include "controls/Tracker2.h"
#include "editing/WmColors.h"
#include "gui/common/Theme.h"
#include "gui/widgets/ColorBox.h"
#include "gui/widgets/DialogParts.h"
#include "gui/widgets/EditBars.h"
#include "gui/windows/watermark/WmCanvas.h"
#include "gui/windows/watermark/WmItemList.h"
#include "platform/Shell.h"
#include "player/qt/PlayerWidget.h"

namespace {

constexpr int kLeft = 12;  // the item column
constexpr int kColumnWidth = 320;
constexpr int kCanvasLeft = 344;  // the canvas column
constexpr int kCanvasTop = 40;
constexpr int kCanvasWidth = 592;
constexpr int kCanvasHeight = 427;
constexpr int kFieldLeft = 100;  // font fields after their labels

QLineEdit* MakeShowEdit(QWidget* parent, const char* name, int x, int y, int w) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::NoFocus);
  edit->setGeometry(x, y, w, 22);
  return edit;
}

QSlider* MakeSlider(QWidget* parent, const char* name, int x, int y, int w) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(name);
  slider->setGeometry(x, y, w, 22);
  return slider;
}

QToolButton* MakeArrow(QWidget* parent, const char* name, Qt::ArrowType arrow, int x, int y,
                       const QString& hint) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setArrowType(arrow);
  b->setGeometry(x, y, 18, 11);
  b->setToolTip(hint);
  b->setAutoRepeat(true);
  return b;
}

TTrackBar2* MakeBar(QWidget* parent, const char* name, const QRect& geometry, bool twoThumbs) {
  auto* bar = new TTrackBar2(parent);
  bar->setObjectName(name);
  bar->setGeometry(geometry);
  bar->SetSecondThumb(twoThumbs);
  editbars::SetUpRoundBar(bar, 14, false);
  bar->setFocusPolicy(Qt::StrongFocus);
  return bar;
}

}  // namespace

TfrmWaterMark::TfrmWaterMark(TWaterMarkSource source, IUserInteraction& ui, QWidget* parent)
    : QDialog(parent), source_(std::move(source)), ui_(ui) {
  setObjectName("frmWaterMark");
  setWindowTitle("Water Mark");
  setFixedSize(948, 640);
  auto* header = MakeLabel(this, "Watermark", kLeft, 8, 300, 24);
  header->setObjectName("lblHeader");
  header->setStyleSheet("font-size: 12pt; font-weight: bold; color: #2d5ea8;");
  CreateItemControls();
  CreatePositionControls();
  CreateFontControls();
  CreatePlayerControls();
  CreateTimeControls();
  CreateClosingButtons();
  ConnectItemControls();
  BindPlayerEvents();
}

void TfrmWaterMark::CreateItemControls() {
  btnAddText = MakeButton(this, "btnAddText", "Add Text", kLeft, 40, 76);
  btnAddImage = MakeButton(this, "btnAddImage", "Add Image", kLeft + 80, 40, 82);
  btnDelete = MakeButton(this, "btnDelete", "Delete", kLeft + 166, 40, 58);
  btnUp = MakeButton(this, "btnUp", "Up", kLeft + 228, 40, 42);
  btnDown = MakeButton(this, "btnDown", "Down", kLeft + 274, 40, 46);
  lsbox = new TWmItemList(this);
  lsbox->setObjectName("lsbox");
  lsbox->setGeometry(kLeft, 72, kColumnWidth, 146);
  edt1 = new QLineEdit(lsbox);
  edt1->setObjectName("edt1");
  QFont editFont = edt1->font();
  editFont.setPointSize(11);
  edt1->setFont(editFont);
  edt1->hide();
}

void TfrmWaterMark::CreatePositionControls() {
  MakeLabel(this, "Horizontal Position:", kLeft, 224, 200, 18);
  trcTextHoriz = MakeSlider(this, "trcTextHoriz", kLeft, 242, 250);
  edtTextHoriz = MakeShowEdit(this, "edtTextHoriz", kLeft + 258, 242, 62);
  MakeLabel(this, "Vertical Position:", kLeft, 268, 200, 18);
  trcTextVert = MakeSlider(this, "trcTextVert", kLeft, 286, 250);
  edtTextVert = MakeShowEdit(this, "edtTextVert", kLeft + 258, 286, 62);
  MakeLabel(this, "Transparency:", kLeft, 312, 200, 18);
  trcTextTran = MakeSlider(this, "trcTextTran", kLeft, 330, 250);
  trcTextTran->setRange(0, 255);
  edtTextTran = MakeShowEdit(this, "edtTextTran", kLeft + 258, 330, 62);
}

void TfrmWaterMark::CreateFontControls() {
  grpBackground = new QGroupBox("Font background color", this);
  grpBackground->setGeometry(kLeft, 360, kColumnWidth, 74);
  rb1 = new QRadioButton("Background color", grpBackground);
  rb1->setObjectName("rb1");
  rb1->setGeometry(10, 22, 130, 20);
  rb2 = new QRadioButton("Transparent", grpBackground);
  rb2->setObjectName("rb2");
  rb2->setGeometry(10, 46, 130, 20);
  cbBackColor = new TColorBox(grpBackground);
  cbBackColor->setObjectName("cbBackColor");
  cbBackColor->setGeometry(144, 21, 166, 22);

  MakeLabel(this, "Font Color:", kLeft, 446, 86, 18);
  cbFontColor = new TColorBox(this);
  cbFontColor->setObjectName("cbFontColor");
  cbFontColor->setGeometry(kFieldLeft, 444, kLeft + kColumnWidth - kFieldLeft, 22);
  MakeLabel(this, "Font:", kLeft, 474, 86, 18);
  cbFont = new QComboBox(this);
  cbFont->setObjectName("cbFont");
  cbFont->setGeometry(kFieldLeft, 472, kLeft + kColumnWidth - kFieldLeft, 22);
  cbFont->addItems(QFontDatabase::families());
  MakeLabel(this, "Font Size:", kLeft, 502, 86, 18);
  cbFontSize = new QComboBox(this);
  cbFontSize->setObjectName("cbFontSize");
  cbFontSize->setGeometry(kFieldLeft, 500, 70, 22);
  MakeLabel(this, "Font Style:", kLeft, 530, 86, 18);
  const auto check = [this](const char* name, const QString& caption, int x, int y) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(name);
    box->setGeometry(x, y, 96, 20);
    return box;
  };
  ckBold = check("ckBold", "Bold", kFieldLeft, 529);
  ckItalic = check("ckItalic", "Italic", kFieldLeft + 110, 529);
  ckUnderline = check("ckUnderline", "Underline", kFieldLeft, 553);
  ckStrikeout = check("ckStrikeout", "Strikeout", kFieldLeft + 110, 553);
}

void TfrmWaterMark::CreatePlayerControls() {
  auto* frame = new QWidget(this);
  frame->setGeometry(kCanvasLeft - 1, kCanvasTop - 1, kCanvasWidth + 2, kCanvasHeight + 2);
  frame->setStyleSheet("background: #7a9ccf;");
  ImgView = new TWmCanvas(layers_, this);
  ImgView->setObjectName("ImgView");
  ImgView->setGeometry(kCanvasLeft, kCanvasTop, kCanvasWidth, kCanvasHeight);
  imgPreview = new TPlayerWidget(this);
  imgPreview->setObjectName("imgPreview");
  imgPreview->setGeometry(kCanvasLeft, kCanvasTop, kCanvasWidth, kCanvasHeight);
  imgPreview->hide();

  const auto picture = [this](const char* name, const QString& art, int x, const QString& hint) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setProperty("picture", true);
    b->setIcon(theme::ArtworkIcon(art, QSize(29, 19)));
    b->setIconSize(QSize(29, 19));
    b->setGeometry(x, 476, 29, 19);
    b->setToolTip(hint);
    b->setFocusPolicy(Qt::NoFocus);
    if (b->icon().isNull()) b->setText(hint);
    return b;
  };
  imgbtnPlay = picture("imgbtnPlay", "play", kCanvasLeft, "Play");
  imgbtnpause = picture("imgbtnpause", "pause", kCanvasLeft + 31, "Pause");
  trcPreview = MakeBar(this, "trcPreview", QRect(kCanvasLeft + 68, 475, 400, 22), false);
  trcPreview->SetMax(0);
  trcPreview->setFocusPolicy(Qt::NoFocus);
  lblTime = MakeLabel(this, "0:00:00", kCanvasLeft + 474, 477, 56, 18);
  lblTime->setObjectName("lblTime");
  lblTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  MakeLabel(this, "/", kCanvasLeft + 533, 477, 8, 18);
  lblPTS = MakeLabel(this, "0:00:00", kCanvasLeft + 542, 477, 50, 18);
  lblPTS->setObjectName("lblPTS");
}

void TfrmWaterMark::CreateTimeControls() {
  auto* label =
      MakeLabel(this, "Set the period of time when a watermark will be \r\nshow in the video",
                kCanvasLeft, 506, 400, 32);
  label->setWordWrap(false);
  trcRange = MakeBar(this, "trcRange", QRect(kCanvasLeft, 540, kCanvasWidth, 24), true);
  // Its two knobs look like handles, so they drag like handles.
  trcRange->SetDragDrawnThumbs(true);
  trcRange->SetMin(0);
  trcRange->SetMax(1);
  trcRange->SetPositionU(1);
  MakeLabel(this, "Start time:", kCanvasLeft, 573, 64, 18);
  edtStart = MakeShowEdit(this, "edtStart", kCanvasLeft + 66, 571, 76);
  btnStartUp1 =
      MakeArrow(this, "btnStartUp1", Qt::UpArrow, kCanvasLeft + 144, 571, "One second later");
  btnStartUpStartDown = MakeArrow(this, "btnStartUpStartDown", Qt::DownArrow, kCanvasLeft + 144,
                                  582, "One second earlier");
  MakeLabel(this, "End Time:", kCanvasLeft + 190, 573, 64, 18);
  edtEnd = MakeShowEdit(this, "edtEnd", kCanvasLeft + 256, 571, 76);
  btnStartUpEndUp =
      MakeArrow(this, "btnStartUpEndUp", Qt::UpArrow, kCanvasLeft + 334, 571, "One second later");
  btnStartUpEndDown = MakeArrow(this, "btnStartUpEndDown", Qt::DownArrow, kCanvasLeft + 334, 582,
                                "One second earlier");
}

void TfrmWaterMark::CreateClosingButtons() {
  btnHelp = MakeButton(this, "btnHelp", "&Help", kLeft, 602, 80);
  btnOk = MakeButton(this, "btnOk", "Ok", 756, 602, 86);
  btnCancel = MakeButton(this, "btnCancel", "Cancel", 850, 602, 86);
}

void TfrmWaterMark::ConnectItemControls() {
  connect(btnAddText, &QPushButton::clicked, this, &TfrmWaterMark::AddText);
  connect(btnAddImage, &QPushButton::clicked, this, &TfrmWaterMark::AddImage);
  connect(btnDelete, &QPushButton::clicked, this, &TfrmWaterMark::DeleteItem);
  connect(btnUp, &QPushButton::clicked, this, &TfrmWaterMark::MoveItemUp);
  connect(btnDown, &QPushButton::clicked, this, &TfrmWaterMark::MoveItemDown);
  connect(lsbox, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && row != layers_.Selected()) ClickRow(row);
  });
  connect(lsbox, &QListWidget::itemPressed, this,
          [this](QListWidgetItem* item) { ClickRow(lsbox->row(item)); });
  connect(lsbox, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { OpenRowEditor(lsbox->row(item)); });
  connect(edt1, &QLineEdit::textEdited, this, &TfrmWaterMark::EditRowText);
  connect(edt1, &QLineEdit::editingFinished, this, &TfrmWaterMark::HideRowEditor);

  connect(trcTextHoriz, &QSlider::valueChanged, this, &TfrmWaterMark::ApplyHorizontal);
  connect(trcTextVert, &QSlider::valueChanged, this, &TfrmWaterMark::ApplyVertical);
  connect(trcTextTran, &QSlider::valueChanged, this, &TfrmWaterMark::ApplyTransparency);
  trcRange->OnChange = [this](TTrackBar2*) { ApplyRange(); };
  connect(btnStartUp1, &QToolButton::clicked, this, [this] { StepThumb(false, 1); });
  connect(btnStartUpStartDown, &QToolButton::clicked, this, [this] { StepThumb(false, -1); });
  connect(btnStartUpEndUp, &QToolButton::clicked, this, [this] { StepThumb(true, 1); });
  connect(btnStartUpEndDown, &QToolButton::clicked, this, [this] { StepThumb(true, -1); });

  connect(rb1, &QRadioButton::toggled, this, [this](bool on) {
    if (on) ApplyBackgroundMode(true);
  });
  connect(rb2, &QRadioButton::toggled, this, [this](bool on) {
    if (on) ApplyBackgroundMode(false);
  });
  for (QComboBox* box : {static_cast<QComboBox*>(cbBackColor), static_cast<QComboBox*>(cbFontColor),
                         cbFont, cbFontSize})
    connect(box, &QComboBox::currentIndexChanged, this, &TfrmWaterMark::ApplyFontControls);
  for (QCheckBox* box : {ckBold, ckItalic, ckUnderline, ckStrikeout})
    connect(box, &QCheckBox::toggled, this, &TfrmWaterMark::ApplyFontControls);

  ImgView->OnLayerClick = [this](int row) {
    if (row >= 0) ClickRow(row);
  };
  ImgView->OnLayerDragged = [this](int row) { FollowDraggedLayer(row); };

  connect(btnOk, &QPushButton::clicked, this, &TfrmWaterMark::Ok);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmWaterMark::Cancel);
  connect(btnHelp, &QPushButton::clicked, this, [this] {
    const std::string address = source_.HelpAddress + "watermark.html";
    if (!platform::OpenWithDesktop(address)) ui_.ShowWarning("Warning", NotOpenedText(address));
  });
}
