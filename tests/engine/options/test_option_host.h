// A stand-in for the engine that owns an option state: records what the
// parser asks of it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/common/FFmpegException.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/options/OptionParser.h"

class TOptionTestHost : public IOptionHost {
 public:
  TOptionTestHost() : Parser(State, this) { State.ResetOptions(); }

  void NewStream(AVMediaType type) override {
    if (!HasOutput) throw FFmpegException("At least one output file must be specified");
    NewStreams.push_back(type);
  }
  std::vector<AVFormatContext*> OpenedInputFiles() const override { return Inputs; }
  void SetTotalDuration(std::int64_t us) override { TotalDuration = us; }
  void AddFrameHook(const std::string& text) override { Hooks.push_back(text); }

  void Parse(const std::string& name, const std::string& value) { Parser.ParseOption(name, value); }
  // The message of the FFmpegException the option raises ("" when none).
  std::string Error(const std::string& name, const std::string& value) {
    try {
      Parser.ParseOption(name, value);
    } catch (const FFmpegException& e) {
      return e.what();
    }
    return "";
  }

  TOptionState State;
  TOptionParser Parser;
  bool HasOutput = false;
  std::vector<AVMediaType> NewStreams;
  std::vector<AVFormatContext*> Inputs;
  std::int64_t TotalDuration = -1;
  std::vector<std::string> Hooks;
};

// An integer option of a libraries' object (codec context, private data);
// a failed read fails the test.
inline std::int64_t IntOption(void* obj, const char* name) {
  std::int64_t v = 0;
  EXPECT_GE(FF.av_opt_get_int(obj, name, 0, &v), 0) << name;
  return v;
}

// A dictionary entry's value, "<none>" when it is missing.
inline std::string DictValue(const AVDictionary* d, const char* key) {
  const AVDictionaryEntry* e = FF.av_dict_get(d, key, nullptr, 0);
  return e ? e->value : "<none>";
}
