// The watermark editor's list commands (add, delete, order), the selected
// item's properties and Ok.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include "app/FilesRecord.h"
#include "app/UserInteraction.h"
#include "controls/Tracker2.h"
#include "editing/FrameEffects.h"
#include "editing/WmCanvasGeometry.h"
#include "editing/WmPreview.h"
#include "editing/WmText.h"
#include "gui/widgets/ColorBox.h"
#include "gui/windows/watermark/WinWaterMark.h"
#include "gui/windows/watermark/WmCanvas.h"
#include "gui/windows/watermark/WmItemList.h"

namespace {

// The caption a new text item starts with.
constexpr const char* kNewTextCaption = "Add Text";
constexpr const char* kImageFilter =
    "Bitmap files (*.bmp);;Pictures (*.bmp *.png *.jpg *.jpeg *.gif *.tif *.tiff);;All files (*)";

// Selects `text` in a list box, adding it first when the list lacks it (a
// stored font that is not installed here, a size outside the list).
void SelectText(QComboBox* box, const QString& text) {
  int index = box->findText(text);
  if (index < 0) {
    box->addItem(text);
    index = box->count() - 1;
  }
  box->setCurrentIndex(index);
}

}  // namespace

TWmFont TfrmWaterMark::FontFromControls() const {
  TWmFont font;
  font.Name = cbFont->currentText().toStdString();
  font.Size = cbFontSize->currentText().toInt();
  font.Style = (ckBold->isChecked() ? fsBold : 0u) | (ckItalic->isChecked() ? fsItalic : 0u) |
               (ckUnderline->isChecked() ? fsUnderline : 0u) |
               (ckStrikeout->isChecked() ? fsStrikeOut : 0u);
  font.Color = cbFontColor->Selected();
  return font;
}

void TfrmWaterMark::AddRowFor(TWmItemRec item, bool place) {
  if (place)
    item.Layer.Location =
        NewItemLocation(ImgView->Mapping(), ImgView->size(), item.Layer.Location.size());
  const QString caption = QString::fromStdString(item.Caption());
  const int kind = item.Rec.Kind;
  layers_.Append(std::move(item));
  {
    const QSignalBlocker block(lsbox);
    lsbox->AddRow(caption, kind);
  }
}

void TfrmWaterMark::AddText() {
  HideRowEditor();
  AddRowFor(MakeTextItem(kNewTextCaption, FontFromControls(), cbBackColor->Selected(),
                         trcTextTran->value(), LastWholeSecond(duration_)),
            true);
  const int row = layers_.Count() - 1;
  ClickRow(row);
  EnableItemControls(true);
  OpenRowEditor(row);
}

void TfrmWaterMark::AddImage() {
  HideRowEditor();
  const QString file = ChooseImageFile
                           ? ChooseImageFile()
                           : QFileDialog::getOpenFileName(this, "Open", QString(), kImageFilter);
  if (file.isEmpty()) return;
  TWmItemRec item;
  std::string error;
  if (!MakeImageItem(file.toStdString(), trcTextTran->value(), LastWholeSecond(duration_), item,
                     error)) {
    ui_.ShowWarning("Warning",
                    "Cannot use \"" + file.toStdString() + "\" as a watermark: " + error + ".");
    return;
  }
  AddRowFor(std::move(item), true);
  ClickRow(layers_.Count() - 1);
  EnableItemControls(true);
}

void TfrmWaterMark::LoadStoredItems() {
  std::string unreadable;
  for (const auto& stored : source_.Record->Watermarks) {
    if (!stored) continue;
    std::string error;
    AddRowFor(ItemFromRecord(*stored, error), false);
    if (!error.empty()) unreadable += "\n" + stored->ImageFile + ": " + error;
  }
  if (layers_.Count() > 0) ClickRow(layers_.Count() - 1);
  if (!unreadable.empty())
    ui_.ShowWarning("Warning",
                    "These watermark pictures cannot be read; they stay in the list as they were:" +
                        unreadable);
}

void TfrmWaterMark::DeleteItem() {
  HideRowEditor();
  const int row = layers_.Selected();
  if (row < 0) return;
  // Takes the row list's lock, so the player's hook never sees a row half gone.
  layers_.Delete(row);
  {
    const QSignalBlocker block(lsbox);
    delete lsbox->takeItem(row);
  }
  if (layers_.Selected() >= 0) ClickRow(layers_.Selected());
  ImgView->update();
  lsbox->setFocus();
  EnableItemControls(layers_.Count() > 0);
}

void TfrmWaterMark::MoveItemUp() {
  const int row = layers_.Selected();
  if (!layers_.MoveUp(row)) return;
  const QSignalBlocker block(lsbox);
  lsbox->insertItem(row - 1, lsbox->takeItem(row));
  lsbox->setCurrentRow(row - 1);
  ImgView->update();
}

void TfrmWaterMark::MoveItemDown() {
  const int row = layers_.Selected();
  if (!layers_.MoveDown(row)) return;
  const QSignalBlocker block(lsbox);
  lsbox->insertItem(row + 1, lsbox->takeItem(row));
  lsbox->setCurrentRow(row + 1);
  ImgView->update();
}

void TfrmWaterMark::ClickRow(int row) {
  if (row < 0 || row >= layers_.Count()) return;
  if (editedRow_ >= 0 && editedRow_ != row) HideRowEditor();
  layers_.Select(row);
  {
    const QSignalBlocker block(lsbox);
    lsbox->setCurrentRow(row);
  }
  LoadProperties(row);
  ImgView->update();
}

void TfrmWaterMark::LoadProperties(int row) {
  const TWmItemRec& item = layers_.Item(row);
  loadingControls_ = true;
  const QRect box = RoundedLocation(item.Layer.Location);
  trcTextHoriz->setValue(box.left());
  trcTextVert->setValue(box.top());
  trcTextTran->setValue(item.Layer.MasterAlpha);
  edtTextHoriz->setText(QString::number(trcTextHoriz->value()));
  edtTextVert->setText(QString::number(trcTextVert->value()));
  edtTextTran->setText(QString::number(trcTextTran->value()));
  // The bar keeps its thumbs apart; the item keeps its own seconds.
  trcRange->SetPositionU(trcRange->Max());
  trcRange->SetPositionL(item.Rec.StartTime);
  trcRange->SetPositionU(item.Rec.EndTime);
  edtStart->setText(QString::fromStdString(FormatSeconds(item.Rec.StartTime)));
  edtEnd->setText(QString::fromStdString(FormatSeconds(item.Rec.EndTime)));
  trcTextHoriz->setEnabled(true);
  trcTextVert->setEnabled(true);
  if (item.IsText()) {
    const TWmFont font = FontFieldsOf(item.Rec);
    cbBackColor->SetSelected(item.Rec.BackColor);
    cbFontColor->SetSelected(font.Color);
    SelectText(cbFontSize, QString::number(font.Size));
    SelectText(cbFont, QString::fromStdString(font.Name));
    ckBold->setChecked(font.Style & fsBold);
    ckItalic->setChecked(font.Style & fsItalic);
    ckUnderline->setChecked(font.Style & fsUnderline);
    ckStrikeout->setChecked(font.Style & fsStrikeOut);
    (item.Rec.BackOpaque ? rb1 : rb2)->setChecked(true);
    EnableTextControls(true);
    cbBackColor->setEnabled(item.Rec.BackOpaque);
  } else {
    EnableTextControls(false);
  }
  loadingControls_ = false;
}

void TfrmWaterMark::EnableItemControls(bool enable) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           trcTextHoriz, trcTextVert, trcTextTran, edtTextHoriz, edtTextVert, edtTextTran, trcRange,
           edtStart, edtEnd, btnStartUp1, btnStartUpStartDown, btnStartUpEndUp, btnStartUpEndDown})
    w->setEnabled(enable);
  const int row = layers_.Selected();
  EnableTextControls(enable && (row < 0 || layers_.Item(row).IsText()));
  if (enable && row >= 0 && layers_.Item(row).IsText())
    cbBackColor->setEnabled(layers_.Item(row).Rec.BackOpaque);
}

void TfrmWaterMark::EnableTextControls(bool enable) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{rb1, rb2, cbBackColor, cbFontColor, cbFont, cbFontSize,
                                       ckBold, ckItalic, ckUnderline, ckStrikeout})
    w->setEnabled(enable);
}

void TfrmWaterMark::RedrawSelectedText() {
  const int row = layers_.Selected();
  if (row < 0 || !layers_.Item(row).IsText()) return;
  TWmItemRec& item = layers_.Item(row);
  item.Rec.Font = std::make_unique<TWmFont>(FontFromControls());
  item.Rec.BackColor = cbBackColor->Selected();
  RedrawTextLayer(item);
  ImgView->update();
}

void TfrmWaterMark::ApplyHorizontal() {
  edtTextHoriz->setText(QString::number(trcTextHoriz->value()));
  const int row = layers_.Selected();
  if (loadingControls_ || row < 0) return;
  QRectF& location = layers_.Item(row).Layer.Location;
  const int left = RoundHalfEven(location.left());
  // A layer dragged outside the frame stays where it is until it is back.
  if (left < trcTextHoriz->minimum() || left > trcTextHoriz->maximum()) return;
  location.moveLeft(trcTextHoriz->value());
  ImgView->update();
}

void TfrmWaterMark::ApplyVertical() {
  edtTextVert->setText(QString::number(trcTextVert->value()));
  const int row = layers_.Selected();
  if (loadingControls_ || row < 0) return;
  QRectF& location = layers_.Item(row).Layer.Location;
  const int top = RoundHalfEven(location.top());
  if (top < trcTextVert->minimum() || top > trcTextVert->maximum()) return;
  location.moveTop(trcTextVert->value());
  ImgView->update();
}

void TfrmWaterMark::ApplyTransparency() {
  edtTextTran->setText(QString::number(trcTextTran->value()));
  const int row = layers_.Selected();
  if (loadingControls_ || row < 0) return;
  layers_.Item(row).Layer.MasterAlpha = trcTextTran->value();
  ImgView->update();
}

void TfrmWaterMark::ApplyRange() {
  const int row = layers_.Selected();
  if (loadingControls_ || row < 0) return;
  layers_.SetTimes(row, trcRange->PositionL(), trcRange->PositionU());
  edtStart->setText(QString::fromStdString(FormatSeconds(trcRange->PositionL())));
  edtEnd->setText(QString::fromStdString(FormatSeconds(trcRange->PositionU())));
}

void TfrmWaterMark::StepThumb(bool upper, int delta) {
  if (upper)
    trcRange->SetPositionU(trcRange->PositionU() + delta);
  else
    trcRange->SetPositionL(trcRange->PositionL() + delta);
}

void TfrmWaterMark::ApplyBackgroundMode(bool opaque) {
  cbBackColor->setEnabled(opaque);
  const int row = layers_.Selected();
  if (loadingControls_ || row < 0 || !layers_.Item(row).IsText()) return;
  layers_.Item(row).Rec.BackOpaque = opaque;
  RedrawSelectedText();
}

void TfrmWaterMark::ApplyFontControls() {
  if (!loadingControls_) RedrawSelectedText();
}

void TfrmWaterMark::FollowDraggedLayer(int row) {
  if (row != layers_.Selected()) return;
  const QRect box = RoundedLocation(layers_.Item(row).Layer.Location);
  loadingControls_ = true;
  trcTextHoriz->setValue(box.left());
  trcTextVert->setValue(box.top());
  loadingControls_ = false;
}

void TfrmWaterMark::OpenRowEditor(int row) {
  if (row < 0 || row >= layers_.Count() || !layers_.Item(row).IsText()) return;
  const QRect r = lsbox->RowRectInList(row);
  edt1->setGeometry(21, r.top() + 2, lsbox->width() - 25, 20);
  edt1->setText(QString::fromStdString(layers_.Item(row).Caption()));
  editedRow_ = row;
  edt1->show();
  edt1->setFocus();
  edt1->selectAll();
}

void TfrmWaterMark::EditRowText(const QString& text) {
  const int row = editedRow_;
  if (row < 0 || row >= layers_.Count()) return;
  TWmItemRec& item = layers_.Item(row);
  item.Rec.Text = text.toStdString();
  lsbox->item(row)->setText(text);
  RedrawTextLayer(item);
  ImgView->update();
}

void TfrmWaterMark::HideRowEditor() {
  editedRow_ = -1;
  edt1->hide();
}

void TfrmWaterMark::StoreItems() {
  TlvFilesRecord& record = *source_.Record;
  record.ResizeWatermarks(std::size_t(layers_.Count()));
  for (int row = 0; row < layers_.Count(); ++row)
    StoreItem(layers_.Item(row), *record.Watermarks[std::size_t(row)]);
}

void TfrmWaterMark::Ok() {
  HideRowEditor();
  StoreItems();
  ShutDownPlayer(true);
  accept();
}

void TfrmWaterMark::Cancel() {
  HideRowEditor();
  ShutDownPlayer(true);
  reject();
}
