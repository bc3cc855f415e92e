#include "JpegMaker.h"

#include <algorithm>
#include <stdexcept>

namespace jpegmaker {
namespace {

bool IsRestart(std::uint8_t code) { return code >= 0xD0 && code <= 0xD7; }

// Offsets of every marker of the file, in order.
std::vector<std::size_t> Markers(const Bytes& b) {
  std::vector<std::size_t> found;
  std::size_t pos = 0;
  while (pos + 1 < b.size()) {
    if (b[pos] != 0xFF) throw std::runtime_error("JpegMaker: marker expected");
    while (pos + 1 < b.size() && b[pos + 1] == 0xFF) ++pos;  // fill bytes
    found.push_back(pos);
    const std::uint8_t code = b[pos + 1];
    if (code == 0xD9) break;
    if (code == 0xD8 || IsRestart(code)) {
      pos += 2;
    } else {  // the marker, then a segment of the length its next two bytes give
      pos = pos + 3 < b.size() ? pos + 2 + ((std::size_t(b[pos + 2]) << 8) | b[pos + 3]) : b.size();
    }
    // Entropy data after a scan header runs to the next marker other than a
    // stuffed 0xFF 0x00, a restart or a fill byte.
    while (code == 0xDA && pos + 1 < b.size() &&
           (b[pos] != 0xFF || b[pos + 1] == 0x00 || IsRestart(b[pos + 1]) || b[pos + 1] == 0xFF)) {
      ++pos;
    }
  }
  return found;
}

}  // namespace

Bytes Truncate(Bytes bytes, std::size_t count) {
  if (count < bytes.size()) bytes.resize(count);
  return bytes;
}

Bytes XorBytes(Bytes bytes, std::size_t offset, std::size_t count, std::uint8_t mask) {
  for (std::size_t i = offset; i < offset + count && i < bytes.size(); ++i) bytes[i] ^= mask;
  return bytes;
}

std::size_t FindMarker(const Bytes& bytes, std::uint8_t code) {
  for (std::size_t pos : Markers(bytes))
    if (bytes[pos + 1] == code) return pos;
  return std::string::npos;
}

std::size_t FindSof(const Bytes& bytes) {
  for (std::size_t pos : Markers(bytes)) {
    const std::uint8_t code = bytes[pos + 1];
    if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC && pos + 9 <= bytes.size())
      return pos;
  }
  throw std::runtime_error("JpegMaker: no frame header");
}

Bytes PatchSofSize(Bytes bytes, std::uint16_t width, std::uint16_t height) {
  const std::size_t pos = FindSof(bytes);
  bytes[pos + 5] = std::uint8_t(height >> 8);
  bytes[pos + 6] = std::uint8_t(height);
  bytes[pos + 7] = std::uint8_t(width >> 8);
  bytes[pos + 8] = std::uint8_t(width);
  return bytes;
}

Bytes PatchSofPrecision(Bytes bytes, std::uint8_t bits) {
  bytes[FindSof(bytes) + 4] = bits;
  return bytes;
}

Bytes InsertBeforeEoi(Bytes bytes, const Bytes& insert) {
  const std::size_t eoi = FindMarker(bytes, 0xD9);
  if (eoi == std::string::npos) throw std::runtime_error("JpegMaker: no EOI");
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(eoi), insert.begin(), insert.end());
  return bytes;
}

Bytes PadWithComments(Bytes bytes, std::size_t size) {
  Bytes comments;
  while (bytes.size() + comments.size() < size) {
    const std::size_t length =
        std::min<std::size_t>(65535, std::max<std::size_t>(size - bytes.size() - comments.size(), 4));
    comments.insert(comments.end(), {0xFF, 0xFE, std::uint8_t(length >> 8), std::uint8_t(length & 0xFF)});
    comments.resize(comments.size() + length - 2, ' ');
  }
  bytes.insert(bytes.begin() + 2, comments.begin(), comments.end());
  return bytes;
}

Bytes WithApp1(Bytes bytes, const Bytes& payload) {
  const std::size_t length = payload.size() + 2;
  Bytes segment = {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length & 0xFF)};
  segment.insert(segment.end(), payload.begin(), payload.end());
  bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
  return bytes;
}

Bytes RepeatLastScan(Bytes bytes, int times) {
  std::size_t sos = std::string::npos;
  for (std::size_t pos : Markers(bytes)) sos = bytes[pos + 1] == 0xDA ? pos : sos;
  const std::size_t eoi = FindMarker(bytes, 0xD9);
  if (sos == std::string::npos || eoi == std::string::npos) throw std::runtime_error("JpegMaker: no scan");
  const Bytes scan(bytes.begin() + static_cast<std::ptrdiff_t>(sos),
                   bytes.begin() + static_cast<std::ptrdiff_t>(eoi));
  Bytes repeated;
  for (int i = 0; i < times; ++i) repeated.insert(repeated.end(), scan.begin(), scan.end());
  return InsertBeforeEoi(std::move(bytes), repeated);
}

}  // namespace jpegmaker
