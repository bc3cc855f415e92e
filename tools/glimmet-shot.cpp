// Renders the browser window without a display and saves it as a PNG:
//   glimmet-shot --out FILE.png [FOLDER | PICTURE] [--folder DIR] [--scroll N] [--click X,Y]...
// The actions run in the order given: FOLDER or PICTURE opens as the
// program's own argument does, --folder lists DIR as a click in the folder
// tree would, --scroll sets the scroll bar's position, --click moves the
// pointer to grid point X,Y and clicks there with the left button.
// Errors the program would show in a box are printed as "error: TEXT".
#include <sys/mman.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QFileInfo>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/FolderModel.h"
#include "app/ShellTreeView.h"
#include "app/Startup.h"
#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"
#include "toolkit/qt/ControlHost.h"

namespace {

constexpr const char* kUsage =
    "usage: glimmet-shot --out FILE.png [FOLDER | PICTURE] [--folder DIR] [--scroll N] [--click X,Y]...";

struct TAction {
  enum TKind { Open, ChooseFolder, Scroll, Click } Kind;
  std::string Path;
  int A = 0;
  int B = 0;
};

struct TOptions {
  std::string Out;
  std::vector<TAction> Actions;
};

std::optional<int> ParseInt(const std::string& s) {
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || v < -32768 || v > 32767) return std::nullopt;
  return int(v);
}

std::optional<TAction> ParseClick(const std::string& s) {
  const auto comma = s.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const auto x = ParseInt(s.substr(0, comma));
  const auto y = ParseInt(s.substr(comma + 1));
  if (!x || !y) return std::nullopt;
  return TAction{TAction::Click, {}, *x, *y};
}

std::optional<TAction> ParseAction(const std::string& name, const std::string& value) {
  if (name == "--folder") return TAction{TAction::ChooseFolder, value, 0, 0};
  if (name == "--scroll") {
    const auto n = ParseInt(value);
    if (!n) return std::nullopt;
    return TAction{TAction::Scroll, {}, *n, 0};
  }
  if (name == "--click") return ParseClick(value);
  return std::nullopt;
}

// Reads the bytes of argv, which Qt has rid of its own options: names that
// are no UTF-8 keep them.
std::optional<TOptions> ParseArguments(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i < argc; i += 2) {
    const std::string name = argv[i];
    if (!name.starts_with("-")) {
      options.Actions.push_back(TAction{TAction::Open, name, 0, 0});
      --i;
      continue;
    }
    if (i + 1 >= argc) return std::nullopt;
    const std::string value = argv[i + 1];
    if (name == "--out") {
      options.Out = value;
      continue;
    }
    const auto action = ParseAction(name, value);
    if (!action) return std::nullopt;
    options.Actions.push_back(*action);
  }
  if (options.Out.empty()) return std::nullopt;
  return options;
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

// Moves onto the point first, so the focus outline follows as it would.
void ClickGrid(TFrmGlimmet& window, int x, int y) {
  QWidget* host = window.Thumbs1Host;
  const QPoint pos(x, y);
  SendMouse(host, QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
  SendMouse(host, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
  SendMouse(host, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

void RunAction(TFrmGlimmet& window, const TAction& action) {
  switch (action.Kind) {
    case TAction::Open:
      Application.Guard([&] { window.OpenPath(action.Path); });
      break;
    case TAction::ChooseFolder:
      if (!window.ChooseFolder(action.Path))
        std::fprintf(stderr, "error: no folder %s in the tree\n", action.Path.c_str());
      break;
    case TAction::Scroll:
      window.SBarThumbs->setValue(action.A);
      break;
    case TAction::Click:
      ClickGrid(window, action.A, action.B);
      break;
  }
  QApplication::processEvents();
}

// The tree's model lists folders on a thread of its own and sorts them
// afterwards: the picture waits for the root's folders (two seconds at most).
void WaitForTheTree(TShellTreeView& tree) {
  bool loaded = false;
  QObject::connect(&tree.Model(), &QFileSystemModel::directoryLoaded, [&](const QString& path) {
    if (path == "/") loaded = true;
  });
  QElapsedTimer clock;
  clock.start();
  while (!loaded && clock.elapsed() < 2000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// The offscreen platform has no window manager to pass a window's size
// limits to, and says so for every window; all else Qt says is kept.
QtMessageHandler gQtHandler = nullptr;
void QuietAboutSizeHints(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message == "This plugin does not support propagateSizeHints()") return;
  gQtHandler(type, context, message);
}

// Qt's offscreen screen is 800 x 800 unless configured, and the window
// shrinks itself to fit it: the picture gets a screen of the tests' size, so
// the window keeps its laid-out size. The configuration goes through a
// memory file, so nothing is written for it.
constexpr const char* kScreen = R"({"screens": [{"name": "main", "x": 0, "y": 0, "width": 1280, "height": 1024}]})";

void ConfigureOffscreenPlatform() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && std::string(platform) != "offscreen") return;
  const int fd = memfd_create("glimmet-screens", 0);
  const std::string text = kScreen;
  if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size())) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return;
  }
  // Left open: Qt reads it while the application starts.
  const std::string config = "offscreen:configfile=/proc/self/fd/" + std::to_string(fd);
  setenv("QT_QPA_PLATFORM", config.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  ConfigureOffscreenPlatform();
  gQtHandler = qInstallMessageHandler(QuietAboutSizeHints);
  const auto app = StartApplication(argc, argv);
  const auto options = ParseArguments(argc, argv);
  if (!options) {
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
  }
  Application.SetErrorSink([](const std::string& text) { std::fprintf(stderr, "error: %s\n", text.c_str()); });

  TFrmGlimmet window;
  window.show();
  WaitForTheTree(*window.ShellTreeView1);
  for (const TAction& action : options->Actions) RunAction(window, action);
  if (!window.grab().save(QString::fromStdString(options->Out), "PNG")) {
    std::fprintf(stderr, "error: cannot write %s\n", options->Out.c_str());
    return 1;
  }
  return 0;
}
