// A stand-in for the engine that owns an option state: records what the
// parser asks of it.
#pragma once

#include <string>
#include <vector>

#include "engine/FFmpegException.h"
#include "engine/OptionParser.h"

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
