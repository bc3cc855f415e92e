#include "app/SlideToolTip.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "toolkit/FileData.h"
#include "toolkit/JpegFrame.h"
#include "toolkit/SysUtils.h"

std::string DiskSizeText(std::uint64_t bytes, const QLocale& locale) {
  return locale.formattedDataSize(qint64(std::min<std::uint64_t>(bytes, INT64_MAX)), 1, QLocale::DataSizeIecFormat)
      .toStdString();
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
