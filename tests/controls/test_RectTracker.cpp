// The rectangle tracker dragged with real mouse events inside a parent
// window on the offscreen platform. Points are given in the parent's
// coordinates and turned into the tracker's at each event, as a pointer that
// stays put on screen while the tracker moves under it.
#include "controls/RectTracker.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <vector>

namespace {

using T = TCustomRectTracker;

class RectTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.resize(400, 400);
    tracker = new TRectTracker(&host);
    tracker->setGeometry(100, 100, 65, 65);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    tracker->OnChange = [this](TCustomRectTracker* sender, const QRect& r) {
      EXPECT_EQ(sender, tracker);
      changes.push_back(r);
    };
  }

  QPoint Local(QPoint inParent) const { return tracker->mapFromParent(inParent); }
  void Press(QPoint at) { QTest::mousePress(tracker, Qt::LeftButton, {}, Local(at)); }
  void MoveTo(QPoint at) { QTest::mouseMove(tracker, Local(at)); }
  void Release(QPoint at) { QTest::mouseRelease(tracker, Qt::LeftButton, {}, Local(at)); }

  // Presses at a point of the tracker, moves the pointer by the given steps
  // (each relative to the press point) and releases.
  void Drag(QPoint fromInTracker, const std::vector<QPoint>& offsets) {
    const QPoint start = tracker->mapToParent(fromInTracker);
    Press(start);
    for (QPoint o : offsets) MoveTo(start + o);
    Release(start + offsets.back());
  }

  // A point inside the handle of a drag mode on the current tracker.
  QPoint HandlePoint(T::TDragMode mode) const {
    const int w = tracker->width(), h = tracker->height();
    const int mx = w / 2 + w % 2 - 3 + 2, my = h / 2 + h % 2 - 3 + 2;
    switch (mode) {
      case T::dmLeft: return {2, my};
      case T::dmRight: return {w - 3, my};
      case T::dmTop: return {mx, 2};
      case T::dmBottom: return {mx, h - 3};
      case T::dmTopLeft: return {2, 2};
      case T::dmTopRight: return {w - 3, 2};
      case T::dmBottomLeft: return {2, h - 3};
      case T::dmBottomRight: return {w - 3, h - 3};
      default: return {w / 2, h / 2};
    }
  }

  QWidget host;
  TRectTracker* tracker = nullptr;
  std::vector<QRect> changes;
};

TEST_F(RectTrackerTest, HitTestFindsHandlesCornersFirst) {
  for (int m = T::dmLeft; m <= T::dmMove; ++m) {
    const auto mode = T::TDragMode(m);
    EXPECT_EQ(tracker->HitTest(HandlePoint(mode)), mode) << m;
  }
  EXPECT_EQ(tracker->HitTest({0, 20}), T::dmNone) << "outside the inner rectangle, off the handles";

  tracker->resize(10, 10);  // every middle square overlaps a corner
  EXPECT_EQ(tracker->HitTest({1, 3}), T::dmTopLeft);
  EXPECT_EQ(tracker->HitTest({1, 6}), T::dmBottomLeft);
  EXPECT_EQ(tracker->HitTest({8, 3}), T::dmTopRight);
  EXPECT_EQ(tracker->HitTest({3, 1}), T::dmTopLeft);
  EXPECT_EQ(tracker->HitTest({6, 8}), T::dmBottomRight);
}

TEST_F(RectTrackerTest, EachHandleMovesItsEdges) {
  struct Case {
    T::TDragMode mode;
    QRect expected;  // after a drag of (+7, +5) from (100, 100, 65, 65)
  };
  const Case cases[] = {
      {T::dmLeft, {107, 100, 58, 65}},       {T::dmRight, {100, 100, 72, 65}},
      {T::dmTop, {100, 105, 65, 60}},        {T::dmBottom, {100, 100, 65, 70}},
      {T::dmTopLeft, {107, 105, 58, 60}},    {T::dmTopRight, {100, 105, 72, 60}},
      {T::dmBottomLeft, {107, 100, 58, 70}}, {T::dmBottomRight, {100, 100, 72, 70}},
      {T::dmMove, {107, 105, 65, 65}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.mode));
    tracker->setGeometry(100, 100, 65, 65);
    // Two steps, so that each move is measured from the one before.
    Drag(HandlePoint(c.mode), {{3, 2}, {7, 5}});
    EXPECT_EQ(tracker->geometry(), c.expected);
    EXPECT_EQ(tracker->DragMode(), T::dmNone);
    EXPECT_EQ(tracker->LastX(), -1);
  }
}

TEST_F(RectTrackerTest, ShrinkingStopsAtTheMinimumWithTheOppositeEdgesFixed) {
  struct Case {
    T::TDragMode mode;
    QPoint offset;
    QRect expected;
  };
  // From (100, 100, 65, 65): right edge 165, bottom edge 165.
  const Case cases[] = {
      {T::dmLeft, {100, 0}, {155, 100, 10, 65}},
      {T::dmRight, {-100, 0}, {100, 100, 10, 65}},
      {T::dmTop, {0, 100}, {100, 155, 65, 10}},
      {T::dmBottom, {0, -100}, {100, 100, 65, 10}},
      {T::dmTopLeft, {100, 100}, {155, 155, 10, 10}},
      {T::dmBottomRight, {-100, -100}, {100, 100, 10, 10}},
      {T::dmTopRight, {20, 100}, {100, 155, 85, 10}},
      {T::dmBottomLeft, {100, 20}, {155, 100, 10, 85}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.mode));
    tracker->setGeometry(100, 100, 65, 65);
    // In one jump, and again in small steps past the minimum.
    Drag(HandlePoint(c.mode), {c.offset});
    EXPECT_EQ(tracker->geometry(), c.expected);
    tracker->setGeometry(100, 100, 65, 65);
    std::vector<QPoint> steps;
    for (int i = 1; i <= 20; ++i) steps.push_back(c.offset * i / 20);
    Drag(HandlePoint(c.mode), steps);
    EXPECT_EQ(tracker->geometry(), c.expected);
  }
}

TEST_F(RectTrackerTest, ALeftEdgeHeldAtTheMinimumFollowsThePointerBack) {
  const QPoint start = tracker->mapToParent(HandlePoint(T::dmLeft));
  Press(start);
  MoveTo(start + QPoint(80, 0));
  EXPECT_EQ(tracker->geometry(), QRect(155, 100, 10, 65));
  MoveTo(start + QPoint(30, 0));
  EXPECT_EQ(tracker->geometry(), QRect(130, 100, 35, 65)) << "the edge is back under the pointer";
  Release(start + QPoint(30, 0));
}

TEST_F(RectTrackerTest, OnChangeOnlyAfterADragThatChangedTheBounds) {
  Drag(HandlePoint(T::dmMove), {{0, 0}});
  Drag(HandlePoint(T::dmMove), {{20, 0}, {0, 0}});
  EXPECT_TRUE(changes.empty());

  Drag(HandlePoint(T::dmBottomRight), {{10, 4}});
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], QRect(102, 102, 71, 65)) << "the frame, in the parent's coordinates";
  EXPECT_EQ(changes[0], tracker->GetFrameRect());
}

TEST_F(RectTrackerTest, OwnerHandlersSeeTheNewBoundsAndMayChangeThem) {
  std::vector<QRect> seen;
  tracker->OnMouseMove = [&](TCustomRectTracker* t, Qt::MouseButtons, Qt::KeyboardModifiers, int,
                             int) { seen.push_back(t->geometry()); };
  // Like the crop window: keep the tracker inside a 200 x 200 area.
  tracker->OnMouseUp = [&](TCustomRectTracker* t, Qt::MouseButton, Qt::KeyboardModifiers, int,
                           int) {
    t->setGeometry(t->geometry().intersected(QRect(0, 0, 200, 200)));
  };
  Drag(HandlePoint(T::dmMove), {{80, 0}});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], QRect(180, 100, 65, 65));
  EXPECT_EQ(tracker->geometry(), QRect(180, 100, 20, 65));
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], QRect(182, 102, 16, 61));
}

TEST_F(RectTrackerTest, ACarriedControlFollowsMovesAndResizes) {
  auto* button = new QPushButton("x", &host);
  button->setGeometry(200, 220, 50, 30);
  button->show();
  tracker->SetAcControl(button);
  EXPECT_EQ(tracker->geometry(), QRect(195, 215, 60, 40));

  Drag({4, 10}, {{10, 20}});  // the margin around the control moves the tracker
  EXPECT_EQ(button->geometry(), QRect(210, 240, 50, 30));
  Drag(HandlePoint(T::dmRight), {{15, 0}});
  EXPECT_EQ(button->geometry(), QRect(210, 240, 65, 30));
  tracker->setGeometry(0, 0, 100, 100);
  EXPECT_EQ(button->geometry(), QRect(5, 5, 90, 90));

  delete button;
  tracker->setGeometry(10, 10, 100, 100);  // a destroyed control is simply forgotten
  EXPECT_EQ(tracker->AcControl(), nullptr);

  tracker->SetAcControl(tracker);
  EXPECT_EQ(tracker->AcControl(), nullptr);
  QWidget stranger;
  tracker->SetAcControl(&stranger);
  EXPECT_EQ(tracker->AcControl(), nullptr) << "only a sibling shares the tracker's coordinates";
}

TEST_F(RectTrackerTest, TheFrameShowsOnDarkAndLightPictures) {
  for (QColor background : {QColor(Qt::black), QColor(Qt::white)}) {
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, background);
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    const QImage img = host.grab(tracker->geometry()).toImage();
    int differing = 0;
    for (int y = 10; y < 50; ++y) differing += img.pixel(2, y) != background.rgb();
    EXPECT_GT(differing, 10) << background.name().toStdString();
    EXPECT_EQ(img.pixel(32, 32), background.rgb()) << "the inside is left clear";
  }
}

}  // namespace
