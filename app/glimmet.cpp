// Program start: the command line, the application, the window and the
// message loop.
#include "app/CommandLine.h"
#include "app/Startup.h"
#include "app/mainfrm.h"

int main(int argc, char** argv) {
  // Help, version and a wrong line are answered before Qt looks for a display.
  const TCommandLine line = ParseCommandLine(argc, argv);
  if (const std::optional<int> status = AnswerWithoutWindow(line)) return *status;
  const auto app = StartApplication(argc, argv);
  TFrmGlimmet window;
  if (line.Path) window.SetStartPath(*line.Path);
  // Short enough that a close or a scroll is answered at once.
  window.LimitWaits(std::chrono::milliseconds(200));
  window.show();
  return QApplication::exec();
}
