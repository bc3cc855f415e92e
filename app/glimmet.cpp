// Program start: the picture library, the application object, the window and
// the message loop. The program takes no options.
#include <QApplication>
#include <QFileInfo>
#include <QScreen>

#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"

namespace {

// The executable's own path with every link resolved, so that a link to the
// program (as installed on the PATH) still finds the data folder beside it.
std::string RealExecutablePath() {
  const QString path = QCoreApplication::applicationFilePath();
  const QString real = QFileInfo(path).canonicalFilePath();
  return QFile::encodeName(real.isEmpty() ? path : real).toStdString();
}

int PrimaryScreenDepth() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->depth() : 32;
}

}  // namespace

int main(int argc, char** argv) {
  RegisterJpegFormat();
  QApplication app(argc, argv);
  Screen.BitsPerPixel = PrimaryScreenDepth();
  Application.ExeName = RealExecutablePath();
  // The file list names directories in upper case; files open through the
  // directories the scan really listed.
  SetPathResolver(ResolveListedPath);
  TFrmGlimmet window;
  window.show();
  return app.exec();
}
