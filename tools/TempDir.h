#pragma once
// A temporary folder for tests and the bench, removed with everything in it
// when the object goes out of scope. Paths given to the helpers are relative
// to it.
#include <string>
#include <string_view>

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "glimmet-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Absolute path of the folder, without a trailing '/'.
  const std::string& Path() const { return FPath; }
  // Absolute path of rel inside the folder.
  std::string operator/(const std::string& rel) const { return FPath + "/" + rel; }

  // Writes a file with the given bytes (parent folders are made); returns its path.
  std::string AddFile(const std::string& rel, std::string_view bytes = {});
  // Makes a folder (and its parents); returns its path.
  std::string AddDir(const std::string& rel);
  // Makes a symbolic link at rel pointing to target (taken as given); returns its path.
  std::string AddSymlink(const std::string& rel, const std::string& target);

 private:
  std::string FPath;
};
