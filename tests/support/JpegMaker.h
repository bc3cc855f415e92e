#pragma once
// Breaks copies of JPEG files (made with tools/JpegWriter.h) the ways
// damaged and hostile files are broken.
#include <cstdint>
#include <string>

#include "tools/JpegWriter.h"

namespace jpegmaker {

// The first count bytes.
Bytes Truncate(Bytes bytes, std::size_t count);
// XORs count bytes from offset on with mask.
Bytes XorBytes(Bytes bytes, std::size_t offset, std::size_t count, std::uint8_t mask = 0xFF);
// Overwrites the size in the first frame header (SOF0..SOF15).
Bytes PatchSofSize(Bytes bytes, std::uint16_t width, std::uint16_t height);
// Overwrites the sample precision in the first frame header.
Bytes PatchSofPrecision(Bytes bytes, std::uint8_t bits);
// Puts raw bytes (e.g. a marker) just before the final EOI.
Bytes InsertBeforeEoi(Bytes bytes, const Bytes& insert);
// Comment segments after SOI making the file at least size bytes long: data
// enough, for the decoder, to code a picture its frame header was patched to.
Bytes PadWithComments(Bytes bytes, std::size_t size);
// An APP1 segment with the payload (an Exif block, say) just after SOI.
Bytes WithApp1(Bytes bytes, const Bytes& payload);
// Repeats the last scan (SOS segment and its entropy data) times more.
Bytes RepeatLastScan(Bytes bytes, int times);
// Offset of the first frame header (SOF0..SOF15); raises when there is none.
std::size_t FindSof(const Bytes& bytes);
// Offset of the first marker 0xFF code, or npos.
std::size_t FindMarker(const Bytes& bytes, std::uint8_t code);

}  // namespace jpegmaker
