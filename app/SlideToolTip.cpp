#include "app/SlideToolTip.h"

#include <array>
#include <optional>

#include "toolkit/FileData.h"
#include "toolkit/JpegFrame.h"
#include "toolkit/SysUtils.h"

std::string DiskSizeText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  constexpr std::array<const char*, 3> kUnits{"KB", "MB", "GB"};
  std::uint64_t unit = 1024;
  std::size_t k = 0;
  while (k + 1 < kUnits.size() && bytes >= unit * 1024) {
    unit *= 1024;
    ++k;
  }
  // Tenths, rounded half up, in integers so that no rounding of a double intrudes.
  const std::uint64_t tenths = (bytes * 10 + unit / 2) / unit;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[k];
}

std::string SlideToolTipText(const std::string& fileName, const std::string& failure) {
  std::string text = ExtractFileName(fileName);
  if (!failure.empty()) return text + "\n" + failure;
  if (const std::optional<TJpegFrame> frame = PeekJpegFrame(fileName); frame && frame->Height > 0) {
    text += "\n" + std::to_string(frame->ShownWidth()) + " x " + std::to_string(frame->ShownHeight()) + " pixels";
  }
  if (const std::optional<TFileIdentity> identity = FileIdentity(fileName)) {
    text += "\n" + DiskSizeText(std::uint64_t(identity->Size)) + " on disk";
  }
  return text;
}
