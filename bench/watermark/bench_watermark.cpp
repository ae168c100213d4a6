// Cost of the conversion hook's watermarks on a 1920x1080 frame, in ms per
// frame and as a ratio to a plain copy of the frame measured in this run (the
// machines are shared, so only the ratios compare between runs). Each case is
// run with the hook's caches kept and with them cleared before every frame,
// which is what drawing without caches would cost.
//
//   bench_watermark [repetitions]
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/BenchTiming.h"
#include "editing/FrameHook.h"

namespace {

using bench::BestSeconds;
constexpr int kWidth = bench::kFrameWidth;
constexpr int kHeight = bench::kFrameHeight;

void Report(const char* name, double seconds, double baseline) {
  std::printf("%-40s %8.3f ms %7.2fx copy\n", name, seconds * 1e3, seconds / baseline);
}

std::unique_ptr<TWmRec> Text(bool opaque) {
  auto item = std::make_unique<TWmRec>();
  item->Text = "Quor sample watermark";
  item->Font = std::make_unique<TWmFont>(TWmFont{"DejaVu Sans", 36, fsBold, clWhite});
  item->TextLeft = 100;
  item->TextTop = 900;
  item->TextWidth = 700;
  item->TextHeight = 80;
  item->TextAlpha = 160;
  item->BackOpaque = opaque;
  item->BackColor = 0x404040;
  item->EndTime = 100;
  return item;
}

std::unique_ptr<TWmRec> Picture(const std::string& file) {
  auto item = std::make_unique<TWmRec>();
  item->Kind = TWmRec::wkImage;
  item->ImageFile = file;
  item->ImageLeft = 1500;
  item->ImageTop = 40;
  item->ImageAlpha = 128;
  item->EndTime = 100;
  return item;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const int reps = bench::Repetitions(argc, argv, 30);

  QTemporaryDir dir;
  const QString logo = QDir(dir.path()).filePath("logo.bmp");
  QImage image(320, 180, QImage::Format_RGB888);
  image.fill(QColor(200, 40, 40));
  if (!image.save(logo, "BMP")) {
    std::fprintf(stderr, "cannot write %s\n", logo.toLocal8Bit().constData());
    return 1;
  }

  TBitmap source(kWidth, kHeight);
  source.Fill(90, 120, 150);
  TBitmap frame = source;
  const double copy = BestSeconds(reps, [&] { frame = source; });
  Report("frame copy (baseline)", copy, copy);

  struct Case {
    const char* cached;
    const char* uncached;
    std::unique_ptr<TWmRec> item;
  };
  std::vector<Case> cases;
  cases.push_back(
      {"transparent text, cached", "transparent text, rendered each frame", Text(false)});
  cases.push_back({"opaque text, cached", "opaque text, rendered each frame", Text(true)});
  cases.push_back({"picture 320x180, cached", "picture 320x180, decoded each frame",
                   Picture(logo.toStdString())});

  for (Case& c : cases) {
    std::vector<std::unique_ptr<TWmRec>> items;
    items.push_back(std::move(c.item));
    const TFrameEdits edits = TFrameEdits::Of(255, 0, 255, 0, items);
    TFrameHook hook;
    const double cached = BestSeconds(reps, [&] {
      frame = source;
      hook.Render(frame, 0, edits);
    });
    const double fresh = BestSeconds(reps, [&] {
      frame = source;
      hook.ClearCaches();
      hook.Render(frame, 0, edits);
    });
    Report(c.cached, cached, copy);
    Report(c.uncached, fresh, copy);
  }
  return 0;
}
