#include "platform/Environment.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> GetEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  if (!v) return std::nullopt;
  return std::string(v);
}

std::string GetEnvOr(const std::string& name, const std::string& fallback) {
  auto v = GetEnv(name);
  return v && !v->empty() ? *v : fallback;
}

bool SetEnv(const std::string& name, const std::string& value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool UnsetEnv(const std::string& name) { return ::unsetenv(name.c_str()) == 0; }

}  // namespace platform
