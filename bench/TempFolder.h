#pragma once
// A temporary folder, removed with its content when the object goes.
#include <string>

class TTempFolder {
 public:
  explicit TTempFolder(const std::string& prefix);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::string& Path() const { return FPath; }  // without a trailing '/'

 private:
  std::string FPath;
};
