#include "gui/windows/dialogs/WinFileInfo.h"

#include <algorithm>

#include <QFontMetrics>
#include <QGroupBox>
#include <QHideEvent>
#include <QLineEdit>
#include <QPushButton>

#include "engine/libav/FFmpegLoader.h"
#include "gui/widgets/DialogParts.h"

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 460;
constexpr int kNameX = 96;
constexpr int kNameWidth = kWidth - kNameX - 14;
// A shortened name gets a label of this width, or as wide as its text needs
// when the font is wider, up to the window's edge.
constexpr int kShortenedNameWidth = 270;
constexpr int kRowHeight = 28;

// A group of `rows` fields across the window at `y`.
QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& title, int y, int rows) {
  auto* group = new QGroupBox(title, parent);
  group->setObjectName(name);
  group->setGeometry(10, y, kWidth - 20, 30 + rows * kRowHeight);
  return group;
}

}  // namespace

TfrmFileInfo::TfrmFileInfo(QWidget* owner) : QDialog(owner), qtUi_(this), ui_(&qtUi_) {
  setObjectName("frmFileInfo");
  setWindowTitle("File infomation");
  setModal(true);
  setFixedSize(kWidth, kHeight);
  MakeLabel(this, "File Name:", 16, 14, 78);
  lblSourceName = MakeLabel(this, "", kNameX, 14, kNameWidth);
  lblSourceName->setObjectName("lblSourceName");
  MakeLabel(this, "Duration:", 16, 42, 78);
  lblFileLength = MakeLabel(this, "", kNameX, 42, kNameWidth);
  lblFileLength->setObjectName("lblFileLength");

  grpVideo = MakeGroup(this, "grpVideo", "Video ", 76, 5);
  edtFormat = AddField(grpVideo, "edtFormat", "Format:", 0);
  edtResloution = AddField(grpVideo, "edtResloution", "Resloution:", 1);
  edtFrameRate = AddField(grpVideo, "edtFrameRate", "Frame Rate:", 2);
  edtTotalFrame = AddField(grpVideo, "edtTotalFrame", "Total Frame:", 3);
  edtBitRate = AddField(grpVideo, "edtBitRate", "Bit Rate:", 4);

  grpAudio = MakeGroup(this, "grpAudio", "Audio", 262, 4);
  edtAudioForamt = AddField(grpAudio, "edtAudioForamt", "Format:", 0);
  edtSampleRate = AddField(grpAudio, "edtSampleRate", "Sample Rate:", 1);
  edtChannel = AddField(grpAudio, "edtChannel", "Channel:", 2);
  edtAudioBitRate = AddField(grpAudio, "edtAudioBitRate", "Bit Rate:", 3);

  btn1 = new QPushButton("&Ok", this);
  btn1->setObjectName("btn1");
  btn1->setGeometry((kWidth - 80) / 2, kHeight - 42, 80, 26);
  btn1->setDefault(true);
  connect(btn1, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmFileInfo::~TfrmFileInfo() { CloseFileInfo(vcl_); }

void TfrmFileInfo::SetUserInteraction(IUserInteraction* ui) { ui_ = ui ? ui : &qtUi_; }

QLineEdit* TfrmFileInfo::AddField(QWidget* group, const char* name, const QString& label, int row) {
  const int y = 24 + row * kRowHeight;
  MakeLabel(group, label, 14, y, 90);
  auto* edit = new QLineEdit(group);
  edit->setObjectName(name);
  edit->setReadOnly(true);
  edit->setGeometry(110, y, group->width() - 126, 22);
  return edit;
}

void TfrmFileInfo::ShowSource(const std::string& source) {
  TFileInfoTexts texts;
  if (!source.empty()) {
    std::string error;
    if (!vcl_.LoadAVLib(TFFmpegLoader::DefaultLibraryPath()) ||
        !ReadFileInfo(vcl_, source, texts, error)) {
      ui_->ShowWarning("Warning", error.empty() ? vcl_.LastErrMsg() : error);
      texts.Name = FileInfoName(source);
      texts.NameShortened = texts.Name != source;
    }
  }
  ShowTexts(texts, source);
  btn1->setFocus();
}

void TfrmFileInfo::ShowTexts(const TFileInfoTexts& texts, const std::string& source) {
  // A name of wide letters that does not fit even then loses its middle
  // rather than its end; the whole path is a hover away.
  const QFontMetrics metrics = lblSourceName->fontMetrics();
  lblSourceName->setText(metrics.elidedText(Q(texts.Name), Qt::ElideMiddle, kNameWidth));
  lblSourceName->setToolTip(texts.NameShortened ? Q(source) : QString());
  const int needed = metrics.horizontalAdvance(lblSourceName->text());
  lblSourceName->setFixedWidth(
      texts.NameShortened ? std::clamp(needed, kShortenedNameWidth, kNameWidth) : kNameWidth);
  lblFileLength->setText(Q(texts.Duration));
  const std::pair<QLineEdit*, const std::string*> fields[] = {
      {edtFormat, &texts.Format},
      {edtResloution, &texts.Resolution},
      {edtFrameRate, &texts.FrameRate},
      {edtTotalFrame, &texts.TotalFrames},
      {edtBitRate, &texts.VideoBitRate},
      {edtAudioForamt, &texts.AudioFormat},
      {edtSampleRate, &texts.SampleRate},
      {edtChannel, &texts.Channels},
      {edtAudioBitRate, &texts.AudioBitRate}};
  for (const auto& [edit, text] : fields) {
    edit->setText(Q(*text));
    edit->setCursorPosition(0);
  }
}

void TfrmFileInfo::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) CloseFileInfo(vcl_);
}
