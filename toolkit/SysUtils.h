#pragma once
// The root of all errors the system raises, and small string helpers.
#include <stdexcept>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

// Raised by the standard assignment of persistent objects.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Raised when a picture file cannot be opened or read.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// Raised by the picture classes (unknown extension, bad data). Detail is
// what the decoder itself said, for a person who wants more than the message.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
  EInvalidGraphic(std::string message, std::string detail)
      : Exception(std::move(message)), Detail(std::move(detail)) {}
  std::string Detail;
};

// Raised when memory for a bitmap or buffer cannot be had.
class EOutOfMemory : public Exception {
 public:
  using Exception::Exception;
};

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "dir/" of "dir/name" (separator kept); "" when there is none.
std::string ExtractFilePath(const std::string& path);
// "name" of "dir/name".
std::string ExtractFileName(const std::string& path);
// ".ext" of "dir/name.ext" (dot kept); "" when there is none.
std::string ExtractFileExt(const std::string& path);
// Absolute form of a path, "." and ".." folded; no link is resolved.
std::string ExpandFileName(const std::string& path);
// Upper-cases ASCII a..z only.
std::string AnsiUpperCaseAscii(std::string s);
