// The main of every test executable. Engine tests get the media libraries
// loaded before the first test; Qt tests run inside a QApplication on the
// offscreen platform.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef QUOR_TEST_ENGINE
#include "engine/libav/FFmpegLoader.h"
#endif
#ifdef QUOR_TEST_QT
#include <QApplication>
#include <QTemporaryFile>

#include <cstring>
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
  // The offscreen platform's own screen is 800 x 600, smaller than the main
  // window and the dialogs centred on it, so parts of them would lie where no
  // pointer reaches. Tests get a desktop-sized screen, as the screenshots do.
  QTemporaryFile screen;
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && std::strcmp(platform, "offscreen") == 0 && screen.open()) {
    screen.write(R"({"screens": [{"name": "Screen", "x": 0, "y": 0, "width": 1280,
                     "height": 900, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    screen.flush();
    const std::string option = "offscreen:configfile=" + screen.fileName().toStdString();
    ::setenv("QT_QPA_PLATFORM", option.c_str(), 1);
  }
  QApplication app(argc, argv);
#endif
  return RUN_ALL_TESTS();
}
