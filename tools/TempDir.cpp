#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  FPath = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;  // a failed clean-up must not end the run
  fs::remove_all(FPath, ec);
}

std::string TempDir::AddFile(const std::string& rel, std::string_view bytes) {
  const fs::path path = fs::path(FPath) / rel;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
  return path.string();
}

std::string TempDir::AddDir(const std::string& rel) {
  const fs::path path = fs::path(FPath) / rel;
  fs::create_directories(path);
  return path.string();
}

std::string TempDir::AddSymlink(const std::string& rel, const std::string& target) {
  const fs::path path = fs::path(FPath) / rel;
  fs::create_directories(path.parent_path());
  fs::create_symlink(target, path);
  return path.string();
}
