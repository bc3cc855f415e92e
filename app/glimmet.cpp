// Program start: the application, the window and the message loop. The
// program takes no options.
#include "app/Startup.h"
#include "app/mainfrm.h"

int main(int argc, char** argv) {
  const auto app = StartApplication(argc, argv);
  TFrmGlimmet window;
  window.show();
  return QApplication::exec();
}
