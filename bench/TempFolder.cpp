#include "TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

TTempFolder::TTempFolder(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  FPath = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ec;  // a failed clean-up must not end the run
  fs::remove_all(FPath, ec);
}
