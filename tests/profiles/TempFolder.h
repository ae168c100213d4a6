// A fresh folder per test for INI files, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/TestFolder.h"

class TempFolderTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return folder_.In(name); }
  std::string Put(const std::string& name, const std::string& text) const {
    const std::string path = PathOf(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  TTestFolder folder_{"quor-profiles"};
  const std::filesystem::path dir_{folder_.Path()};
};
