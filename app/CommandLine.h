#pragma once
// The program's command line: at most one folder or picture to open, the
// help and version options, and Qt's own options, which Qt takes itself.
// Read before the Qt application exists, so that --help and --version need
// no display.
#include <optional>
#include <string>

struct TCommandLine {
  enum TAction { caRun, caHelp, caVersion, caUsageError };
  TAction Action = caRun;
  // The folder or picture to open, as the bytes were given.
  std::optional<std::string> Path;
  // Why the line was refused (caUsageError).
  std::string Problem;
};

TCommandLine ParseCommandLine(int argc, const char* const* argv);

std::string UsageText();
std::string VersionText();

// Prints what a line other than caRun asks for (help and version to
// standard output, a refusal with the usage to standard error) and gives
// the exit status (1 when standard output would not take the answer);
// nothing for caRun.
std::optional<int> AnswerWithoutWindow(const TCommandLine& line);
