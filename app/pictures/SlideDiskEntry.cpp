#include "app/pictures/SlideDiskEntry.h"

#include <zstd.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "toolkit/SysUtils.h"

namespace {

constexpr char kMagic[8] = {'G', 'L', 'M', 'S', 'L', 'I', 'D', 'E'};
constexpr int kLevel = 1;  // measured: higher levels shrink the planes by under 1 % at a third of the speed
constexpr std::uint64_t kMaxPixels = std::uint64_t(1) << 26;
// Magic, version, key length; width, height, format, packed length; checksum.
constexpr std::uint64_t kFramingBytes = sizeof kMagic + 4 + 4 + 4 + 4 + 4 + 8 + 8;
constexpr std::uint64_t kMaxPathBytes = 4096;
// Every slide is a fresh bitmap of the default format (DecodeStretched).
constexpr TPixelFormat kSlideFormat = pf24bit;

std::uint64_t MaxSlidePixels(const TSlideLook& look) {
  const std::uint64_t size = std::uint64_t(std::clamp(look.Size, 0, 65535));
  const std::uint64_t side = size * std::uint64_t(std::clamp(look.Ratio, 0, 65535));
  return std::min(std::max(side * side, 2 * size + 1), kMaxPixels);
}

std::uint64_t MaxPackedBytes(const TSlideLook& look) { return ZSTD_compressBound(MaxSlidePixels(look) * 4); }

// A word-at-a-time hash whose every step is a bijection of its state, so one
// changed word always changes the result.
std::uint64_t Hash64(const std::uint8_t* p, std::size_t n, std::uint64_t seed) {
  constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ULL, k2 = 0xC2B2AE3D27D4EB4FULL;
  std::uint64_t h = seed ^ (std::uint64_t(n) * k1);
  const auto mix = [&](std::uint64_t w) { h = std::rotl(h ^ (w * k2), 31) * k1; };
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, 8);
    mix(w);
  }
  if (n > 0) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    mix(w);
  }
  h ^= h >> 33;
  h *= k2;
  return h ^ (h >> 29);
}

class TWriter {
 public:
  std::vector<std::uint8_t> Bytes;
  template <typename T>
  void Put(T v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    Bytes.insert(Bytes.end(), p, p + sizeof v);
  }
  void Put(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    Bytes.insert(Bytes.end(), p, p + n);
  }
};

class TReader {
 public:
  TReader(const std::vector<std::uint8_t>& bytes, std::size_t end) : FBytes(bytes), FEnd(end) {}
  template <typename T>
  bool Get(T& v) {
    if (FEnd - FAt < sizeof v) return false;
    std::memcpy(&v, FBytes.data() + FAt, sizeof v);
    FAt += sizeof v;
    return true;
  }
  const std::uint8_t* Take(std::size_t n) {
    if (FEnd - FAt < n) return nullptr;
    FAt += n;
    return FBytes.data() + FAt - n;
  }
  std::size_t At() const { return FAt; }

 private:
  const std::vector<std::uint8_t>& FBytes;
  std::size_t FEnd;
  std::size_t FAt = 0;
};

// Each byte's prediction: its left neighbour, the first of a row the one above.
template <typename F>
void ForEachPlaneByte(int width, int height, F f) {
  for (int plane = 0; plane < 4; ++plane) {
    const int shift = 8 * plane;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) f(shift, y, x);
    }
  }
}

std::vector<std::uint8_t> PlaneDeltas(const TBitmap& slide) {
  const int width = slide.Width(), height = slide.Height();
  std::vector<std::uint8_t> out;
  out.reserve(std::size_t(width) * std::size_t(height) * 4);
  ForEachPlaneByte(width, height, [&](int shift, int y, int x) {
    const auto byte = [&](int yy, int xx) { return std::uint8_t(slide.ScanLine(yy)[xx] >> shift); };
    const std::uint8_t before = x > 0 ? byte(y, x - 1) : y > 0 ? byte(y - 1, 0) : 0;
    out.push_back(std::uint8_t(byte(y, x) - before));
  });
  return out;
}

void UndoPlaneDeltas(const std::vector<std::uint8_t>& deltas, TBitmap& slide) {
  const int width = slide.Width();
  std::uint32_t* bits = slide.MutableBits();
  std::size_t at = 0;
  ForEachPlaneByte(width, slide.Height(), [&](int shift, int y, int x) {
    const auto byte = [&](int yy, int xx) { return std::uint8_t(bits[std::size_t(yy) * width + xx] >> shift); };
    const std::uint8_t before = x > 0 ? byte(y, x - 1) : y > 0 ? byte(y - 1, 0) : 0;
    bits[std::size_t(y) * width + x] |= std::uint32_t(std::uint8_t(deltas[at++] + before)) << shift;
  });
}

}  // namespace

TDiskSlideKey DiskSlideKey(const TSlideKey& key, const std::string& pathOpened, int screenBits) {
  return {key, ExpandFileName(pathOpened), screenBits};
}

std::vector<std::uint8_t> DiskSlideKeyBytes(const TDiskSlideKey& key) {
  const TFileIdentity& file = key.Slide.File;
  const TSlideLook& look = key.Slide.Look;
  TWriter w;
  w.Put(file.Device);
  w.Put(file.Inode);
  w.Put(file.Size);
  w.Put(file.ModifiedNs);
  w.Put(file.ChangedNs);
  w.Put(std::int32_t(look.Size));
  w.Put(std::int32_t(look.AntiAlias));
  w.Put(std::int32_t(look.Ratio));
  w.Put(std::int32_t(key.ScreenBits));
  w.Put(std::uint32_t(key.Path.size()));
  w.Put(key.Path.data(), key.Path.size());
  return std::move(w.Bytes);
}

std::string DiskSlideEntryName(const TDiskSlideKey& key) {
  const std::vector<std::uint8_t> bytes = DiskSlideKeyBytes(key);
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.slide",
                static_cast<unsigned long long>(Hash64(bytes.data(), bytes.size(), 0x736c696465ULL)));
  return name;
}

bool PossibleSlideSize(const TSlideLook& look, std::int64_t width, std::int64_t height) {
  const std::int64_t size = std::max(look.Size, 0), ratio = look.Ratio;
  const std::int64_t standIn = 2 * size + 1;
  if ((width == standIn && height == 1) || (width == 1 && height == standIn)) return true;
  if (size == 0 || ratio <= 0) return false;
  const std::int64_t longSide = size * ratio;
  const auto shortSide = [&](std::int64_t side) { return side > 0 && side <= longSide && side % ratio == 0; };
  return (width == longSide && shortSide(height)) || (height == longSide && shortSide(width));
}

std::uint64_t MaxDiskSlideEntryBytes(const TDiskSlideKey& key) {
  return kFramingBytes + DiskSlideKeyBytes(key).size() + MaxPackedBytes(key.Slide.Look);
}

std::uint64_t DiskSlideWorkBytes(const TSlideLook& look) {
  // The slide and its planes, and the entry, twice while it is written
  // (the packed pixels, then the entry around them).
  const std::uint64_t entry = kFramingBytes + kMaxPathBytes + 64 + MaxPackedBytes(look);
  return 2 * MaxSlidePixels(look) * 4 + 2 * entry;
}

std::uint64_t DiskSlideChecksum(const std::uint8_t* bytes, std::size_t count) { return Hash64(bytes, count, 0); }

std::vector<std::uint8_t> EncodeDiskSlide(const TDiskSlideKey& key, const TBitmap& slide) {
  const std::vector<std::uint8_t> keyBytes = DiskSlideKeyBytes(key);
  const std::vector<std::uint8_t> deltas = PlaneDeltas(slide);
  std::vector<std::uint8_t> packed(ZSTD_compressBound(deltas.size()));
  const std::size_t packedSize = ZSTD_compress(packed.data(), packed.size(), deltas.data(), deltas.size(), kLevel);
  if (ZSTD_isError(packedSize)) return {};
  TWriter w;
  w.Put(kMagic, sizeof kMagic);
  w.Put(DiskSlideFormatVersion);
  w.Put(std::uint32_t(keyBytes.size()));
  w.Put(keyBytes.data(), keyBytes.size());
  w.Put(std::uint32_t(slide.Width()));
  w.Put(std::uint32_t(slide.Height()));
  w.Put(std::uint32_t(slide.PixelFormat));
  w.Put(std::uint64_t(packedSize));
  w.Put(packed.data(), packedSize);
  w.Put(DiskSlideChecksum(w.Bytes.data(), w.Bytes.size()));
  return std::move(w.Bytes);
}

TSlideRef DecodeDiskSlide(const std::vector<std::uint8_t>& entry, const TDiskSlideKey& key) {
  if (entry.size() < sizeof kMagic + 8) return nullptr;
  const std::size_t end = entry.size() - 8;
  std::uint64_t checksum = 0;
  std::memcpy(&checksum, entry.data() + end, 8);
  if (checksum != DiskSlideChecksum(entry.data(), end)) return nullptr;
  TReader r(entry, end);
  const std::uint8_t* magic = r.Take(sizeof kMagic);
  std::uint32_t version = 0, keySize = 0, width = 0, height = 0, format = 0;
  if (!magic || std::memcmp(magic, kMagic, sizeof kMagic) != 0 || !r.Get(version) ||
      version != DiskSlideFormatVersion || !r.Get(keySize))
    return nullptr;
  const std::vector<std::uint8_t> wanted = DiskSlideKeyBytes(key);
  const std::uint8_t* keyBytes = r.Take(keySize);
  if (!keyBytes || keySize != wanted.size() || std::memcmp(keyBytes, wanted.data(), keySize) != 0) return nullptr;
  std::uint64_t packedSize = 0;
  if (!r.Get(width) || !r.Get(height) || !r.Get(format) || !r.Get(packedSize)) return nullptr;
  // Only a size a slide of the key can have: a forged one could ask for
  // gigabytes.
  if (format != kSlideFormat || !PossibleSlideSize(key.Slide.Look, width, height) ||
      std::uint64_t(width) * height > kMaxPixels)
    return nullptr;
  const std::uint8_t* packed = r.Take(packedSize);
  if (!packed || r.At() != end) return nullptr;
  const std::size_t planeBytes = std::size_t(width) * height * 4;
  if (ZSTD_getFrameContentSize(packed, packedSize) != planeBytes) return nullptr;
  std::vector<std::uint8_t> deltas(planeBytes);
  const std::size_t got = ZSTD_decompress(deltas.data(), deltas.size(), packed, packedSize);
  if (ZSTD_isError(got) || got != planeBytes) return nullptr;
  auto slide = std::make_shared<TBitmap>();
  slide->Reset(int(width), int(height));
  slide->PixelFormat = TPixelFormat(format);
  if (planeBytes > 0) UndoPlaneDeltas(deltas, *slide);
  return slide;
}
