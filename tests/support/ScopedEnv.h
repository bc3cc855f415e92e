#pragma once
// Sets an environment variable while it lives (unset with nullptr), then
// puts back what was there.
#include <cstdlib>
#include <optional>
#include <string>

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* was = std::getenv(name)) FWas = was;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { FWas ? setenv(FName, FWas->c_str(), 1) : unsetenv(FName); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* FName;
  std::optional<std::string> FWas;
};
