#include "app/Startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "app/MemorySettings.h"
#include "app/pictures/SlideDiskStore.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"

namespace {

constexpr const char* kRuntimeDir = "XDG_RUNTIME_DIR";

bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 07777) == 0700;
}

// Qt looks into the runtime folder while it starts (whether it runs in a
// sandbox); without one it makes TMPDIR/runtime-USER. An existing folder
// that only the user may enter serves instead: the user's runtime folder,
// the home, the cache home or the program's own cache folder, the first of
// them that is private. Returns whether the variable was set here.
bool LendRuntimeDir() {
  if (std::getenv(kRuntimeDir)) return false;
  const char* home = std::getenv("HOME");
  const char* cacheHome = std::getenv("XDG_CACHE_HOME");
  const std::string homeFolder = home && home[0] == '/' ? home : "";
  const std::string cacheFolder = cacheHome && cacheHome[0] == '/' ? cacheHome
                                  : homeFolder.empty()             ? ""
                                                                   : homeFolder + "/.cache";
  const std::vector<std::string> candidates{"/run/user/" + std::to_string(geteuid()), homeFolder, cacheFolder,
                                            DefaultSlideDiskFolder()};
  for (const std::string& folder : candidates) {
    if (IsPrivateFolder(folder)) return setenv(kRuntimeDir, folder.c_str(), 1) == 0;
  }
  return false;
}

// Qt's messages while its platform starts are held back: when no platform
// starts (no display to open) Qt ends the process with a fatal message and
// abort(); the person gets one clear line and status 1 instead. When it
// starts, the held messages are passed on as they came.
struct THeldMessage {
  QtMsgType Type;
  std::string Category;
  QString Text;
};
std::mutex gHeldLock;
std::vector<THeldMessage> gHeld;
QtMessageHandler gPassOn = nullptr;

std::string DisplayProblem() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (x11 && *x11) return "cannot open the display \"" + std::string(x11) + "\"";
  if (wayland && *wayland) return "cannot open the display \"" + std::string(wayland) + "\"";
  return "cannot open the display: neither DISPLAY nor WAYLAND_DISPLAY is set";
}

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "glimmet: %s\n", DisplayProblem().c_str());
    std::fflush(stderr);
    std::_Exit(1);
  }
  const std::lock_guard lock(gHeldLock);
  gHeld.push_back({type, context.category ? context.category : "", text});
}

void PassOnHeldMessages() {
  qInstallMessageHandler(gPassOn);
  const std::lock_guard lock(gHeldLock);
  for (const THeldMessage& m : gHeld) {
    const QMessageLogContext context(nullptr, 0, nullptr, m.Category.c_str());
    if (gPassOn) gPassOn(m.Type, context, m.Text);
  }
  gHeld.clear();
}

std::string RealExecutablePath() {
  const QString path = QCoreApplication::applicationFilePath();
  const QString real = QFileInfo(path).canonicalFilePath();
  return QFile::encodeName(real.isEmpty() ? path : real).toStdString();
}

}  // namespace

std::unique_ptr<QApplication> StartApplication(int& argc, char** argv) {
  SetUpAllocator();
  RegisterJpegFormat();
  const bool lent = LendRuntimeDir();
  gPassOn = qInstallMessageHandler(HoldMessage);
  auto app = std::make_unique<QApplication>(argc, argv);
  PassOnHeldMessages();
  // Programs started from the window get the environment as it was.
  if (lent) unsetenv(kRuntimeDir);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) Screen.BitsPerPixel = screen->depth();
  Application.ExeName = RealExecutablePath();
  Application.Initialize();
  // The file list names directories in upper case; files open through the
  // directories the scan really listed.
  SetPathResolver(ResolveListedPath);
  return app;
}
