// The settings dialog's ten boxes: filling them for a format, the two
// groups' enabling, the key filters and focus checks of the editable boxes,
// and what Ok reads back from them.
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

#include "gui/widgets/ChoiceItemDelegate.h"
#include "gui/windows/settings/WinSettings.h"
#include "profiles/SettingsInput.h"

namespace {

// The first column holds the boxes with long items (encoders, channels,
// sizes), the second the numbers.
constexpr int kLabelX[2] = {10, 262};
constexpr int kLabelWidth = 98;
constexpr int kBoxX[2] = {110, 358};
constexpr int kBoxWidth[2] = {140, 88};
constexpr int kFirstRowY = 24;
constexpr int kRowStep = 33;
constexpr int kBoxHeight = 22;

const char* BoxName(TChoiceKey key) {
  switch (key) {
    case ckVideoSize: return "cmbVideoSize";
    case ckVideoBitRate: return "cmbVideoBitRate";
    case ckFrameRate: return "cmbFrameRate";
    case ckVideoEncoder: return "cmbVideoEncoder";
    case ckAudioBitRate: return "cmbAudioBitRate";
    case ckSampleRate: return "cmbSamplerate";
    case ckAudioEncoder: return "cmbAudioEncoder";
    case ckChannel: return "cmbChannel";
    case ckVolume: return "cmbVolume";
    default: return "cmbZoom";
  }
}

// The item a box's text names when the text was restored instead of an
// item: an editable box holds it as typed text, a list-only box chooses the
// item of that text, if it has one.
void ShowText(QComboBox* box, const QString& text) {
  if (box->isEditable()) {
    box->setCurrentIndex(-1);
    box->setEditText(text);
  } else {
    box->setCurrentIndex(box->findText(text, Qt::MatchFixedString));
  }
}

// The chosen item as Ok stores it: typed text that is not the chosen item's
// counts as no item.
int ChosenIndex(const QComboBox* box) {
  const int index = box->currentIndex();
  if (index < 0 || (box->isEditable() && box->itemText(index) != box->currentText())) return -1;
  return index;
}

}  // namespace

QComboBox* TfrmSettings::MakeBox(QWidget* group, TChoiceKey key, const QString& label, int column,
                                 int row) {
  const int y = kFirstRowY + row * kRowStep;
  auto* caption = new QLabel(label, group);
  caption->setGeometry(kLabelX[column], y + 1, kLabelWidth, 20);
  auto* box = new QComboBox(group);
  box->setObjectName(BoxName(key));
  box->setGeometry(kBoxX[column], y, kBoxWidth[column], kBoxHeight);
  caption->setBuddy(box);
  if (key != ckChoiceKeyCount && IsEditableBox(key)) {
    box->setEditable(true);
    // Typed text is the setting itself: it never becomes an item, and the box
    // does not complete it into an item's text.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
  } else {
    box->setItemDelegate(new TChoiceItemDelegate(box));
  }
  if (key != ckChoiceKeyCount) boxes_[key] = box;
  return box;
}

void TfrmSettings::SelectItem(QComboBox* box, int index) {
  box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
  if (box->isEditable())
    box->setEditText(box->currentIndex() >= 0 ? box->itemText(box->currentIndex()) : QString());
}

void TfrmSettings::FillBoxes(TFillMode mode) {
  const TFormatBoxes boxes = ReadFormatBoxes(TFormatProfile(profileFile_, currentCode_),
                                             TFormatSettings(settingsFile_, currentCode_), mode);
  for (int i = 0; i < ckChoiceKeyCount; ++i) {
    QComboBox* box = boxes_[i];
    const TBoxFill& fill = boxes.Boxes[i];
    box->clear();
    for (const auto& item : fill.Items) box->addItem(Q(item));
    box->setMaxVisibleItems(std::max(1, box->count()));
    if (fill.Text)
      ShowText(box, Q(*fill.Text));
    else
      SelectItem(box, fill.Index);
  }
  if (boxes.Zoom) SelectItem(cmbZoom, *boxes.Zoom);
  EnableGroups(boxes);
}

void TfrmSettings::EnableGroups(const TFormatBoxes& boxes) {
  for (int i = 0; i < ckChoiceKeyCount; ++i) {
    const auto key = static_cast<TChoiceKey>(i);
    boxes_[i]->setEnabled(IsVideoBox(key) ? boxes.VideoEnabled : boxes.AudioEnabled);
  }
  cmbZoom->setEnabled(boxes.VideoEnabled);
  cmbAudioBitRate->setEnabled(boxes.AudioBitRateEnabled);
}

TFormatChoices TfrmSettings::Choices() const {
  TFormatChoices choices;
  choices.Description = currentName_;
  for (int i = 0; i < ckChoiceKeyCount; ++i)
    choices.Boxes[i] = {ChosenIndex(boxes_[i]), S(boxes_[i]->currentText())};
  choices.ZoomIndex = cmbZoom->currentIndex();
  return choices;
}

TChoiceKey TfrmSettings::KeyOf(QObject* object) const {
  for (int i = 0; i < ckChoiceKeyCount; ++i)
    if (object && boxes_[i] == object && IsEditableBox(static_cast<TChoiceKey>(i)))
      return static_cast<TChoiceKey>(i);
  return ckChoiceKeyCount;
}

std::string TfrmSettings::MessageCaption() const {
  return S(QApplication::applicationDisplayName());
}

bool TfrmSettings::FilterKey(TChoiceKey key, QKeyEvent* event) {
  // Only typed characters are filtered: editing, moving and the shortcuts
  // (paste included) stay the box's own; what they bring in is checked
  // when the box loses the focus.
  const QString text = event->text();
  const bool typed =
      !text.isEmpty() && text.at(0).unicode() >= 0x20 && text.at(0).unicode() != 0x7F &&
      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (!typed) return true;
  for (const char32_t c : text.toUcs4()) {
    switch (FilterBoxKey(key, S(boxes_[key]->currentText()), c)) {
      case TKeyVerdict::kvPass: continue;
      case TKeyVerdict::kvMessage:
        Ui().ShowMessage(MessageCaption(), kNumericalMessage);
        Ui().Beep();
        return false;
      case TKeyVerdict::kvBeep: Ui().Beep(); return false;
    }
  }
  return true;
}

void TfrmSettings::BoxLostFocus(TChoiceKey key, QFocusEvent* event) {
  // Only a move to another control of the dialog checks: the box's own
  // drop-down, another window or the dialog closing do not. Cancel stores
  // nothing, so moving there needs no check either.
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
    return;
  QWidget* next = QApplication::focusWidget();
  if (filling_ || !isVisible() || next == btnCancel || (next && !isAncestorOf(next))) return;
  const bool pressed =
      event->reason() == Qt::MouseFocusReason || event->reason() == Qt::ShortcutFocusReason;
  if (!CheckBox(key) && pressed) refusedToward_ = next;
}

bool TfrmSettings::CheckBox(TChoiceKey key) {
  QComboBox* box = boxes_[key];
  const TBoxCheck check = CheckBoxText(key, S(box->currentText()));
  switch (check.Verdict) {
    case TBoxCheck::bcAccepted: return true;
    case TBoxCheck::bcInvalid:
      Ui().ShowMessage(MessageCaption(), check.Message);
      SelectItem(box, ResetIndex(box->count()));
      return false;
    case TBoxCheck::bcCorrected:
      Ui().ShowMessage(kCorrectionCaption, check.Message);
      box->setCurrentIndex(-1);
      box->setEditText(Q(check.Text));
      return false;
  }
  return true;
}

bool TfrmSettings::CheckFocusedBox() {
  const TChoiceKey key = KeyOf(QApplication::focusWidget());
  return key == ckChoiceKeyCount || CheckBox(key);
}
