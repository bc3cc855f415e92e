#include "toolkit/ExifOrientation.h"

#include <cstring>

namespace {

constexpr char kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint32_t kOrientationTag = 0x0112;
constexpr std::uint32_t kShortType = 3;
constexpr std::uint64_t kEntrySize = 12;

// The TIFF structure after the signature, in its byte order. Offsets are
// 32 bits from the file; sums are made in 64, so none wraps.
class TTiffReader {
 public:
  TTiffReader(const std::uint8_t* tiff, std::size_t size) : FTiff(tiff), FSize(size) {}

  // The n-byte value at offset; false past the end.
  bool Get(std::uint64_t offset, int n, std::uint32_t& value) const {
    if (offset + std::uint64_t(n) > FSize) return false;
    value = 0;
    for (int i = 0; i < n; ++i) value = (value << 8) | FTiff[offset + std::uint64_t(FBigEndian ? i : n - 1 - i)];
    return true;
  }

  void SetBigEndian(bool on) { FBigEndian = on; }

 private:
  const std::uint8_t* FTiff;
  std::uint64_t FSize;
  bool FBigEndian = false;
};

// The first directory's orientation entry: a SHORT with a count of 1. The
// entries are walked only while they lie within the block.
int FindOrientation(const TTiffReader& tiff, std::uint32_t directory) {
  std::uint32_t count = 0;
  if (!tiff.Get(directory, 2, count)) return 1;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t entry = std::uint64_t(directory) + 2 + std::uint64_t(i) * kEntrySize;
    std::uint32_t tag = 0, type = 0, values = 0, value = 0;
    if (!tiff.Get(entry, 2, tag)) return 1;
    if (tag != kOrientationTag) continue;
    if (!tiff.Get(entry + 2, 2, type) || !tiff.Get(entry + 4, 4, values) || !tiff.Get(entry + 8, 2, value))
      return 1;
    if (type != kShortType || values != 1 || value < 1 || value > 8) return 1;
    return int(value);
  }
  return 1;
}

}  // namespace

bool IsExifPayload(const std::uint8_t* payload, std::size_t size) {
  return size >= sizeof kExifSignature && std::memcmp(payload, kExifSignature, sizeof kExifSignature) == 0;
}

int ExifOrientation(const std::uint8_t* payload, std::size_t size) {
  if (!IsExifPayload(payload, size)) return 1;
  TTiffReader tiff(payload + sizeof kExifSignature, size - sizeof kExifSignature);
  // Byte order ("II" little, "MM" big), the number 42, the first directory's offset.
  std::uint32_t order = 0, magic = 0, directory = 0;
  if (!tiff.Get(0, 2, order) || (order != 0x4949 && order != 0x4D4D)) return 1;
  tiff.SetBigEndian(order == 0x4D4D);
  if (!tiff.Get(2, 2, magic) || magic != 42 || !tiff.Get(4, 4, directory)) return 1;
  return FindOrientation(tiff, directory);
}
