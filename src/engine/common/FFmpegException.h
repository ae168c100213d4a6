// FFmpegException: the engine's error, a message text for the user.
//
// Raised by the engine, the probe, the player and the logger; components turn
// it into LastErrMsg or a failed terminate notice. Immutable; any thread.
#pragma once

#include <stdexcept>
#include <string>

class FFmpegException : public std::runtime_error {
 public:
  explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
  explicit FFmpegException(const char* message) : std::runtime_error(message) {}
};
