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

#include "app/pictures/SlideDiskStore.h"

// 2: slides of photos with an Exif orientation are turned upright.
constexpr std::uint32_t DiskSlideFormatVersion = 2;

// The key as the entry holds it, and the entry's file name made from it.
std::vector<std::uint8_t> DiskSlideKeyBytes(const TDiskSlideKey& key);
std::string DiskSlideEntryName(const TDiskSlideKey& key);

std::vector<std::uint8_t> EncodeDiskSlide(const TDiskSlideKey& key, const TBitmap& slide);
// The entry's slide when the entry is whole, of this format and for this
// key; null otherwise.
TSlideRef DecodeDiskSlide(const std::vector<std::uint8_t>& entry, const TDiskSlideKey& key);

// Where in an entry each part lies, for the tests that damage one.
struct TDiskSlideLayout {
  std::size_t Version = 8;
  std::size_t Key = 16;
  std::size_t Pixels = 0;    // the packed pixels
  std::size_t Checksum = 0;  // the last 8 bytes
};
TDiskSlideLayout DiskSlideLayout(const std::vector<std::uint8_t>& entry);
