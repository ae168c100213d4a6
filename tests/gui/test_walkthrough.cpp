// A person's first session with the real program, driven from outside under
// a virtual X display with the mouse and the keyboard only: pick a format in
// the main window's list, pick another in Settings and change its video bit
// rate, trim one file by dragging its range bar, Start, and find the three
// files converted as chosen and the choices in the settings file.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/PreviewRules.h"
#include "editing/TrimRange.h"
#include "engine/probe/AVProbe.h"
#include "platform/IniFile.h"
#include "profiles/FormatList.h"
#include "support/BatchTestSupport.h"
#include "support/ChildProcess.h"
#include "support/MediaFactory.h"
#include "support/XDisplay.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kTitle = "Quor MP4 to AVI Converter";
constexpr int kRowHeight = 20;

std::string QuorPath() { return QCoreApplication::applicationDirPath().toStdString() + "/quor"; }

// Turns until `done` holds; false after `timeout`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

// An open format list as the program shows it: its rows as the settings
// file says, its top on the screen for a number of rows.
class TShownFormatList {
 public:
  TShownFormatList(std::string settingsFile, int left, std::function<int(int rows)> top)
      : left_(left), top_(std::move(top)) {
    FillFormatList(list_, names_, settingsFile);
  }
  // Opens the format's group by its glyph when closed, then clicks its row.
  // Home first scrolls the list to its top, wherever it was left.
  void Pick(TXDisplay& x, int code) {
    x.Key("Home");
    const int header = Find(code / 100, true);
    ASSERT_GE(header, 0);
    if (list_.Row(header).Info.Collapsed) {
      x.Click(left_ + 1 + 3 + 8, RowY(header));
      ToggleGroup(list_, header, names_);
    }
    const int row = Find(code, false);
    ASSERT_GE(row, 0);
    x.Click(left_ + 120, RowY(row));
  }

 private:
  int Find(int code, bool group) const {
    for (int i = 0; i < list_.Count(); ++i)
      if (list_.Row(i).Info.Code == code && list_.Row(i).Info.IsGroup == group) return i;
    return -1;
  }
  // The middle of a row: one pixel of frame, then the rows from the top.
  int RowY(int row) const { return top_(list_.Count()) + 1 + row * kRowHeight + kRowHeight / 2; }

  TFormatList list_;
  TFormatNames names_;
  int left_;
  std::function<int(int)> top_;
};

std::string Stored(const std::string& settings, const std::string& section,
                   const std::string& key) {
  return platform::ReadIniString(settings, section, key, "<none>");
}

}  // namespace

TEST(Walkthrough, AFormatPickedTwiceATrimByDragAndStartConvertEveryFileAsChosen) {
  if (!TXDisplay::Available()) GTEST_SKIP() << "Xvfb or xdotool is not installed";
  TXDisplay x;
  ASSERT_TRUE(x.Start());
  TTestFolder scratch;
  const std::string home = scratch.Sub("home"), appData = scratch.Sub("appdata");
  const std::string settings = appData + "quormp4aviconverter.ini";
  const std::vector<std::string> clips = {TestMedia::Get(MediaSpec::Mp4().Seconds(6)),
                                          TestMedia::Get(MediaSpec::Mkv().Seconds(3)),
                                          TestMedia::Get(MediaSpec::Avi().Seconds(3))};
  TChildProcess quor;
  ASSERT_TRUE(quor.Start(QuorPath(), clips,
                         {{"DISPLAY", x.Name()},
                          {"QT_QPA_PLATFORM", "xcb"},
                          {"HOME", home.substr(0, home.size() - 1)},
                          {"QUOR_APPDATA", appData},
                          {"SDL_AUDIODRIVER", "dummy"},
                          {"QUOR_OPEN_COMMAND", "true"},
                          {"QUOR_SHUTDOWN_COMMAND", "true"}}));
  const TXWindow main = x.WaitForWindow(kTitle, 920, 30s);
  ASSERT_TRUE(main.Found()) << x.LastOutput();
  std::this_thread::sleep_for(500ms);

  // The main window's list opens upwards from the format field.
  x.Click(main.X + 200, main.Y + 505);
  TShownFormatList(settings, main.X + 104, [&](int rows) {
    return main.Y + 494 - FormatListHeight(rows);
  }).Pick(x, 102);
  ASSERT_TRUE(WaitUntil([&] { return Stored(settings, "settings", "FormatCode") == "102"; }, 5s));
  EXPECT_EQ(Stored(settings, "settings", "FormatName"), "MPEG-4 Video (*.mp4)");

  // Settings: its list opens downwards; the video bit rate box is typed into.
  x.Click(main.X + 481, main.Y + 505);
  const TXWindow dialog = x.WaitForWindow("Settings", 475);
  ASSERT_TRUE(dialog.Found());
  std::this_thread::sleep_for(300ms);
  x.Click(dialog.X + 200, dialog.Y + 23);
  TShownFormatList(settings, dialog.X + 104, [&](int) { return dialog.Y + 33; }).Pick(x, 104);
  x.Click(dialog.X + 10 + 358 + 40, dialog.Y + 46 + 24 + 11);
  x.Key("ctrl+a");
  x.Type("600");
  x.Key("Tab");
  x.Click(dialog.X + 295 + 40, dialog.Y + 343);
  ASSERT_TRUE(x.WaitForWindowGone("Settings"));
  EXPECT_EQ(Stored(settings, "settings", "FormatCode"), "104");
  EXPECT_EQ(Stored(settings, "settings", "FormatName"), "AVI Video (*.avi)");
  EXPECT_EQ(Stored(settings, "formatInfo104", "paraVideoBitRate"), "600");

  // Trim the first (selected) file: Edit, T, then drag the start thumb a
  // third of the way along the range bar.
  x.Click(main.X + 378 + 44, main.Y + 66 + 23);
  std::this_thread::sleep_for(300ms);
  x.Key("t");
  const TXWindow trim = x.WaitForWindow("Trim", 902);
  ASSERT_TRUE(trim.Found());
  std::this_thread::sleep_for(1500ms);  // the file opens in the window's player
  TTrimRange range;                     // the bar's arithmetic, to know where its thumbs are
  range.SetBar(838, 16);
  range.SetDuration(std::int64_t(TestMedia::ContainerDuration(clips[0]) * 1e6));
  range.Load(0, 0);
  const int from = range.LeftThumbX() + TTrimRange::kThumbHalf, to = 838 / 3;
  x.Drag(trim.X + 32 + from, trim.Y + 473 + 10, trim.X + 32 + to, trim.Y + 473 + 10);
  range.Press(from);
  int lower = 0;
  unsigned moved = 0;
  const int steps = std::max(1, (to - from) / 6);  // as the drag above moves
  for (int i = 1; i <= steps; ++i) range.Drag(from + (to - from) * i / steps, lower, moved);
  const std::int64_t startSec = range.StartSec();
  ASSERT_GE(startSec, 1);
  x.Click(trim.X + 700 + 40, trim.Y + 507 + 13);
  ASSERT_TRUE(x.WaitForWindowGone("Trim"));

  // Start, and wait for the three files.
  x.Click(main.X + 469 + 44, main.Y + 66 + 23);
  const std::string out = Stored(settings, "settings", "OutPutDir");
  const auto outputOf = [&](const std::string& clip) {
    return (std::filesystem::path(out) / std::filesystem::path(clip).stem()).string() +
           "_(new).avi";
  };
  ASSERT_TRUE(WaitUntil(
      [&] {
        // A name is reserved by an empty file; the finished output replaces it.
        std::error_code error;
        for (const std::string& clip : clips)
          if (std::filesystem::file_size(outputOf(clip), error) == 0 || error) return false;
        return true;
      },
      40s))
      << "outputs in " << out;
  // The batch ends with the progress window.
  EXPECT_TRUE(x.WaitForWindowGone("Progress.*"));
  quor.Signal(SIGTERM);
  EXPECT_EQ(quor.Wait(20s), 0) << quor.Err();

  const double lengths[] = {6.0 - double(startSec), 3.0, 3.0};
  for (size_t i = 0; i < clips.size(); ++i) {
    const std::string file = outputOf(clips[i]);
    TAVProbe probe;
    ASSERT_TRUE(probe.Open(file)) << file;
    EXPECT_NE(probe.FormatName().find("avi"), std::string::npos) << file;
    TVideoStreamInfo v;
    ASSERT_TRUE(probe.VideoStreamInfo(-1, v)) << file;
    EXPECT_EQ(v.CodecName.substr(0, 5), "mpeg4") << file;
    TAudioStreamInfo a;
    ASSERT_TRUE(probe.AudioStreamInfo(-1, a)) << file;
    EXPECT_EQ(a.CodecName.substr(0, 3), "mp3") << file;
    EXPECT_NEAR(TestMedia::ScanVideo(file).Duration, lengths[i], 0.3) << file;
  }
  EXPECT_EQ(Stored(settings, "formatInfo104", "paraVideoBitRate"), "600");
}
