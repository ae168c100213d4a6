// The two-thumb track bar driven by real key and mouse events on the
// offscreen platform.
#include "controls/ThumbArtwork.h"
#include "controls/Tracker2.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <vector>

namespace {

class TrackBar : public ::testing::Test {
 protected:
  void SetUp() override { Show(500, 50); }

  void Show(int w, int h) {
    bar.resize(w, h);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    bar.OnChange = [this](TTrackBar2* sender) {
      EXPECT_EQ(sender, &bar);
      changes.push_back({bar.PositionL(), bar.PositionU()});
    };
  }

  // Where the centre of the thumb of a position is drawn.
  QPoint Centre(int position) const {
    const QRect r = bar.ThumbRectAt(position);
    if (bar.Orientation() == toHorizontal) return {r.x() + bar.ThumbOffset(), r.center().y()};
    return {r.center().x(), r.y() + bar.ThumbOffset()};
  }

  void Press(QPoint at, Qt::KeyboardModifiers mods = {}) {
    QTest::mousePress(&bar, Qt::LeftButton, mods, at);
  }
  void Release(QPoint at) { QTest::mouseRelease(&bar, Qt::LeftButton, {}, at); }
  void DragTo(QPoint at) { QTest::mouseMove(&bar, at); }
  // A move with no button held (QTest would warp the cursor instead).
  void Hover(QPoint at) {
    QMouseEvent e(QEvent::MouseMove, at, bar.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(&bar, &e);
  }

  TTrackBar2 bar;
  std::vector<std::pair<int, int>> changes;
};

TEST_F(TrackBar, MaxAndMinMoveOnlyTheirOwnSideAndFireNoChange) {
  bar.SetMax(1000);
  bar.SetPositionU(800);
  bar.SetPositionL(700);
  changes.clear();

  bar.SetMax(600);
  EXPECT_EQ(bar.PositionU(), 600);
  EXPECT_EQ(bar.PositionL(), 700) << "the lower position stays until it is set again";
  EXPECT_TRUE(changes.empty());
  bar.SetPositionL(650);
  EXPECT_EQ(bar.PositionL(), 600);

  bar.SetMax(900);
  bar.SetPositionL(100);
  bar.SetPositionU(500);
  bar.SetMax(700);
  EXPECT_EQ(bar.PositionU(), 500) << "a position below the new Max is left alone";

  bar.SetPositionL(50);
  bar.SetMin(80);
  EXPECT_EQ(bar.PositionL(), 80);
}

TEST_F(TrackBar, TwoThumbsNeverCrossAndUnchangedValuesFireNothing) {
  bar.SetSecondThumb(true);
  bar.SetPositionL(5);
  bar.SetPositionU(6);
  changes.clear();

  bar.SetPositionL(9);
  EXPECT_EQ(bar.PositionL(), 5);
  bar.SetPositionU(3);
  EXPECT_EQ(bar.PositionU(), 6);
  EXPECT_TRUE(changes.empty()) << "pushed back onto the old value: no change to report";

  bar.SetPositionL(-4);
  EXPECT_EQ(bar.PositionL(), 0) << "clamped to Min";
  bar.SetPositionU(99);
  EXPECT_EQ(bar.PositionU(), 20) << "clamped to Max";
  EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{0, 6}, {0, 20}}));
}

TEST_F(TrackBar, OrientationFollowsTheShape) {
  EXPECT_EQ(bar.Orientation(), toHorizontal) << "the default 500 x 50 lies down once shown";
  bar.resize(19, 822);
  EXPECT_EQ(bar.Orientation(), toVertical);
  bar.resize(300, 300);
  EXPECT_EQ(bar.Orientation(), toVertical) << "a square keeps the orientation it had";
  bar.resize(822, 19);
  EXPECT_EQ(bar.Orientation(), toHorizontal);
  bar.resize(300, 300);
  EXPECT_EQ(bar.Orientation(), toHorizontal);

  bar.resize(822, 19);
  bar.SetOrientation(toVertical);
  EXPECT_EQ(bar.size(), QSize(19, 822)) << "a shape that disagrees is turned round";
  EXPECT_EQ(bar.Orientation(), toVertical);
}

TEST_F(TrackBar, ThumbsLieOnTheControlAndThePointerFindsTheirValues) {
  struct Case {
    QSize size;
    TThumbStyle style;
    int min, max;
    std::vector<int> probes;
  };
  const Case cases[] = {
      {{500, 50}, tsRaisedRectangle, 0, 20, {0, 7, 20}},
      {{500, 50}, tsRaisedRectangle, 100, 1000, {100, 250, 550, 1000}},
      {{500, 50}, tsLargePointer, 0, 40, {0, 13, 40}},
      {{50, 500}, tsRaisedRectangle, 0, 20, {0, 7, 20}},
      {{50, 500}, tsSmallPointer, -10, 10, {-10, 0, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height() << " style "
                                    << c.style << " " << c.min << ".." << c.max);
    bar.resize(c.size);
    bar.SetThumbStyle(c.style);
    bar.SetMax(c.max);
    bar.SetMin(c.min);
    for (int p : c.probes) {
      EXPECT_TRUE(bar.rect().contains(bar.ThumbRectAt(p))) << p;
      EXPECT_EQ(bar.ValueAt(Centre(p)), p);
    }
    const bool horizontal = bar.Orientation() == toHorizontal;
    const QRect low = bar.ThumbRectAt(c.min), high = bar.ThumbRectAt(c.max);
    EXPECT_TRUE(horizontal ? low.x() < high.x() : low.y() > high.y())
        << "Max lies right or at the top";
  }
}

TEST_F(TrackBar, LargeRangesAndDegenerateSettingsStayOnTheControl) {
  bar.SetMax(2000000000);
  bar.SetPositionL(1500000000);
  const QRect r = bar.ThumbRectAt(bar.PositionL());
  EXPECT_GT(r.x(), 300);
  EXPECT_LT(r.x(), 400) << "the scale must not overflow";

  bar.SetMax(0);
  bar.SetTickInterval(0);
  EXPECT_FALSE(bar.grab().isNull()) << "an empty scale and no tick step still paint";
  Press({250, 25});
  Release({250, 25});
  EXPECT_EQ(bar.PositionL(), 0);
}

TEST_F(TrackBar, KeysStepTheLowerThumbOrWithShiftTheUpperOne) {
  bar.SetPositionL(10);
  QTest::keyClick(&bar, Qt::Key_Right);
  QTest::keyClick(&bar, Qt::Key_Up);
  EXPECT_EQ(bar.PositionL(), 12);
  QTest::keyClick(&bar, Qt::Key_Left);
  QTest::keyClick(&bar, Qt::Key_Down);
  QTest::keyClick(&bar, Qt::Key_PageDown);
  EXPECT_EQ(bar.PositionL(), 8);
  QTest::keyClick(&bar, Qt::Key_PageUp, Qt::ShiftModifier);
  EXPECT_EQ(bar.PositionL(), 10) << "Shift without a second thumb still moves the only thumb";

  bar.SetSecondThumb(true);
  bar.SetPositionU(15);
  bar.SetLargeChange(3);
  QTest::keyClick(&bar, Qt::Key_PageUp, Qt::ShiftModifier);
  QTest::keyClick(&bar, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(bar.PositionU(), 17);
  EXPECT_EQ(bar.PositionL(), 10);

  std::vector<int> keys;
  bar.OnKeyDown = [&](TTrackBar2*, int key, Qt::KeyboardModifiers) { keys.push_back(key); };
  QTest::keyClick(&bar, Qt::Key_Right);
  QTest::keyClick(&bar, Qt::Key_A);
  EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Right, Qt::Key_A})) << "keys are passed on";
}

TEST_F(TrackBar, APressPicksTheThumbOnItsSideOfTheMidpoint) {
  for (QSize size : {QSize(500, 50), QSize(50, 500)}) {
    SCOPED_TRACE(size.width());
    bar.resize(size);
    bar.SetSecondThumb(true);
    bar.SetPositionL(5);
    bar.SetPositionU(15);

    Press(Centre(11));
    Release(Centre(11));
    EXPECT_EQ(bar.PositionU(), 11);
    EXPECT_EQ(bar.PositionL(), 5);

    Press(Centre(7));
    Release(Centre(7));
    EXPECT_EQ(bar.PositionL(), 7);
    EXPECT_EQ(bar.PositionU(), 11);
    EXPECT_TRUE(bar.hasFocus()) << "a press takes the focus";
  }
}

TEST_F(TrackBar, DraggingAThumbFollowsThePointerUntilRelease) {
  bar.SetSecondThumb(true);
  bar.SetPositionL(5);
  bar.SetPositionU(15);
  changes.clear();

  Press(Centre(5));
  EXPECT_TRUE(bar.TrackingL());
  EXPECT_EQ(bar.PositionL(), 5);
  DragTo(Centre(9));
  EXPECT_EQ(bar.PositionL(), 9);
  DragTo(Centre(19));
  EXPECT_EQ(bar.PositionL(), 14) << "the lower thumb stops below the upper";
  Release(Centre(19));
  EXPECT_FALSE(bar.TrackingL());
  Hover(Centre(2));
  EXPECT_EQ(bar.PositionL(), 14);
  EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{9, 15}, {14, 15}}));

  Press(Centre(15));
  EXPECT_TRUE(bar.TrackingU());
  DragTo(QPoint(2000, 25));
  EXPECT_EQ(bar.PositionU(), 20);
  Release(QPoint(2000, 25));
  EXPECT_FALSE(bar.TrackingU());

  QTest::mousePress(&bar, Qt::RightButton, {}, Centre(2));
  QTest::mouseRelease(&bar, Qt::RightButton, {}, Centre(2));
  EXPECT_EQ(bar.PositionL(), 14) << "only the left button moves thumbs";
}

TEST_F(TrackBar, ShiftClickStepsTowardsThePointer) {
  bar.SetPositionL(10);
  bar.SetSmallChange(2);
  Press(Centre(18), Qt::ShiftModifier);
  Release(Centre(18));
  EXPECT_EQ(bar.PositionL(), 12);
  Press(Centre(1), Qt::ShiftModifier);
  Release(Centre(1));
  EXPECT_EQ(bar.PositionL(), 10);
  const QPoint level(Centre(10).x(), 1);  // beside the thumb, across the track
  Press(level, Qt::ShiftModifier);
  Release(level);
  EXPECT_EQ(bar.PositionL(), 10);

  bar.resize(50, 500);
  Press(Centre(18), Qt::ShiftModifier);
  Release(Centre(18));
  EXPECT_EQ(bar.PositionL(), 12) << "up increases on a vertical bar";
}

TEST_F(TrackBar, UserDrawnThumbsJumpButNeverDrag) {
  bar.SetThumbStyle(tsUserDrawn);
  bar.SetPositionL(5);
  int seenAtPress = -1;
  int moves = 0;
  bar.OnMouseDown = [&](TTrackBar2*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    seenAtPress = bar.PositionL();
  };
  bar.OnMouseMove = [&](TTrackBar2*, Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {
    ++moves;
  };

  Press(Centre(5));
  EXPECT_FALSE(bar.TrackingL());
  DragTo(Centre(12));
  EXPECT_EQ(bar.PositionL(), 5) << "following the pointer is the owner's business";
  EXPECT_EQ(moves, 1);
  Release(Centre(12));

  Press(Centre(12));
  Release(Centre(12));
  EXPECT_EQ(seenAtPress, 5) << "the owner hears of the press before the jump";
  EXPECT_EQ(bar.PositionL(), 12);
}

TEST_F(TrackBar, OwnerDrawingGetsThePlacesToDraw) {
  std::vector<std::string> order;
  std::vector<QPoint> thumbs;
  std::vector<std::pair<QPoint, int>> ticks;
  bar.SetTrackStyle(trUserDrawn);
  bar.SetThumbStyle(tsUserDrawn);
  bar.SetTickStyle(tiUserDrawn);
  bar.SetTickInterval(5);
  bar.SetSecondThumb(true);
  bar.SetPositionL(4);
  bar.OnPaint = [&](TTrackBar2*) { order.push_back("paint"); };
  bar.OnDrawTrack = [&](TTrackBar2*, QPainter* canvas) {
    EXPECT_TRUE(canvas && canvas->isActive());
    order.push_back("track");
  };
  bar.OnDrawThumb = [&](TTrackBar2*, QPainter*, int x, int y) { thumbs.push_back({x, y}); };
  bar.OnDrawTick = [&](TTrackBar2*, QPainter*, int x, int y, int p) {
    ticks.push_back({{x, y}, p});
  };

  bar.grab();
  EXPECT_EQ(order, (std::vector<std::string>{"paint", "track"}));
  EXPECT_EQ(thumbs,
            (std::vector<QPoint>{bar.ThumbRectAt(4).topLeft(), bar.ThumbRectAt(10).topLeft()}));
  ASSERT_EQ(ticks.size(), 10u) << "0, 5, ... 20 on both sides";
  for (size_t i = 0; i < ticks.size(); i += 2) {
    const int p = int(i / 2) * 5;
    EXPECT_EQ(ticks[i].second, p);
    EXPECT_EQ(ticks[i].first, QPoint(Centre(p).x(), 2));
    EXPECT_EQ(ticks[i + 1].first, QPoint(Centre(p).x(), 50 - 6 - 2));
  }
}

class PaintSpy : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(e)->region();
    return false;
  }
  QRegion region;
};

TEST_F(TrackBar, APositionChangeRepaintsOnlyTheOldAndNewThumb) {
  bar.SetPositionL(2);
  QTest::qWait(20);
  PaintSpy spy;
  bar.installEventFilter(&spy);
  bar.SetPositionL(15);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !spy.region.isEmpty(); }, 2000));
  auto covers = [&](const QRect& r) { return (spy.region & r) == QRegion(r); };
  EXPECT_TRUE(covers(bar.ThumbRectAt(2)));
  EXPECT_TRUE(covers(bar.ThumbRectAt(15)));
  EXPECT_FALSE(spy.region.contains(Centre(8)));
  EXPECT_FALSE(spy.region.contains(bar.TrackRect().topLeft()));
}

TEST_F(TrackBar, ADisabledBarIsDithered) {
  bar.SetPositionL(10);
  const QPoint track = bar.TrackRect().center() + QPoint(60, 0);
  const QPoint thumb = Centre(10);
  bar.setEnabled(false);
  QImage img = bar.grab().toImage();
  EXPECT_NE(img.pixel(track), img.pixel(track + QPoint(1, 0)));
  EXPECT_EQ(img.pixel(track), img.pixel(track + QPoint(1, 1)));
  EXPECT_NE(img.pixel(thumb), img.pixel(thumb + QPoint(1, 0)));

  bar.SetDitherThumb(false);
  img = bar.grab().toImage();
  EXPECT_EQ(img.pixel(thumb), img.pixel(thumb + QPoint(1, 0)));
}

TEST_F(TrackBar, PointerThumbsTakeTheirSizeFromThePicture) {
  bar.SetThumbStyle(tsLargePointer);
  const QImage up = LoadThumbArtwork("LGUPTHUMB");
  EXPECT_EQ(bar.ThumbSize(), up.width());
  EXPECT_EQ(bar.LowerThumbRect().size(), up.size());
  bar.SetTickOrientation(toBottomRight);
  EXPECT_EQ(bar.LowerThumbRect().size(), LoadThumbArtwork("LGDOWNTHUMB").size());
  bar.resize(50, 500);
  EXPECT_EQ(bar.ThumbSize(), LoadThumbArtwork("LGRIGHTTHUMB").height());
}

TEST(ThumbArtwork, EveryNamedPictureHasAMatchingMask) {
  for (const char* size : {"SM", "MED", "LG"}) {
    for (const char* dir : {"LEFT", "RIGHT", "UP", "DOWN"}) {
      const QString name = QString(size) + dir + "THUMB";
      SCOPED_TRACE(name.toStdString());
      const QImage pic = LoadThumbArtwork(name), mask = LoadThumbArtwork(name + "MASK");
      ASSERT_FALSE(pic.isNull());
      ASSERT_EQ(pic.size(), mask.size());
      const QPoint centre(pic.width() / 2, pic.height() / 2);
      EXPECT_EQ(qGray(mask.pixel(centre)), 0);
      const QImage shown = ComposeMasked(pic, mask);
      EXPECT_EQ(qAlpha(shown.pixel(centre)), 255);
      // The tip leaves the corners beside it uncovered.
      const QPoint corner(QString(dir) == "RIGHT" ? pic.width() - 1 : 0,
                          QString(dir) == "DOWN" ? pic.height() - 1 : 0);
      EXPECT_EQ(qGray(mask.pixel(corner)), 255);
      EXPECT_EQ(qAlpha(shown.pixel(corner)), 0);
    }
  }
  EXPECT_TRUE(LoadThumbArtwork("HUGEUPTHUMB").isNull());
}

}  // namespace
