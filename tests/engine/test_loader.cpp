#include <gtest/gtest.h>

#include "engine/FFmpegApi.h"
#include "engine/FFmpegLoader.h"

// The test main loaded every library; the tables must be usable.
TEST(Loader, AllLibrariesLoadedAndCallable) {
  auto& loader = TFFmpegLoader::Instance();
  EXPECT_TRUE(loader.Loaded(AllLibraries));
  ASSERT_NE(FF.avcodec_find_encoder_by_name, nullptr);
  EXPECT_NE(FF.avcodec_find_encoder_by_name("mpeg4"), nullptr);
  EXPECT_EQ(FF.av_rescale(10, 3, 2), 15);
}
