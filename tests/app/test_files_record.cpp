#include <gtest/gtest.h>

#include "app/FilesRecord.h"

TEST(FilesRecord, ANewRecordIsNeutral) {
  TlvFilesRecord r("/media/clip.mp4", "lbox");
  EXPECT_EQ(r.SourceFile, "/media/clip.mp4");
  EXPECT_EQ(r.Zoom, "lbox");
  EXPECT_EQ(r.Brightness, 255);
  EXPECT_EQ(r.Saturation, 255);
  EXPECT_EQ(r.TrimStart + r.TrimLength + r.Contrast + r.Exposure, 0);
  EXPECT_EQ(r.CropTop + r.CropLeft + r.CropBottom + r.CropRight, 0);
  EXPECT_EQ(r.CropUpView + r.CropLeftView + r.CropDownView + r.CropRightView, 0);
  EXPECT_TRUE(r.Watermarks.empty());
  EXPECT_FALSE(r.HasEffects());
}

TEST(FilesRecord, EachPictureSettingAwayFromNeutralIsAnEffect) {
  auto with = [](auto change) {
    TlvFilesRecord r;
    change(r);
    return r.HasEffects();
  };
  EXPECT_TRUE(with([](TlvFilesRecord& r) { r.Brightness = 256; }));
  EXPECT_TRUE(with([](TlvFilesRecord& r) { r.Brightness = 254; }));
  EXPECT_TRUE(with([](TlvFilesRecord& r) { r.Contrast = -1; }));
  EXPECT_TRUE(with([](TlvFilesRecord& r) { r.Saturation = 0; }));
  EXPECT_TRUE(with([](TlvFilesRecord& r) { r.Exposure = 1; }));
  // Trim, crop and zoom are done by the engine's options, not by the hook.
  EXPECT_FALSE(with([](TlvFilesRecord& r) {
    r.TrimStart = 5;
    r.CropTop = 2;
    r.Zoom = "pan";
  }));
}

TEST(FilesRecord, OnlyTheFirstWatermarkItemIsLookedAt) {
  TlvFilesRecord r;
  r.ResizeWatermarks(2);
  EXPECT_FALSE(r.HasEffects());  // empty items draw nothing
  r.Watermarks[0]->Text = "hello";
  EXPECT_TRUE(r.HasEffects());
  r.Watermarks[0]->Text.clear();
  r.Watermarks[0]->Kind = TWmRec::wkImage;
  r.Watermarks[1]->Text = "second";
  EXPECT_FALSE(r.HasEffects());
  r.Watermarks[0]->ImageFile = "/logo.bmp";
  EXPECT_TRUE(r.HasEffects());
  r.Watermarks[0].reset();  // a hole in the array is no effect, not a crash
  EXPECT_FALSE(r.HasEffects());
}

TEST(FilesRecord, ResizingWatermarksFillsEmptySlotsAndKeepsItems) {
  TlvFilesRecord r;
  r.ResizeWatermarks(1);
  TWmRec* first = r.Watermarks[0].get();
  first->Text = "keep";
  r.Watermarks.push_back(nullptr);
  r.ResizeWatermarks(3);
  ASSERT_EQ(r.Watermarks.size(), 3u);
  EXPECT_EQ(r.Watermarks[0].get(), first);
  EXPECT_NE(r.Watermarks[1], nullptr);
  EXPECT_NE(r.Watermarks[2], nullptr);
  r.ResizeWatermarks(0);
  EXPECT_TRUE(r.Watermarks.empty());
}

TEST(WmRec, CopiesOwnTheirFontAndDropTheEditorLayer) {
  TWmRec a;
  EXPECT_EQ(a.Font, nullptr);
  int layer = 0;
  a.Layer = &layer;
  a.Text = "x";
  a.Font = std::make_unique<TWmFont>(TWmFont{"Sans", 12, fsBold | fsItalic, 0x0000FF});
  a.EndTime = 9;
  TWmRec b(a);
  EXPECT_EQ(b.Layer, nullptr);
  ASSERT_NE(b.Font, nullptr);
  EXPECT_NE(b.Font.get(), a.Font.get());
  EXPECT_EQ(*b.Font, *a.Font);
  EXPECT_EQ(b.Text, "x");
  EXPECT_EQ(b.EndTime, 9);
  b.Font->Size = 20;
  EXPECT_EQ(a.Font->Size, 12);
  TWmRec c;
  c = b;
  EXPECT_EQ(c.Font->Size, 20);
}

TEST(WmRec, TimeWindowUsesWholeSecondsInclusive) {
  TWmRec item;
  item.StartTime = 5;
  item.EndTime = 5;
  EXPECT_FALSE(item.ShownAt(4999999));
  EXPECT_TRUE(item.ShownAt(5000000));
  EXPECT_TRUE(item.ShownAt(5999999));
  EXPECT_FALSE(item.ShownAt(6000000));
}
