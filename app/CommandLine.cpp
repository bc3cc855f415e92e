#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

struct TQtOption {
  std::string_view Name;
  bool TakesValue;
};

// The options QGuiApplication and QApplication take out of the command line
// (one dash or two). Those with a value take the next argument, or "=value".
constexpr std::array<TQtOption, 20> kQtOptions{{
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowtitle", true},
    {"title", true},
    {"qwindowicon", true},
    {"icon", true},
    {"display", true},
    {"style", true},
    {"stylesheet", true},
    {"session", true},
    {"name", true},
    {"qmljsdebugger", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
}};

const TQtOption* FindQtOption(std::string_view name) {
  const auto* found =
      std::find_if(kQtOptions.begin(), kQtOptions.end(), [&](const TQtOption& o) { return o.Name == name; });
  return found == kQtOptions.end() ? nullptr : found;
}

TCommandLine Refuse(std::string problem) {
  TCommandLine line;
  line.Action = TCommandLine::caUsageError;
  line.Problem = std::move(problem);
  return line;
}

// Steps over the Qt option at argv[i] and its value; why it is refused when
// it is no Qt option or lacks its value.
std::string TakeQtOption(int argc, const char* const* argv, int& i) {
  const std::string_view arg = argv[i];
  std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
  const auto equals = name.find('=');
  const bool hasValue = equals != std::string_view::npos;
  name = name.substr(0, equals);
  const TQtOption* qt = FindQtOption(name);
  if (!qt || (hasValue && !qt->TakesValue)) return "unknown option '" + std::string(arg) + "'";
  if (qt->TakesValue && !hasValue) {
    if (i + 1 >= argc) return "option '" + std::string(arg) + "' needs a value";
    ++i;
  }
  return {};
}

}  // namespace

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
  TCommandLine line;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (line.Path) return Refuse("more than one folder or picture given");
      line.Path = std::string(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      line.Action = TCommandLine::caHelp;
      return line;
    }
    if (arg == "--version") {
      line.Action = TCommandLine::caVersion;
      return line;
    }
    if (std::string problem = TakeQtOption(argc, argv, i); !problem.empty()) return Refuse(problem);
  }
  return line;
}

std::string UsageText() {
  return "Usage: glimmet [OPTION]... [FOLDER | PICTURE]\n"
         "Browse the JPEG pictures of a folder as thumbnails.\n"
         "\n"
         "  FOLDER      list the folder's pictures (without one: the data folder\n"
         "              beside the program)\n"
         "  PICTURE     list the picture's folder, select the picture and show it\n"
         "  -h, --help  print this help and exit\n"
         "  --version   print the version and exit\n"
         "  --          take what follows as a name, even when it begins with '-'\n"
         "\n"
         "Qt's options (-platform, -display, -style and the others) are taken too.\n";
}

std::string VersionText() { return "glimmet " GLIMMET_VERSION "\n"; }

namespace {

// Standard output may be a full disk or a closed pipe: then the answer was
// not given, and the status says so.
int Print(const std::string& text) {
  errno = 0;
  if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return 0;
  std::fprintf(stderr, "glimmet: cannot write to standard output: %s\n",
               errno ? std::strerror(errno) : "write error");
  return 1;
}

}  // namespace

std::optional<int> AnswerWithoutWindow(const TCommandLine& line) {
  switch (line.Action) {
    case TCommandLine::caRun:
      return std::nullopt;
    case TCommandLine::caHelp:
      return Print(UsageText());
    case TCommandLine::caVersion:
      return Print(VersionText());
    case TCommandLine::caUsageError:
      std::fprintf(stderr, "glimmet: %s\n%s", line.Problem.c_str(), UsageText().c_str());
      return 2;
  }
  return 2;
}
