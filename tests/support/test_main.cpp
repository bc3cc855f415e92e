// Test entry point: an offscreen Qt application (fonts, pictures) around the
// GoogleTest run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/Startup.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const auto app = StartApplication(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
