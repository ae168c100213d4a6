// The end-to-end edit checks' way through the program: a fresh settings
// folder, one output format with chosen settings, and Start as the main
// window runs it (source list, option builder, batch driver, the program's
// own frame hook, the output check); plus the families of output formats
// the checks go through and the watermark items they place.
//
// EditTest owns its scratch folder, converter, source list and the drivers
// of its conversions (BatchTest); everything runs on the test's thread but
// the conversion itself, whose hook runs on the converter's worker while
// the test's thread pumps the hand-over as the progress window would.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/BatchDriver.h"
#include "app/FilesRecord.h"
#include "profiles/FormatProfile.h"
#include "support/BatchTestSupport.h"
#include "support/EditPattern.h"
#include "support/MediaFactory.h"

namespace e2e {

using TestMedia::Rgb;
using TestMedia::TArea;
using TestMedia::TPictureMap;

// One output format of a container family, and the size its pictures get
// when the checks leave the size "as source" (a fixed-size format names its
// own).
struct TFamily {
  const char* Name;                     // for test names
  int Code;                             // format code of the catalogue
  int FixedWidth = 0, FixedHeight = 0;  // 0: the source's size
};
inline void PrintTo(const TFamily& f, std::ostream* os) { *os << f.Name; }

// One format of every container family the program writes.
inline const std::vector<TFamily>& Families() {
  static const std::vector<TFamily> families = {
      {"Avi", 104},              // MPEG-4 part 2 + MP3 in AVI
      {"MpegPs", 100},           // MPEG-1 video + MP2 in MPEG program stream
      {"Mp4", 103},              // H.264 + AAC in MP4
      {"Wmv", 105},              // WMV2 + WMA2 in ASF
      {"DvPal", 109, 720, 576},  // DV at its one PAL size
  };
  return families;
}
inline std::string FamilyName(const ::testing::TestParamInfo<TFamily>& info) {
  return info.param.Name;
}

// The clips of the checks: the edit pattern, 25 pictures a second, a steady
// tone; small so that every check converts in a fraction of a second.
inline MediaSpec EditClip(int w = 160, int h = 120, double seconds = 4) {
  return MediaSpec::Mp4().ForEdits().Size(w, h).Seconds(seconds);
}
constexpr int kFps = 25;

// An image item showing `file` at (x, y) from second `from` to second `to`.
inline TWmRec ImageItem(const std::string& file, int x, int y, int from = 0, int to = INT_MAX,
                        int alpha = 255) {
  TWmRec item;
  item.Kind = TWmRec::wkImage;
  item.ImageFile = file;
  item.ImageLeft = x;
  item.ImageTop = y;
  item.ImageAlpha = alpha;
  item.StartTime = from;
  item.EndTime = to;
  return item;
}

// A text item in an opaque box of `back` (0x00BBGGRR), w x h at (x, y).
inline TWmRec TextItem(const std::string& text, int x, int y, int w, int h, TColor back,
                       int from = 0, int to = INT_MAX) {
  TWmRec item;
  item.Kind = TWmRec::wkText;
  item.Text = text;
  item.Font = std::make_unique<TWmFont>();
  item.Font->Size = 8;
  item.Font->Color = clWhite;
  item.TextLeft = x;
  item.TextTop = y;
  item.TextWidth = w;
  item.TextHeight = h;
  item.TextAlpha = 255;
  item.BackColor = back;
  item.BackOpaque = true;
  item.StartTime = from;
  item.EndTime = to;
  return item;
}

class EditTest : public BatchTest {
 protected:
  // Makes `code` the chosen format with these settings of its section
  // (paraVideoSize, paraZoom, ...), as the settings dialog stores them.
  void UseFormat(int code, const std::vector<std::pair<std::string, std::string>>& settings) {
    TAppSettings app(Settings());
    ASSERT_TRUE(app.SetFormatCode(code));
    ASSERT_TRUE(TFormatSettings(Settings(), code).WriteAll(settings));
  }
  // The family's format at the source's size (when it has a choice), with a
  // generous bit rate, 25 pictures a second and the given zoom.
  void UseFamily(const TFamily& family, const std::string& zoom = "full") {
    std::vector<std::pair<std::string, std::string>> settings = {{"paraZoom", zoom}};
    if (!family.FixedWidth) {
      settings.push_back({"paraVideoSize", "as source"});
      settings.push_back({"paraVideoBitRate", "1500"});
      settings.push_back({"paraFrameRate", "25"});
    }
    UseFormat(family.Code, settings);
  }

  // Converts `source` as Start does, after `edit` has changed its record
  // (what the editing windows' Ok would store). Returns the output file;
  // empty, with a failure recorded, when the conversion or the output check
  // failed.
  std::string Convert(const std::string& source,
                      const std::function<void(TlvFilesRecord&)>& edit = {}) {
    list_->Clear(vcl_);
    const TAddResult added = list_->Add(vcl_, {source}, &ui_);
    EXPECT_EQ(added.Added, 1) << source;
    if (added.Added != 1) return {};
    if (edit) edit(list_->Record(0));
    TBatchDriver driver(vcl_, *list_, Context());
    TRecordingProgressView view(driver, handOver_);
    driver.SetProgressView(&view);
    EXPECT_TRUE(driver.Start());
    const TBatchSummary summary = driver.Summary();
    std::string failure;
    for (const TTerminateInfo& n : driver.Notices())
      if (n.TaskIndex >= 0 && !n.Completed) failure += n.ErrorMessage + "; ";
    EXPECT_EQ(summary.Converted, 1)
        << failure << "row: " << list_->Row(0).Progress << " " << list_->Row(0).ProgressTip;
    if (summary.Converted != 1 || driver.OutputFiles().empty()) return {};
    return driver.OutputFiles()[0];
  }

  // A one-colour BMP in the scratch folder.
  std::string Picture(const std::string& name, int w, int h, const Rgb& colour) {
    const std::string path = scratch_.Path() + name + ".bmp";
    EXPECT_TRUE(TestMedia::WriteSolidBmp(path, w, h, colour));
    return path;
  }
};

// The output's picture size: the family's own, else the source's.
inline TPictureMap FamilyMap(const TFamily& family, int w, int h) {
  return family.FixedWidth ? TPictureMap::Stretched(w, h, family.FixedWidth, family.FixedHeight)
                           : TPictureMap::Same(w, h);
}

// The pictures show source frames `first` .. `last` one after another: none
// missing, none twice, every one readable; the ends exact to one frame.
// `heldEnds`: the first picture may be shown more than once at the start,
// the last twice at the end (a video stream that starts after the sound, in
// a constant-rate output, fills the gap with its first picture, counted
// into the gap, and gives the time back at its end).
inline void ExpectSourceFrames(const std::vector<TestMedia::TFrameRead>& frames, int first,
                               int last, bool heldEnds = false) {
  ASSERT_FALSE(frames.empty());
  EXPECT_NEAR(frames.front().Number, first, 1) << "first picture";
  EXPECT_NEAR(frames.back().Number, last, 1) << "last picture";
  std::string broken;
  bool starting = heldEnds;
  for (size_t i = 0; i < frames.size(); ++i) {
    const int n = frames[i].Number;
    if (starting && (i == 0 || n == frames[i - 1].Number)) continue;
    starting = false;
    if (heldEnds && i + 1 == frames.size() && n == frames[i - 1].Number) continue;
    if (n < 0 || (i > 0 && n != frames[i - 1].Number + 1))
      broken += " #" + std::to_string(i) + "=" + std::to_string(n);
  }
  EXPECT_TRUE(broken.empty()) << "pictures out of step (output index=source frame):" << broken;
}

// Probe `probe` shows `colour` on exactly the source frames `shown` holds
// for; a frame next to a change of `shown` may go either way.
inline void ExpectShownOn(const std::vector<TestMedia::TFrameRead>& frames, size_t probe,
                          const Rgb& colour, const std::function<bool(int)>& shown,
                          const std::string& what) {
  std::string wrong;
  int checked = 0;
  for (const auto& f : frames) {
    const int n = f.Number;
    if (n < 0 || probe >= f.Probes.size()) continue;
    const bool want = shown(n);
    if (shown(n - 1) != want || shown(n + 1) != want) continue;
    ++checked;
    if (TestMedia::ColourNear(f.Probes[probe], colour, 56) != want)
      wrong += " " + std::to_string(n) + (want ? "(missing)" : "(there)");
  }
  EXPECT_GT(checked, 0) << what;
  EXPECT_TRUE(wrong.empty()) << what << " wrong on source frames:" << wrong;
}

}  // namespace e2e
