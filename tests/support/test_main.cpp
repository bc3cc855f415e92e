// Test entry point: an offscreen Qt application (fonts, pictures) around the
// GoogleTest run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/Startup.h"
#include "toolkit/FileData.h"
#include "tools/TempDir.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // No test writes into the real home: the slides kept across runs go to a
  // folder of this run (the programs the tests start inherit it).
  const TempDir cache;
  setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
  // The tests' files are written moments before they are read; those that
  // check the wait for a quiet file set it back.
  SetQuietNs(0);
  const auto app = StartApplication(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
