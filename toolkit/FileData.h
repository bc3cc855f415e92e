#pragma once
// Reading a whole picture file into memory, safely: read-only, never blocking
// on a FIFO, refusing what is not a regular file or is unreasonably large.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Maps a path as the program holds it to the path to open (the file scan
// keeps the directories it listed; see SetPathResolver).
using TPathResolver = std::string (*)(const std::string&);

// Installs the resolver used by every picture file opening; nullptr opens
// paths as given. Set on the GUI thread, and read there only: a worker is
// given the resolved path (ResolvedPath, ReadResolvedFile).
void SetPathResolver(TPathResolver resolver);
// The path a name opens: the resolver's answer, or the name without one.
std::string ResolvedPath(const std::string& fileName);

// Raises EFOpenError with "Cannot open file "<expanded path>". <cause>", the
// text every refused opening of a file or folder gives.
[[noreturn]] void RaiseOpenError(const std::string& fileName, const std::string& cause);

// Raises the EFOpenError that reading the file at exactly this path (no
// resolver) would raise, reading nothing.
void CheckReadableFile(const std::string& path);

// Files larger than this are refused before anything is read.
constexpr std::uint64_t MaxPictureFileSize = std::uint64_t(512) << 20;

// The whole content of a regular file. Raises EFOpenError with
// "Cannot open file "<expanded path>". <cause>".
std::vector<std::uint8_t> ReadFileData(const std::string& fileName);

// The same for the first maxBytes of the file at most (the size limit above
// still refuses larger files).
std::vector<std::uint8_t> ReadFileHead(const std::string& fileName, std::uint64_t maxBytes);

// ReadFileData for a path ResolvedPath gave, opened as given; reads no
// global, so any thread may call it.
std::vector<std::uint8_t> ReadResolvedFile(const std::string& path);

// What tells one version of a file from another: a file rewritten, replaced
// or touched differs in one of these.
struct TFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedNs = 0;  // since the epoch, in nanoseconds
  std::int64_t ChangedNs = 0;
  bool operator==(const TFileIdentity&) const = default;
};

// The identity of the file a path opens (through the path resolver);
// nothing when it cannot be looked at.
std::optional<TFileIdentity> FileIdentity(const std::string& fileName);
