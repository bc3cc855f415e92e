#pragma once
// The bytes of one entry of the disk slide store, and their reading back.
// Layout: magic, format version, the key's length and bytes, the slide's
// width, height and pixel format, the packed pixels' length and bytes, and a
// checksum over everything before it. The pixels are split into their four
// byte planes, each byte less its left neighbour (the first of a row less
// the one above), and zstd-compressed.
#include <cstdint>
#include <string>
#include <vector>

#include "app/pictures/SlideStore.h"

// 2: slides of photos with an Exif orientation are turned upright.
constexpr std::uint32_t DiskSlideFormatVersion = 2;

struct TDiskSlideKey {
  TSlideKey Slide;
  std::string Path;     // the file's full path
  int ScreenBits = 32;  // the screen's bits per pixel (8 bits quantise)
};

// The disk key of a slide made from the file opened by this path (made
// absolute), for a screen of this many bits per pixel.
TDiskSlideKey DiskSlideKey(const TSlideKey& key, const std::string& pathOpened, int screenBits);

// The key as the entry holds it, and the entry's file name made from it.
std::vector<std::uint8_t> DiskSlideKeyBytes(const TDiskSlideKey& key);
std::string DiskSlideEntryName(const TDiskSlideKey& key);

// Whether a slide of this size can be made for the look: the grid's rule
// gives the long side SlideSize and the short side 1 to SlideSize, each
// times Ratio; a picture whose short side rounds to 0 gets a 1-pixel stand-in
// 2 * SlideSize + 1 long (see the supply's MakeSlide).
bool PossibleSlideSize(const TSlideLook& look, std::int64_t width, std::int64_t height);
// The largest entry a slide of the key can have: a larger file is refused
// unread.
std::uint64_t MaxDiskSlideEntryBytes(const TDiskSlideKey& key);
// The most memory reading or writing an entry of a slide of this look holds:
// the entry, its unpacked planes and the slide.
std::uint64_t DiskSlideWorkBytes(const TSlideLook& look);

// The checksum that ends an entry, over the bytes before it.
std::uint64_t DiskSlideChecksum(const std::uint8_t* bytes, std::size_t count);

std::vector<std::uint8_t> EncodeDiskSlide(const TDiskSlideKey& key, const TBitmap& slide);
// The entry's slide when the entry is whole, of this format, for this key
// and of a size and pixel format a slide of the key can have; null otherwise.
TSlideRef DecodeDiskSlide(const std::vector<std::uint8_t>& entry, const TDiskSlideKey& key);
