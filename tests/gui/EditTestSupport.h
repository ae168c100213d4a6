// Shared by the editing window tests: clips added to the main window's list,
// and mouse drags as a hand makes them (press, moves with the button held,
// release), sent to the real widgets.
#pragma once

#include <QMouseEvent>

#include "GuiTestSupport.h"
#include "support/MediaFactory.h"

class EditWindowTest : public MainWindowTest {
 protected:
  // Adds a clip made from `spec` and selects its row; returns the row.
  int AddClip(const MediaSpec& spec) { return AddFile(TestMedia::Get(spec)); }
  int AddFile(const std::string& path) {
    main_->AddFileList({QString::fromStdString(path)});
    const int row = main_->SourceList().Count() - 1;
    main_->SelectRow(row);
    return row;
  }
  TlvFilesRecord& Record(int row) { return main_->SourceList().Record(row); }

  // A move of the pointer to `at` with the left button held.
  static void MoveHeld(QWidget* w, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
  }
  // Press at `from`, move in steps of at most `step` pixels to `to`,
  // release; both points in w's coordinates at the press. The pointer moves
  // on the screen, so a widget that follows it (a dragged band) sees it
  // where it now is.
  static void Drag(QWidget* w, QPoint from, QPoint to, int step = 3) {
    const QPoint start = w->mapToGlobal(from), end = w->mapToGlobal(to);
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    const QPoint d = end - start;
    const int n = std::max(1, std::max(std::abs(d.x()), std::abs(d.y())) / step);
    for (int i = 1; i <= n; ++i) MoveHeld(w, w->mapFromGlobal(start + d * i / n));
    QTest::mouseRelease(w, Qt::LeftButton, {}, w->mapFromGlobal(end));
  }
  static void Click(QWidget* w, QPoint at) {
    QTest::mousePress(w, Qt::LeftButton, {}, at);
    QTest::mouseRelease(w, Qt::LeftButton, {}, at);
  }
};
