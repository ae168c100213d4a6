// Settings and edits that used to end in "done" without what the user asked
// for: sections cut short, duplicated or naming no format, a trim past the
// end, a crop of a sound-only source, and a watermark picture that cannot be
// read.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/probe/AVProbe.h"
#include "platform/IniFile.h"
#include "profiles/FormatCatalog.h"
#include "support/BatchTestSupport.h"
#include "support/MediaFactory.h"

namespace {

std::string Clip() { return TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1)); }

class BatchHostile : public BatchTest {
 protected:
  // Replaces the default format's section of the settings file with `text`
  // (which may hold several sections), before the other sections or, for a
  // file cut off inside it, after them.
  void ReplaceDefaultSection(const std::string& text, bool last) {
    std::ifstream in(Settings());
    std::ostringstream kept;
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
      if (!line.empty() && line[0] == '[') inside = line == "[formatInfo1]";
      if (!inside) kept << line << "\n";
    }
    in.close();
    std::ofstream(Settings(), std::ios::trunc) << (last ? kept.str() + text : text + kept.str());
  }

  // Converts the list's rows; the notices of the tasks (not the final one).
  std::vector<TTerminateInfo> Run(TRecordingProgressView** view = nullptr) {
    // One driver for every batch, as the main window has.
    if (!driver_) {
      driver_ = std::make_unique<TBatchDriver>(vcl_, *list_, Context());
      progress_ = std::make_unique<TRecordingProgressView>(*driver_, handOver_);
      driver_->SetProgressView(progress_.get());
    }
    progress_->Warnings.clear();
    EXPECT_TRUE(driver_->Start());
    if (view) *view = progress_.get();
    std::vector<TTerminateInfo> tasks;
    for (const auto& n : driver_->Notices())
      if (n.TaskIndex >= 0) tasks.push_back(n);
    return tasks;
  }

  std::unique_ptr<TBatchDriver> driver_;
  std::unique_ptr<TRecordingProgressView> progress_;
};

}  // namespace

// Every door of an incomplete section: missing or blank keys take the
// profile's factory values, so the default format keeps its picture.
TEST_F(BatchHostile, IncompleteSectionsConvertWithTheFactoryValues) {
  const std::pair<const char*, bool> sections[] = {
      {"[formatInfo1]\nDescription=one unrelated key\n", false},
      {"[formatInfo1]\nparaVideoEncoder=\nparaAudioEncoder=  \n", false},
      {"[formatInfo1]\nparaAudioEncoder=libfaac\n[formatInfo1]\nparaVideoEncoder=mpeg4\n", false},
      {"[formatInfo1]\niVideoSize=0\nparaVideoS", true},  // the file cut off inside the section
  };
  list_->Add(vcl_, {Clip()}, &ui_);
  for (const auto& [text, last] : sections) {
    SCOPED_TRACE(text);
    ReplaceDefaultSection(text, last);
    const auto tasks = Run();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_TRUE(tasks[0].Completed) << tasks[0].ErrorMessage;
    const TestMedia::VideoStats video = TestMedia::ScanVideo(driver_->OutputFiles()[0]);
    EXPECT_TRUE(video.Ok);
    EXPECT_EQ(video.Width, 320);
    EXPECT_TRUE(TestMedia::ScanAudio(driver_->OutputFiles()[0]).Ok);
  }
}

TEST_F(BatchHostile, UnknownFormatCodeFallsBackToTheDefaultWithAWarning) {
  list_->Add(vcl_, {Clip()}, &ui_);
  for (const char* code : {"99999", "-1"}) {
    SCOPED_TRACE(code);
    ui_.Warnings.clear();
    ASSERT_TRUE(platform::WriteIniString(Settings(), "settings", "FormatCode", code));
    const auto tasks = Run();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_TRUE(tasks[0].Completed) << tasks[0].ErrorMessage;
    ASSERT_EQ(ui_.Warnings.size(), 1u);
    EXPECT_NE(
        ui_.Warnings[0].Text.find(std::string("No output format has the code '") + code + "'"),
        std::string::npos)
        << ui_.Warnings[0].Text;
    EXPECT_EQ(std::filesystem::path(driver_->OutputFiles()[0]).extension(), ".mp4");
    EXPECT_TRUE(TestMedia::ScanVideo(driver_->OutputFiles()[0]).Ok);
  }
}

TEST_F(BatchHostile, TrimStartingAtOrAfterTheEndIsRefused) {
  list_->Add(vcl_, {Clip()}, &ui_);
  TAVProbe probe;
  ASSERT_TRUE(probe.Open(Clip()));
  TFileStreamInfo info;
  probe.FileStreamInfo(info);
  for (std::int64_t start : {info.Duration, std::int64_t(100000000)}) {
    list_->Record(0).TrimStart = start;
    TBatchDriver driver(vcl_, *list_, Context());
    try {
      driver.Start();
      ADD_FAILURE() << "a trim from " << start << " us was accepted";
    } catch (const EConvertError& e) {
      EXPECT_NE(std::string(e.what()).find("at or after its end"), std::string::npos) << e.what();
    }
    vcl_.ClearTasks();
  }
}

TEST_F(BatchHostile, CropOfASoundOnlySourceIsIgnored) {
  list_->Add(vcl_, {TestMedia::Get(MediaSpec::AudioOnly().Seconds(1))}, &ui_);
  TlvFilesRecord& record = list_->Record(0);
  record.CropTop = record.CropBottom = 10;
  record.CropLeft = record.CropRight = 20;
  const auto tasks = Run();
  ASSERT_EQ(tasks.size(), 1u);
  EXPECT_TRUE(tasks[0].Completed) << tasks[0].ErrorMessage;
}

// One unreadable picture used to drop every edit of the file silently.
TEST_F(BatchHostile, UnreadablePictureIsSkippedWithAWarningAndTheOtherEditsApply) {
  const std::string empty = scratch_.Path() + "empty.bmp";
  std::ofstream(empty).flush();
  list_->Add(vcl_, {Clip()}, &ui_);
  TlvFilesRecord& record = list_->Record(0);
  record.Brightness = 400;
  auto item = std::make_unique<TWmRec>();
  item->Kind = TWmRec::wkImage;
  item->ImageFile = empty;
  item->ImageAlpha = 255;
  item->EndTime = 1000;
  record.Watermarks.push_back(std::move(item));

  TRecordingProgressView* view = nullptr;
  const auto tasks = Run(&view);
  ASSERT_EQ(tasks.size(), 1u);
  EXPECT_TRUE(tasks[0].Completed) << tasks[0].ErrorMessage;
  ASSERT_EQ(view->Warnings.size(), 1u);
  EXPECT_NE(view->Warnings[0].find(empty), std::string::npos) << view->Warnings[0];
  EXPECT_EQ(list_->Row(0).Progress.rfind("100% (", 0), 0u) << list_->Row(0).Progress;

  // The grey half of the picture came out brighter.
  TBitmap source, output;
  ASSERT_TRUE(TestMedia::DecodeFrame(Clip(), 5, source));
  ASSERT_TRUE(TestMedia::DecodeFrame(driver_->OutputFiles()[0], 5, output));
  const TestMedia::Rgb before =
      TestMedia::PixelAt(source, source.Width() / 8, source.Height() * 7 / 8, 2);
  const TestMedia::Rgb after =
      TestMedia::PixelAt(output, output.Width() / 8, output.Height() * 7 / 8, 2);
  EXPECT_GT(after.R, before.R + 40);
}
