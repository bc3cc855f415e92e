#include "FileData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <cstring>
#include <new>

#include "SysUtils.h"

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

namespace {

TPathResolver gResolver = nullptr;
std::atomic<std::int64_t> gQuietNs{DefaultQuietNs};
thread_local TReadWitness* tWitness = nullptr;

TFileIdentity IdentityOf(const struct stat& st) {
  return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size), Nanoseconds(st.st_mtim),
          Nanoseconds(st.st_ctim)};
}

std::optional<TFileIdentity> DescriptorIdentity(int fd) {
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) return std::nullopt;
  return IdentityOf(st);
}

// Why a file of this kind is refused; empty for a regular file.
std::string KindRefusal(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return "It is a folder, not a file";
  if (S_ISFIFO(mode)) return "It is a named pipe, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "It is a device, not a file";
  return "It is not a regular file";
}

std::uint64_t CheckedSize(int fd, const std::string& fileName) {
  struct stat st {};
  if (fstat(fd, &st) != 0) RaiseOpenError(fileName, std::strerror(errno));
  const std::string refusal = KindRefusal(st.st_mode);
  if (!refusal.empty()) RaiseOpenError(fileName, refusal);
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size > MaxPictureFileSize) {
    RaiseOpenError(fileName,
                   Format("The file is larger than %llu MiB", (unsigned long long)(MaxPictureFileSize >> 20)));
  }
  return size;
}

std::vector<std::uint8_t> Allocate(std::uint64_t size) {
  try {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(Format("Not enough memory to read a file of %llu bytes", (unsigned long long)size));
  }
}

// Reads at most the size fstat gave; a file that shrank meanwhile ends early.
void ReadAll(int fd, std::vector<std::uint8_t>& data, const std::string& fileName) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseOpenError(fileName, std::strerror(errno));
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  data.resize(done);
}

}  // namespace

void RaiseOpenError(const std::string& fileName, const std::string& cause) {
  throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(fileName).c_str(), cause.c_str()));
}

TFileDescriptor::~TFileDescriptor() {
  if (FFd >= 0) close(FFd);
}

void SetPathResolver(TPathResolver resolver) { gResolver = resolver; }

std::string ResolvedPath(const std::string& fileName) { return gResolver ? gResolver(fileName) : fileName; }

namespace {

// Opens the file for reading, or raises the refusal.
int OpenForReading(const std::string& path) {
  // Devices and pipes are refused before opening: opening some has effects.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !KindRefusal(st.st_mode).empty())
    RaiseOpenError(path, KindRefusal(st.st_mode));
  // Non-blocking so that a named pipe cannot stall the open; it is refused below.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) RaiseOpenError(path, std::strerror(errno));
  return fd;
}

}  // namespace

void CheckReadableFile(const std::string& path) {
  const TFileDescriptor fd(OpenForReading(path));
  CheckedSize(fd.Get(), path);
}

namespace {

// Errors name the file really opened, which may differ in case from the name
// asked for.
std::vector<std::uint8_t> ReadHeadAt(const std::string& path, std::uint64_t maxBytes) {
  const TFileDescriptor fd(OpenForReading(path));
  if (tWitness) tWitness->Witness(fd.Get(), path);
  std::vector<std::uint8_t> data = Allocate(std::min(CheckedSize(fd.Get(), path), maxBytes));
  ReadAll(fd.Get(), data, path);
  return data;
}

}  // namespace

std::vector<std::uint8_t> ReadFileHead(const std::string& fileName, std::uint64_t maxBytes) {
  return ReadHeadAt(ResolvedPath(fileName), maxBytes);
}

std::vector<std::uint8_t> ReadResolvedFile(const std::string& path) { return ReadHeadAt(path, MaxPictureFileSize); }

std::vector<std::uint8_t> ReadFileData(const std::string& fileName) {
  return ReadFileHead(fileName, MaxPictureFileSize);
}

std::optional<TFileIdentity> FileIdentity(const std::string& fileName) {
  const std::string path = ResolvedPath(fileName);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return IdentityOf(st);
}

void SetQuietNs(std::int64_t ns) { gQuietNs = ns; }

TReadWitness::TReadWitness() { tWitness = this; }

TReadWitness::~TReadWitness() {
  tWitness = nullptr;
  if (FFd >= 0) close(FFd);
}

void TReadWitness::Witness(int fd, const std::string& path) {
  if (++FReads > 1) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  FReadBeganNs = Nanoseconds(now);
  FBefore = DescriptorIdentity(fd);
  FFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  FPath = path;
}

std::optional<TFileIdentity> TReadWitness::SteadyIdentity() const {
  if (FReads != 1 || !FBefore || DescriptorIdentity(FFd) != FBefore) return std::nullopt;
  if (FReadBeganNs - FBefore->ChangedNs < gQuietNs.load()) return std::nullopt;
  return FBefore;
}
