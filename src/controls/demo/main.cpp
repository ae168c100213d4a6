// quor-controls-demo: a gallery of the custom controls in every style, for
// trying them by hand. "--grab FILE.png" saves a picture of the window and
// quits (handy on a machine without a display).
#include "controls/RectTracker.h"
#include "controls/Tracker2.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

TTrackBar2* NewBar(QWidget* parent, QSize size) {
  auto* bar = new TTrackBar2(parent);
  bar->setFixedSize(size);
  return bar;
}

// A caption in front of a bar, and the bar's position(s) behind it.
void AddRow(QGridLayout* grid, const QString& caption, TTrackBar2* bar) {
  const int row = grid->rowCount();
  auto* value = new QLabel;
  auto show = [value](TTrackBar2* b) {
    value->setText(b->SecondThumb() ? QString("%1 .. %2").arg(b->PositionL()).arg(b->PositionU())
                                    : QString::number(b->PositionL()));
  };
  show(bar);
  bar->OnChange = show;
  grid->addWidget(new QLabel(caption), row, 0);
  grid->addWidget(bar, row, 1);
  grid->addWidget(value, row, 2);
}

void DrawRoundThumb(TTrackBar2* bar, QPainter* canvas, int x, int y) {
  canvas->setRenderHint(QPainter::Antialiasing);
  canvas->setBrush(QColor(255, 153, 0));
  canvas->setPen(QPen(Qt::black, 1));
  const int s = bar->ThumbSize();
  canvas->drawEllipse(QRect(x + 2, y + 2, s - 4, s - 4));
}

void DrawGradientTrack(TTrackBar2* bar, QPainter* canvas) {
  const QRect r = bar->TrackRect();
  QLinearGradient g(r.topLeft(), r.topRight());
  g.setColorAt(0, QColor(36, 75, 123));
  g.setColorAt(1, QColor(118, 152, 202));
  canvas->fillRect(r, g);
}

void DrawDotTick(TTrackBar2*, QPainter* canvas, int x, int y, int position) {
  canvas->fillRect(x - 1, y, 3, position % 5 == 0 ? 6 : 3, QColor(32, 75, 139));
}

QWidget* ThumbStyles() {
  auto* grid = new QGridLayout;
  const std::pair<TThumbStyle, const char*> styles[] = {{tsRectangle, "tsRectangle"},
                                                        {tsRaisedRectangle, "tsRaisedRectangle"},
                                                        {tsLoweredRectangle, "tsLoweredRectangle"},
                                                        {tsSmallPointer, "tsSmallPointer"},
                                                        {tsMediumPointer, "tsMediumPointer"},
                                                        {tsLargePointer, "tsLargePointer"},
                                                        {tsUserDrawn, "tsUserDrawn"}};
  for (const auto& [style, name] : styles) {
    TTrackBar2* bar = NewBar(nullptr, {420, 50});
    bar->SetThumbStyle(style);
    bar->SetPositionL(7);
    if (style == tsUserDrawn) bar->OnDrawThumb = DrawRoundThumb;
    if (style == tsSmallPointer) bar->SetTickOrientation(toBottomRight);
    AddRow(grid, name, bar);
  }
  auto* box = new QWidget;
  box->setLayout(grid);
  return box;
}

QWidget* TrackAndTickStyles() {
  auto* grid = new QGridLayout;
  const std::pair<TTrackStyle, const char*> tracks[] = {{trFlat, "trFlat"},
                                                        {trRaised, "trRaised"},
                                                        {trLowered, "trLowered"},
                                                        {trUserDrawn, "trUserDrawn"}};
  for (const auto& [style, name] : tracks) {
    TTrackBar2* bar = NewBar(nullptr, {420, 50});
    bar->SetTrackStyle(style);
    bar->SetTrackColor(QColor(200, 220, 255));
    if (style == trUserDrawn) bar->OnDrawTrack = DrawGradientTrack;
    AddRow(grid, name, bar);
  }
  const std::pair<TTickStyle, const char*> ticks[] = {{tiLine, "tiLine, top/left"},
                                                      {tiSquare, "tiSquare, bottom/right"},
                                                      {tiRaisedSquare, "tiRaisedSquare"},
                                                      {tiLoweredSquare, "tiLoweredSquare"},
                                                      {tiUserDrawn, "tiUserDrawn"}};
  for (const auto& [style, name] : ticks) {
    TTrackBar2* bar = NewBar(nullptr, {420, 50});
    bar->SetTickStyle(style);
    bar->SetTickColor(style == tiLine ? Qt::black : QColor(255, 220, 120));
    if (style == tiLine) bar->SetTickOrientation(toTopLeft);
    if (style == tiSquare) bar->SetTickOrientation(toBottomRight);
    if (style == tiUserDrawn) bar->OnDrawTick = DrawDotTick;
    AddRow(grid, name, bar);
  }
  auto* box = new QWidget;
  box->setLayout(grid);
  return box;
}

QWidget* Variants() {
  auto* grid = new QGridLayout;
  TTrackBar2* two = NewBar(nullptr, {420, 50});
  two->SetSecondThumb(true);
  two->SetPositionL(4);
  two->SetPositionU(15);
  AddRow(grid, "two thumbs (Shift = upper)", two);

  TTrackBar2* twoPointers = NewBar(nullptr, {420, 50});
  twoPointers->SetThumbStyle(tsMediumPointer);
  twoPointers->SetSecondThumb(true);
  twoPointers->SetPositionL(2);
  AddRow(grid, "two pointer thumbs", twoPointers);

  TTrackBar2* disabled = NewBar(nullptr, {420, 50});
  disabled->SetPositionL(12);
  disabled->setEnabled(false);
  AddRow(grid, "disabled (dithered)", disabled);

  TTrackBar2* range = NewBar(nullptr, {420, 50});
  range->SetMax(1000);
  range->SetMin(100);
  range->SetTickInterval(100);
  range->SetSmallChange(10);
  range->SetLargeChange(100);
  range->SetPositionL(550);
  AddRow(grid, "100 .. 1000, ticks every 100", range);

  auto* vertical = new QHBoxLayout;
  const TThumbStyle vstyles[] = {tsRaisedRectangle, tsSmallPointer, tsMediumPointer,
                                 tsLargePointer};
  for (TThumbStyle style : vstyles) {
    TTrackBar2* bar = NewBar(nullptr, {60, 240});
    bar->SetThumbStyle(style);
    bar->SetTickOrientation(style == tsMediumPointer ? toBottomRight : toTopLeft);
    bar->SetPositionL(14);
    vertical->addWidget(bar);
  }
  TTrackBar2* vtwo = NewBar(nullptr, {60, 240});
  vtwo->SetSecondThumb(true);
  vtwo->SetPositionL(3);
  vertical->addWidget(vtwo);
  vertical->addStretch();
  grid->addWidget(new QLabel("vertical"), grid->rowCount(), 0);
  grid->addLayout(vertical, grid->rowCount() - 1, 1);

  auto* box = new QWidget;
  box->setLayout(grid);
  return box;
}

// A picture to lay the trackers over, dark on one side and light on the
// other so that the frame can be judged on both.
class PictureArea : public QWidget {
 public:
  PictureArea() { setFixedSize(420, 240); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, Qt::black);
    g.setColorAt(0.5, QColor(40, 120, 200));
    g.setColorAt(1, Qt::white);
    p.fillRect(rect(), g);
  }
};

QWidget* Trackers() {
  auto* area = new PictureArea;
  auto* tracker = new TRectTracker(area);
  tracker->setGeometry(30, 30, 160, 110);
  auto* status = new QLabel("drag the frame or its handles");

  auto* carried = new QPushButton("carried", area);
  carried->setGeometry(250, 60, 110, 40);
  auto* carrier = new TRectTracker(area);
  carrier->SetAcControl(carried);

  auto report = [status](TCustomRectTracker*, const QRect& r) {
    status->setText(
        QString("OnChange: %1, %2  %3 x %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
  };
  tracker->OnChange = report;
  carrier->OnChange = report;

  auto* column = new QVBoxLayout;
  column->addWidget(area);
  column->addWidget(status);
  auto* box = new QWidget;
  box->setLayout(column);
  return box;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  grid->addWidget(new QLabel("<b>Thumb styles</b>"), 0, 0);
  grid->addWidget(ThumbStyles(), 1, 0);
  grid->addWidget(new QLabel("<b>Track and tick styles</b>"), 0, 1);
  grid->addWidget(TrackAndTickStyles(), 1, 1);
  grid->addWidget(new QLabel("<b>Two thumbs, disabled, ranges, vertical</b>"), 2, 0);
  grid->addWidget(Variants(), 3, 0);
  grid->addWidget(new QLabel("<b>Rectangle trackers</b>"), 2, 1);
  grid->addWidget(Trackers(), 3, 1, Qt::AlignTop);

  QScrollArea window;
  window.setWindowTitle("Quor controls");
  window.setWidget(page);
  window.setWidgetResizable(true);
  window.resize(page->sizeHint() + QSize(30, 30));
  window.show();

  const QStringList args = app.arguments();
  const int grab = int(args.indexOf("--grab"));
  if (grab >= 0 && grab + 1 < args.size()) {
    QTimer::singleShot(0, [&] {
      page->grab().save(args[grab + 1]);
      app.quit();
    });
  }
  return app.exec();
}
