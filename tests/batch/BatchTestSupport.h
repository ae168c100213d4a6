// Shared by the batch tests: a scratch folder that is removed afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

class TScratchFolder {
 public:
  TScratchFolder() {
    char tmpl[] = "/tmp/quor_batch_XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    path_ = made ? std::string(made) + "/" : std::string();
  }
  ~TScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // The folder, with a trailing "/".
  const std::string& Path() const { return path_; }
  // A sub-folder, created, with a trailing "/".
  std::string Sub(const std::string& name) const {
    std::filesystem::create_directories(path_ + name);
    return path_ + name + "/";
  }

 private:
  std::string path_;
};
