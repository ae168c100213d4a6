// Environment access (the process environment, any length of value).
// Reading is safe from any thread; setting or removing a variable is not while
// other threads may read the environment, so the program does it at start-up
// (and tests on their own thread) only.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The value of an environment variable, or nullopt when it is not set.
std::optional<std::string> GetEnv(const std::string& name);
// The value, or `fallback` when the variable is unset or empty.
std::string GetEnvOr(const std::string& name, const std::string& fallback);
bool SetEnv(const std::string& name, const std::string& value);
bool UnsetEnv(const std::string& name);

}  // namespace platform
