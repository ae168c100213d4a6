// A scratch folder for one test, removed with everything in it when the
// object goes, and the whole-file reads and writes such tests make. Every
// test that needs files of its own makes them in one of these: a fresh name
// per object (mkdtemp), so tests running side by side never share a folder.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

class TTestFolder {
 public:
  explicit TTestFolder(const std::string& prefix = "quor-test") {
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(tmpl.data())) path_ = tmpl + "/";
  }
  ~TTestFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;

  // The folder with a trailing "/"; empty when it could not be made.
  const std::string& Path() const { return path_; }
  std::string In(const std::string& name) const { return path_ + name; }
  // A sub-folder, created, with a trailing "/".
  std::string Sub(const std::string& name) const {
    std::filesystem::create_directories(path_ + name);
    return path_ + name + "/";
  }
  // The names in the folder, hidden ones included, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
  }

 private:
  std::string path_;
};
