// Test entry point: an offscreen Qt application (fonts, pictures) around the
// GoogleTest run. Its screens: a 1280 x 1024 one, the first and primary, and
// beside it the same at a device pixel ratio of 2 (640 x 512 logical pixels).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Startup.h"
#include "toolkit/FileData.h"
#include "tools/TempDir.h"

namespace {

constexpr const char* kScreens =
    R"({"screens": [{"name": "main", "x": 0, "y": 0, "width": 1280, "height": 1024},)"
    R"( {"name": "double", "x": 1280, "y": 0, "width": 640, "height": 512, "dpr": 2}]})";

// The platform's configuration file, read while the application starts.
std::string WriteScreens() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string path =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/glimmet-screens-" + std::to_string(getpid()) + ".json";
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file) return {};
  std::fputs(kScreens, file);
  std::fclose(file);
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  std::string screens;
  if (!platform || std::string(platform) == "offscreen") {
    screens = WriteScreens();
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 1);
  }
  // No test writes into the real home: the slides kept across runs go to a
  // folder of this run (the programs the tests start inherit it).
  const TempDir cache;
  setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
  // The tests' files are written moments before they are read; those that
  // check the wait for a quiet file set it back.
  SetQuietNs(0);
  const auto app = StartApplication(argc, argv);
  if (!screens.empty()) std::remove(screens.c_str());
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
