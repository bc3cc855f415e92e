// Test entry point: an offscreen Qt application (fonts, pictures) around the
// GoogleTest run.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "toolkit/Forms.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  Application.ExeName = QCoreApplication::applicationFilePath().toStdString();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
