#pragma once
// Reading a whole picture file into memory, safely: read-only, never blocking
// on a FIFO, refusing what is not a regular file or is unreasonably large.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

// Owns a file descriptor (negative: none) and closes it.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd) : FFd(fd) {}
  ~TFileDescriptor();
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

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

// A file time as nanoseconds since the epoch.
std::int64_t Nanoseconds(const timespec& t);

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

// How long before its read began a file must have last changed for what was
// made of it to be kept: a write within the same clock tick as the read would
// leave its times, and so its identity, as they were (the "racily clean" case).
constexpr std::int64_t DefaultQuietNs = 2'000'000'000;
// Tests that make their files moments before reading them shorten it.
void SetQuietNs(std::int64_t ns);

// Watches the picture file this thread reads while the witness lives (through
// ReadFileData/ReadFileHead: the descriptor's status is taken before the read,
// and the descriptor kept), so that after the decode the caller learns whether
// what it made may be kept, and under which identity. One witness per thread
// at a time.
class TReadWitness {
 public:
  TReadWitness();
  ~TReadWitness();
  TReadWitness(const TReadWitness&) = delete;
  TReadWitness& operator=(const TReadWitness&) = delete;

  // The identity of the file read, when exactly one file was read, its
  // descriptor's status is the same now as before the read, and it had been
  // quiet (see DefaultQuietNs) when the read began; nothing otherwise.
  std::optional<TFileIdentity> SteadyIdentity() const;
  // The path the file was opened by (after the path resolver); empty before a read.
  const std::string& PathRead() const { return FPath; }

  // Called by the file reading with the descriptor about to be read.
  void Witness(int fd, const std::string& path);

 private:
  int FFd = -1;
  int FReads = 0;
  std::optional<TFileIdentity> FBefore;
  std::int64_t FReadBeganNs = 0;
  std::string FPath;
};
