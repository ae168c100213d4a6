// The watermark editor driven as a user drives it: real clips playing in its
// own player, clicks and drags on the real controls, and a conversion of
// what Ok stored through the same path as Start.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <fstream>
#include <mutex>

#include "GuiTestSupport.h"
#include "app/FilesRecord.h"
#include "controls/Tracker2.h"
#include "editing/WmColors.h"
#include "editing/WmPreview.h"
#include "editing/WmText.h"
#include "gui/widgets/ColorBox.h"
#include "gui/windows/watermark/WinWaterMark.h"
#include "gui/windows/watermark/WmCanvas.h"
#include "gui/windows/watermark/WmItemList.h"
#include "support/MediaFactory.h"

namespace {

constexpr std::int64_t Second = 1000000;

std::string Clip(double seconds) { return TestMedia::Get(MediaSpec::Mp4().Seconds(seconds)); }

std::string Picture(const QTemporaryDir& dir, const QString& name, int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  const QString path = dir.filePath(name);
  image.save(path);
  return path.toStdString();
}

std::unique_ptr<TWmRec> StoredText(const std::string& text, int start, int end) {
  auto item = std::make_unique<TWmRec>();
  item->Kind = TWmRec::wkText;
  item->Text = text;
  item->Font = std::make_unique<TWmFont>(TWmFont{"DejaVu Sans", 18, fsItalic, clRed});
  item->TextLeft = 20, item->TextTop = 20, item->TextWidth = 120, item->TextHeight = 30,
  item->TextAlpha = 200;
  item->StartTime = start, item->EndTime = end;
  return item;
}

// Drags with the left button from `from` to `to` in a few steps.
void Drag(QWidget* widget, QPointF from, QPointF to) {
  const QPointF d = to - from;
  const int step = std::max(1, int(std::max(std::abs(d.x()), std::abs(d.y())) / 4));
  user::Drag(widget, from.toPoint(), to.toPoint(), step);
}

void ClickRow(TfrmWaterMark& editor, int row) {
  user::Click(editor.lsbox->viewport(),
              editor.lsbox->visualItemRect(editor.lsbox->item(row)).center());
}

// Pixels of a layer's part of the canvas as painted.
QColor CanvasPixel(TfrmWaterMark& editor, QPointF framePoint) {
  const QImage shot = editor.ImgView->grab().toImage();
  return shot.pixelColor(editor.ImgView->Mapping().ToControl(framePoint).toPoint());
}

class WaterMarkTest : public MainWindowTest {
 protected:
  void TearDown() override {
    editor_.reset();
    MainWindowTest::TearDown();
  }

  TlvFilesRecord& Record() { return main_->SourceList().Record(0); }

  // Lists `clip` in the main window and opens an editor on it (not modal, so
  // the test keeps the event loop), waiting until its file is open.
  TfrmWaterMark& Open(const std::string& clip) {
    if (main_->SourceList().Empty()) main_->AddFileList({QString::fromStdString(clip)});
    main_->SelectRow(0);
    editor_ = std::make_unique<TfrmWaterMark>(
        TWaterMarkSource{&Record(), clip, main_->SettingsFile(), "https://quor.example.org/help/"},
        ui_, main_.get());
    editor_->show();
    EXPECT_TRUE(WaitFor(
        [&] { return editor_->trcTextHoriz->maximum() == 320 && editor_->HasFrameCopy(); }));
    return *editor_;
  }

  std::unique_ptr<TfrmWaterMark> editor_;
};

}  // namespace

TEST_F(WaterMarkTest, StoredItemsReopenAsRowsAndLayersWithThePictureStretchedToItsBox) {
  QTemporaryDir dir;
  main_->AddFileList({QString::fromStdString(Clip(3))});
  Record().Watermarks.push_back(StoredText("Stored", 0, 10));
  auto image = std::make_unique<TWmRec>();
  image->Kind = TWmRec::wkImage;
  image->ImageFile = Picture(dir, "red.png", 20, 10, Qt::red);
  image->ImageLeft = 200, image->ImageTop = 150, image->ImageWidth = 80, image->ImageHeight = 60;
  image->ImageAlpha = 255, image->EndTime = 10;
  Record().Watermarks.push_back(std::move(image));

  TfrmWaterMark& editor = Open(Clip(3));
  ASSERT_EQ(editor.lsbox->count(), 2);
  EXPECT_EQ(editor.lsbox->item(0)->text(), "Stored");
  EXPECT_EQ(editor.lsbox->item(1)->text().toStdString(), Record().Watermarks[1]->ImageFile);
  ASSERT_EQ(editor.Layers().Count(), 2);
  EXPECT_EQ(editor.Layers().Selected(), 1);
  EXPECT_EQ(editor.Layers().Item(1).Layer.Location, QRectF(200, 150, 80, 60));
  EXPECT_TRUE(editor.trcTextHoriz->isEnabled());
  EXPECT_FALSE(editor.cbFont->isEnabled());  // a picture has no font
  // The 20 x 10 picture fills the whole 80 x 60 box on the canvas.
  ASSERT_TRUE(WaitFor([&] { return !editor.ImgView->Background().isNull(); }));
  for (QPointF p : {QPointF(204, 154), QPointF(276, 206), QPointF(250, 190)})
    EXPECT_EQ(CanvasPixel(editor, p), QColor(Qt::red)) << p.x() << "," << p.y();
  EXPECT_NE(CanvasPixel(editor, QPointF(240, 214)), QColor(Qt::red));

  // A click on the text row shows its stored font.
  ClickRow(editor, 0);
  EXPECT_EQ(editor.Layers().Selected(), 0);
  EXPECT_EQ(editor.cbFontColor->Selected(), clRed);
  EXPECT_EQ(editor.cbFontSize->currentText(), "18");
  EXPECT_EQ(editor.cbFont->currentText(), "DejaVu Sans");
  EXPECT_TRUE(editor.ckItalic->isChecked());
  EXPECT_FALSE(editor.ckBold->isChecked());
  EXPECT_TRUE(editor.rb2->isChecked());
  EXPECT_EQ(editor.edtTextTran->text(), "200");
  EXPECT_EQ(editor.edtTextHoriz->text(), "20");
}

TEST_F(WaterMarkTest, ANewTextIsTransparentAndEditedInPlaceAndRestyled) {
  TfrmWaterMark& editor = Open(Clip(3));
  EXPECT_TRUE(editor.rb1->isChecked());  // "Background color" before the first item
  EXPECT_FALSE(editor.trcTextTran->isEnabled());
  user::Click(editor.btnAddText);
  ASSERT_EQ(editor.Layers().Count(), 1);
  const TWmItemRec& item = editor.Layers().Item(0);
  EXPECT_EQ(item.Caption(), "Add Text");
  EXPECT_FALSE(item.Rec.BackOpaque);
  EXPECT_TRUE(editor.rb2->isChecked());
  EXPECT_FALSE(editor.cbBackColor->isEnabled());
  EXPECT_EQ(item.Layer.Bitmap.pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(item.Layer.MasterAlpha, 125);
  EXPECT_EQ(item.Rec.Font->Size, 26);
  EXPECT_EQ(item.Rec.Font->Color, clBlue);
  EXPECT_EQ(std::tie(item.Rec.StartTime, item.Rec.EndTime), std::make_tuple(0, 3));
  EXPECT_TRUE(editor.trcTextTran->isEnabled());

  // The in-place editor opens on the row and every key redraws the layer.
  ASSERT_TRUE(editor.edt1->isVisible());
  const QRect row = editor.lsbox->RowRectInList(0);
  EXPECT_EQ(editor.edt1->geometry(), QRect(21, row.top() + 2, editor.lsbox->width() - 25, 20));
  user::Type(editor.edt1, "Hello");
  EXPECT_EQ(editor.lsbox->item(0)->text(), "Hello");
  EXPECT_EQ(item.Layer.Location.size(), QSizeF(MeasureText("Hello", *item.Rec.Font)));
  user::Key(editor.edt1, Qt::Key_Return);
  EXPECT_FALSE(editor.edt1->isVisible());

  const QPointF corner = item.Layer.Location.topLeft();
  user::Click(editor.ckBold);
  EXPECT_TRUE(item.Rec.Font->Style & fsBold);
  editor.cbFontSize->setCurrentText("40");
  EXPECT_EQ(item.Rec.Font->Size, 40);
  EXPECT_EQ(item.Layer.Location.topLeft(), corner);
  EXPECT_EQ(item.Layer.Location.size(), QSizeF(MeasureText("Hello", *item.Rec.Font)));
  user::Click(editor.rb1);
  EXPECT_TRUE(item.Rec.BackOpaque);
  EXPECT_TRUE(editor.cbBackColor->isEnabled());
  EXPECT_EQ(item.Layer.Bitmap.pixelColor(0, 0), QColor(0, 128, 0));
  editor.cbBackColor->SetSelected(clYellow);
  EXPECT_EQ(item.Rec.BackColor, clYellow);
  EXPECT_EQ(item.Layer.Bitmap.pixelColor(0, 0), QColor(255, 255, 0));
}

TEST_F(WaterMarkTest, PicturesAreRefusedWithAMessageAndCancellingTheDialogKeepsThePreviewRunning) {
  QTemporaryDir dir;
  TfrmWaterMark& editor = Open(Clip(4));
  editor.ChooseImageFile = [] { return QString(); };
  const std::int64_t before = editor.Player().Position();
  user::Click(editor.btnAddImage);
  EXPECT_EQ(editor.Layers().Count(), 0);
  EXPECT_TRUE(ui_.Warnings.empty());
  EXPECT_TRUE(WaitFor([&] { return editor.Player().Position() > before + 300000; }));
  EXPECT_TRUE(editor.HasFrameCopy());

  const std::string empty = dir.filePath("empty.png").toStdString();
  std::ofstream(empty).close();
  QString next;
  editor.ChooseImageFile = [&] { return next; };
  for (const std::string& bad :
       {dir.filePath("missing.bmp").toStdString(), empty, TestMedia::Garbage(2048)}) {
    next = QString::fromStdString(bad);
    user::Click(editor.btnAddImage);
  }
  EXPECT_EQ(editor.Layers().Count(), 0);
  EXPECT_EQ(editor.lsbox->count(), 0);
  ASSERT_EQ(ui_.Warnings.size(), 3u);
  EXPECT_NE(ui_.Warnings[1].Text.find("empty"), std::string::npos) << ui_.Warnings[1].Text;
  EXPECT_FALSE(editor.trcTextHoriz->isEnabled());

  next = QString::fromStdString(Picture(dir, "logo.png", 64, 48, Qt::blue));
  user::Click(editor.btnAddImage);
  ASSERT_EQ(editor.Layers().Count(), 1);
  EXPECT_EQ(editor.Layers().Item(0).Layer.Location.size(), QSizeF(64, 48));
  EXPECT_TRUE(editor.trcTextHoriz->isEnabled());
  EXPECT_FALSE(editor.ckBold->isEnabled());
}

TEST_F(WaterMarkTest, AnItemWhoseStartIsItsEndShowsForOneSecond) {
  main_->AddFileList({QString::fromStdString(Clip(3))});
  Record().Watermarks.push_back(StoredText("One", 1, 1));
  TfrmWaterMark& editor = Open(Clip(3));
  std::mutex samplesMutex;
  std::vector<std::pair<std::int64_t, bool>> samples;
  // The slot is connected while the video thread waits in the pause, and
  // the seek back to the start reaches that thread through the player's own
  // queues: every call of the slot comes after the connection.
  editor.Pause();
  Idle(300);
  // Runs on the player's video thread, right after the layers followed the
  // picture.
  const auto connection = QObject::connect(
      &editor, &TfrmWaterMark::HookTime, &editor,
      [&](qint64 pts) {
        const bool visible = editor.Layers().Visible(0);
        std::lock_guard lock(samplesMutex);
        samples.emplace_back(pts, visible);
      },
      Qt::DirectConnection);
  editor.Player().Seek(0, 0, true);
  editor.Play();
  EXPECT_TRUE(WaitFor([&] { return editor.Player().Position() > 2300000; }));
  QObject::disconnect(connection);
  editor.Pause();
  std::lock_guard lock(samplesMutex);
  int shown = 0, hidden = 0;
  for (const auto& [pts, visible] : samples) {
    if (pts < Second / 2) continue;  // frames before the file-open notice
    EXPECT_EQ(visible, pts / Second == 1) << pts;
    (visible ? shown : hidden)++;
  }
  EXPECT_GT(shown, 10);
  EXPECT_GT(hidden, 10);
  // The row keeps its own seconds although the bar keeps its thumbs apart.
  EXPECT_EQ(editor.edtStart->text(), "0:00:01");
  EXPECT_EQ(editor.edtEnd->text(), "0:00:01");
  EXPECT_EQ(std::tie(editor.Layers().Item(0).Rec.StartTime, editor.Layers().Item(0).Rec.EndTime),
            std::make_tuple(1, 1));
}

TEST_F(WaterMarkTest, DeleteSelectsTheRowAboveOrTheNewFirstAndTheLastDeleteDisablesTheControls) {
  TfrmWaterMark& editor = Open(Clip(3));
  for (const char* caption : {"a", "b", "c"}) {
    user::Click(editor.btnAddText);
    editor.edt1->selectAll();
    user::Type(editor.edt1, caption);
  }
  ClickRow(editor, 0);
  user::Click(editor.btnDelete);
  ASSERT_EQ(editor.lsbox->count(), 2);
  EXPECT_EQ(editor.lsbox->currentRow(), 0);
  EXPECT_EQ(editor.Layers().Item(editor.Layers().Selected()).Caption(), "b");
  ClickRow(editor, 1);
  user::Click(editor.btnDelete);
  EXPECT_EQ(editor.lsbox->currentRow(), 0);
  EXPECT_EQ(editor.Layers().Item(0).Caption(), "b");
  EXPECT_TRUE(editor.trcRange->isEnabled());
  user::Click(editor.btnDelete);
  EXPECT_EQ(editor.Layers().Count(), 0);
  for (QWidget* w : std::initializer_list<QWidget*>{editor.trcTextHoriz, editor.trcTextTran,
                                                    editor.trcRange, editor.btnStartUp1, editor.rb1,
                                                    editor.cbFont, editor.ckBold})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(WaterMarkTest, BothKnobsOfThePeriodBarDragAndANewTextStartsInTheDesktopsSansSerif) {
  TfrmWaterMark& editor = Open(Clip(6));
  user::Click(editor.btnAddText);
  TTrackBar2* bar = editor.trcRange;
  ASSERT_EQ(bar->Max(), 6);
  ASSERT_EQ(bar->PositionU(), 6);
  const int y = bar->height() / 2;
  const auto knob = [&](int position) {
    return QPoint(bar->ThumbRectAt(position).center().x(), y);
  };
  user::Drag(bar, knob(0), knob(2), 8);
  EXPECT_EQ(bar->PositionL(), 2);
  user::Drag(bar, knob(6), knob(4), 8);
  EXPECT_EQ(bar->PositionU(), 4);
  EXPECT_EQ(editor.edtStart->text(), "0:00:02");
  EXPECT_EQ(editor.edtEnd->text(), "0:00:04");

  // Not the first installed family (a symbol font on many desktops) but the
  // one the desktop reads as sans-serif.
  EXPECT_EQ(editor.cbFont->currentText(), DefaultTextFamily(QFontDatabase::families()));
  if (QFontDatabase::families().contains("DejaVu Sans")) {
    EXPECT_EQ(editor.cbFont->currentText(), "DejaVu Sans");
  }
}

TEST_F(WaterMarkTest, SlidersMoveOnlyALayerInsideTheirRangeAndFollowADrag) {
  TfrmWaterMark& editor = Open(Clip(3));
  user::Click(editor.btnAddText);
  QRectF& location = editor.Layers().Item(0).Layer.Location;
  location.moveTopLeft(QPointF(-40, 50));
  editor.ClickRow(0);
  editor.trcTextHoriz->setValue(120);
  EXPECT_EQ(location.left(), -40);  // outside 0..320: stays
  editor.trcTextVert->setValue(30);
  EXPECT_EQ(location.top(), 30);
  location.moveLeft(10);
  editor.trcTextHoriz->setValue(60);
  EXPECT_EQ(location.left(), 60);
  EXPECT_EQ(editor.edtTextHoriz->text(), "60");

  // Dragging the band's inside moves the layer; the sliders follow.
  const TWmViewMapping mapping = editor.ImgView->Mapping();
  const QSizeF size = location.size();
  const QPointF centre = mapping.ToControl(location.center());
  Drag(editor.ImgView, centre, centre + QPointF(40, 20));
  EXPECT_NEAR(location.left(), 60 + 40 / mapping.Scale(), 1e-6);
  EXPECT_NEAR(location.top(), 30 + 20 / mapping.Scale(), 1e-6);
  EXPECT_EQ(location.size(), size);
  EXPECT_EQ(editor.trcTextHoriz->value(), RoundHalfEven(location.left()));
  EXPECT_EQ(editor.edtTextVert->text().toInt(), RoundHalfEven(location.top()));

  // Its right edge resizes it about its centre.
  const QPointF middle = location.center();
  const QRectF band = mapping.ToControl(location);
  Drag(editor.ImgView, QPointF(band.right(), band.center().y()),
       QPointF(band.right() + 20, band.center().y()));
  // A pointer lands on whole pixels: the edge follows it to within one.
  EXPECT_NEAR(location.width(), size.width() + 2 * 20 / mapping.Scale(), 2 / mapping.Scale());
  EXPECT_NEAR(location.center().x(), middle.x(), 1e-6);
  EXPECT_EQ(location.height(), size.height());

  // A click on the canvas outside every layer keeps the selection.
  user::Click(editor.ImgView, QPoint(2, 2));
  EXPECT_EQ(editor.Layers().Selected(), 0);
}

TEST_F(WaterMarkTest, OkWritesTheRowsInListOrderAndCancelLeavesTheRecord) {
  QTemporaryDir dir;
  TfrmWaterMark& editor = Open(Clip(3));
  editor.ChooseImageFile = [&] {
    return QString::fromStdString(Picture(dir, "logo.png", 30, 20, Qt::green));
  };
  user::Click(editor.btnAddText);
  user::Click(editor.btnAddImage);
  editor.Layers().Item(1).Layer.Location.moveTopLeft(QPointF(100.5, 41.5));
  editor.ClickRow(1);
  editor.trcTextTran->setValue(77);
  user::Click(editor.btnStartUpEndDown);
  user::Click(editor.btnStartUp1);
  user::Click(editor.btnUp);
  EXPECT_EQ(editor.lsbox->item(0)->text().toStdString(), editor.Layers().Item(0).Caption());
  EXPECT_EQ(editor.Layers().Selected(), 0);
  user::Click(editor.btnOk);
  EXPECT_FALSE(editor.isVisible());
  EXPECT_FALSE(editor.Player().FileOpen());

  ASSERT_EQ(Record().Watermarks.size(), 2u);
  const TWmRec& picture = *Record().Watermarks[0];
  EXPECT_EQ(picture.Kind, TWmRec::wkImage);
  EXPECT_EQ(std::tie(picture.ImageLeft, picture.ImageTop, picture.ImageWidth, picture.ImageHeight),
            std::make_tuple(100, 42, 30, 20));
  EXPECT_EQ(picture.ImageAlpha, 77);
  EXPECT_EQ(std::tie(picture.StartTime, picture.EndTime), std::make_tuple(1, 2));
  const TWmRec& text = *Record().Watermarks[1];
  EXPECT_EQ(text.Kind, TWmRec::wkText);
  EXPECT_EQ(text.Text, "Add Text");
  ASSERT_TRUE(text.Font);
  EXPECT_EQ(text.Font->Size, 26);
  EXPECT_GT(text.TextWidth, 0);
  EXPECT_TRUE(Record().HasEffects());

  // A second editor shows both; what it changes is dropped at Cancel.
  TfrmWaterMark& again = Open(Clip(3));
  ASSERT_EQ(again.lsbox->count(), 2);
  user::Click(again.btnAddText);
  user::Click(again.btnDelete);
  user::Click(again.btnDelete);
  user::Click(again.btnCancel);
  EXPECT_EQ(Record().Watermarks.size(), 2u);
  EXPECT_EQ(Record().Watermarks[0]->ImageAlpha, 77);
}

TEST_F(WaterMarkTest, PlayPauseThePreviewBarTheEndOfTheFileAndHelp) {
  TfrmWaterMark& editor = Open(Clip(2));
  EXPECT_FALSE(editor.imgbtnPlay->isEnabled());
  EXPECT_EQ(editor.lblPTS->text(), "0:00:02");
  EXPECT_EQ(editor.trcPreview->Max(), 2);
  user::Click(editor.imgbtnpause);
  EXPECT_TRUE(editor.Player().Paused());
  EXPECT_TRUE(editor.imgbtnPlay->isEnabled());
  EXPECT_FALSE(editor.imgbtnpause->isEnabled());

  // A click on the bar while paused seeks there and stays paused.
  user::Click(editor.trcPreview, QPoint(editor.trcPreview->width() * 3 / 4, 10));
  EXPECT_TRUE(editor.Seeking());
  EXPECT_TRUE(WaitFor([&] { return !editor.Seeking(); }, 3000));
  EXPECT_TRUE(editor.Player().Paused());
  // The paused player reports the place once its picture is shown, which a
  // loaded machine may take longer for than the bar's settling time.
  EXPECT_TRUE(WaitFor([&] { return editor.Player().Position() >= 900000; }, 3000))
      << editor.Player().Position();

  user::Click(editor.imgbtnPlay);
  EXPECT_FALSE(editor.Player().Paused());
  // At the end the player goes back to the start and waits for Play; Play
  // then shows the frames on the canvas again.
  ASSERT_TRUE(WaitFor([&] { return editor.imgbtnPlay->isEnabled(); }, 8000));
  EXPECT_FALSE(editor.HasFrameCopy());
  EXPECT_FALSE(editor.trcPreview->isEnabled());
  user::Click(editor.imgbtnPlay);
  EXPECT_TRUE(editor.HasFrameCopy());
  EXPECT_TRUE(WaitFor([&] { return editor.Player().Position() > 300000; }));

  user::Click(editor.btnHelp);
  EXPECT_TRUE(WaitFor([&] { return !Opened().empty(); }));
  EXPECT_EQ(Opened().front(), "https://quor.example.org/help/watermark.html");
}

TEST_F(WaterMarkTest, RowsDeletedWhileThePlayerDrawsThemNeverCrash) {
  TfrmWaterMark& editor = Open(Clip(4));
  for (int i = 0; i < 6; ++i) user::Click(editor.btnAddText);
  QElapsedTimer clock;
  clock.start();
  int rounds = 0;
  while (clock.elapsed() < 1500) {
    editor.ClickRow(rounds % editor.Layers().Count());
    editor.DeleteItem();
    editor.AddText();
    editor.trcRange->SetPositionL(rounds % 2);
    if (rounds % 3 == 0) editor.MoveItemUp();
    QApplication::processEvents();
    ++rounds;
  }
  EXPECT_EQ(editor.Layers().Count(), 6);
  EXPECT_EQ(editor.lsbox->count(), 6);
  EXPECT_GT(editor.Player().Position(), 0);
  EXPECT_FALSE(editor.ImgView->Background().isNull());
}

TEST_F(WaterMarkTest, TheEditMenuOpensAFreshEditorEachTimeWithThePreviewStopped) {
  main_->AddFileList({QString::fromStdString(Clip(3))});
  main_->PlayPreview();
  ASSERT_TRUE(WaitFor([&] { return main_->Player().Position() > 0; }));
  int opened = 0;
  std::vector<int> rowsSeen;
  const auto whenOpen = [&](std::function<void(TfrmWaterMark&)> act) {
    auto* poll = new QTimer(main_.get());
    QObject::connect(poll, &QTimer::timeout, [&, poll, act] {
      auto* editor = qobject_cast<TfrmWaterMark*>(QApplication::activeModalWidget());
      if (!editor) return;
      poll->deleteLater();
      poll->stop();
      ++opened;
      EXPECT_FALSE(main_->Player().FileOpen());
      rowsSeen.push_back(editor->lsbox->count());
      act(*editor);
    });
    poll->start(20);
  };
  whenOpen([](TfrmWaterMark& e) {
    e.AddText();
    e.Ok();
  });
  main_->actWaterMark->trigger();
  whenOpen([](TfrmWaterMark& e) { e.Cancel(); });
  main_->actWaterMark->trigger();
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(rowsSeen, (std::vector<int>{0, 1}));
  EXPECT_EQ(Record().Watermarks.size(), 1u);
}

TEST_F(WaterMarkTest, WhatOkStoresIsWhatTheConversionDraws) {
  QTemporaryDir dir;
  const std::string clip = Clip(4);
  const QColor tint(0, 200, 255);
  TfrmWaterMark& editor = Open(clip);
  // A red text at 40 pixels (30 points) shown in seconds 1 and 2, over the
  // grey lower half.
  user::Click(editor.btnAddText);
  editor.edt1->selectAll();
  user::Type(editor.edt1, "MMMM");
  user::Key(editor.edt1, Qt::Key_Return);
  editor.cbFontColor->SetSelected(clRed);
  editor.cbFontSize->setCurrentText("30");
  user::Click(editor.ckBold);
  editor.trcTextTran->setValue(255);
  editor.trcTextHoriz->setValue(10);
  editor.trcTextVert->setValue(150);
  editor.trcRange->SetPositionU(2);
  editor.trcRange->SetPositionL(1);
  // A picture at half opacity in seconds 0 to 3.
  editor.ChooseImageFile = [&] {
    return QString::fromStdString(Picture(dir, "tint.png", 64, 48, tint));
  };
  user::Click(editor.btnAddImage);
  editor.trcTextTran->setValue(128);
  editor.trcTextHoriz->setValue(230);
  editor.trcTextVert->setValue(170);
  editor.trcRange->SetPositionU(3);
  user::Click(editor.btnOk);
  ASSERT_EQ(Record().Watermarks.size(), 2u);
  const TWmRec& text = *Record().Watermarks[0];
  EXPECT_EQ(std::tie(text.TextLeft, text.TextTop, text.StartTime, text.EndTime),
            std::make_tuple(10, 150, 1, 2));
  EXPECT_EQ(text.Font->Size, 30);
  EXPECT_EQ(PointsToPixels(text.Font->Size), 40);
  const TWmRec& picture = *Record().Watermarks[1];
  EXPECT_EQ(std::tie(picture.ImageLeft, picture.ImageTop, picture.ImageAlpha),
            std::make_tuple(230, 170, 128));
  editor_.reset();

  // The same path as Start, without the progress window.
  main_->Batch().SetProgressView(nullptr);
  ASSERT_TRUE(main_->Batch().Start());
  ASSERT_TRUE(WaitFor(
      [&] {
        const auto& n = main_->Batch().Notices();
        return !n.empty() && n.back().TaskIndex == -1;
      },
      60000));
  ASSERT_TRUE(main_->Batch().Notices().front().Completed)
      << main_->Batch().Notices().front().ErrorMessage;
  const std::string output = main_->Batch().OutputFiles().front();

  const QRect textBox(text.TextLeft, text.TextTop, text.TextWidth, text.TextHeight);
  const QRect pictureBox(picture.ImageLeft + 4, picture.ImageTop + 4, 56,
                         40);  // clear of the edges' coding blur
  const auto redPixels = [&](const TBitmap& frame) {
    int red = 0;
    for (int y = textBox.top(); y <= textBox.bottom() && y < frame.Height(); ++y)
      for (int x = textBox.left(); x <= textBox.right() && x < frame.Width(); ++x) {
        const TestMedia::Rgb c = TestMedia::PixelAt(frame, x, y, 0);
        red += c.R > 170 && c.G < 80 && c.B < 80;
      }
    return red;
  };
  // Largest channel difference between the output and the source blended
  // with the picture at `alpha`, over the picture's box.
  const auto blendError = [&](const TBitmap& out, const TBitmap& source, int alpha) {
    int worst = 0;
    for (int y = pictureBox.top(); y <= pictureBox.bottom(); y += 4)
      for (int x = pictureBox.left(); x <= pictureBox.right(); x += 4) {
        const TestMedia::Rgb s = TestMedia::PixelAt(source, x, y, 1),
                             o = TestMedia::PixelAt(out, x, y, 1);
        const int expected[] = {((256 - alpha) * s.R + alpha * tint.red()) >> 8,
                                ((256 - alpha) * s.G + alpha * tint.green()) >> 8,
                                ((256 - alpha) * s.B + alpha * tint.blue()) >> 8};
        worst = std::max({worst, std::abs(o.R - expected[0]), std::abs(o.G - expected[1]),
                          std::abs(o.B - expected[2])});
      }
    return worst;
  };
  // Seconds 1 and 2 carry the text; the picture's window 0..3 covers the clip.
  for (const auto& [t, textShown] :
       {std::pair{0.5, false}, {1.2, true}, {2.5, true}, {3.5, false}}) {
    SCOPED_TRACE(t);
    TBitmap out, source;
    ASSERT_TRUE(TestMedia::DecodeFrameAt(output, std::int64_t(t * Second), out));
    ASSERT_TRUE(TestMedia::DecodeFrameAt(clip, std::int64_t(t * Second), source));
    EXPECT_EQ(redPixels(source), 0);
    if (textShown)
      EXPECT_GT(redPixels(out), 1000);
    else
      EXPECT_LT(redPixels(out), 10);
    EXPECT_LT(blendError(out, source, 128), 16);
    EXPECT_GT(blendError(out, source, 0), 50);  // the picture is really there
  }
}
