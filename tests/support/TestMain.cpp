// The main of every test executable. Engine tests get the media libraries
// loaded before the first test; Qt tests run inside a QApplication on the
// offscreen platform.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#ifdef QUOR_TEST_ENGINE
#include "engine/libav/FFmpegLoader.h"
#endif
#ifdef QUOR_TEST_QT
#include <QApplication>
#endif

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("SDL_AUDIODRIVER", "dummy", 0);
  ::testing::InitGoogleTest(&argc, argv);
#ifdef QUOR_TEST_ENGINE
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
  if (!loader.Load(AllLibraries)) {
    std::fprintf(stderr, "cannot load the media libraries: %s\n", loader.LastErrMsg().c_str());
    return 2;
  }
#endif
#ifdef QUOR_TEST_QT
  QApplication app(argc, argv);
#endif
  return RUN_ALL_TESTS();
}
