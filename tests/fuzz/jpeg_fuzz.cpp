// libFuzzer target for the picture path: bytes as a picture file, loaded,
// decoded and scaled into a slide. Built with clang by GLIMMET_FUZZ;
// scripts/fuzz.sh runs it.
#include <cstdlib>
#include <cstring>

#include "FuzzedPicture.h"

namespace {

// libjpeg itself is not instrumented, so the fuzzer would see only our own
// code's branches. These counters tell it also which refusal, colour model
// and size class an input reached.
constexpr std::size_t kErrorSlots = 256, kModelSlots = 64, kSizeSlots = 256, kOrientationSlots = 81;
__attribute__((used, section("__libfuzzer_extra_counters")))
std::uint8_t gFeatures[kErrorSlots + kModelSlots + kSizeSlots + 4 + kOrientationSlots];

void Count(std::size_t slot) {
  if (gFeatures[slot] < 255) ++gFeatures[slot];
}

std::size_t ErrorSlot(const std::string& error) {
  const char* prefix = "JPEG error #";
  if (error.rfind(prefix, 0) == 0) return std::size_t(std::atoi(error.c_str() + std::strlen(prefix))) % 200;
  return 200 + std::hash<std::string>()(error.substr(0, 20)) % (kErrorSlots - 200);
}

std::size_t Log2Class(int v) {
  std::size_t c = 0;
  while (v > 1 && c < 15) v >>= 1, ++c;
  return c;
}

void CountFeatures(const fuzzing::TOutcome& o) {
  if (!o.Error.empty()) Count(ErrorSlot(o.Error));
  // Both readings of the orientation, 0 to 8 each (0: not loaded).
  const std::size_t orientation = o.Loaded ? std::size_t(o.Header.Orientation) % 9 : 0;
  Count(kErrorSlots + kModelSlots + kSizeSlots + 4 + orientation * 9 + std::size_t(o.FrameOrientation) % 9);
  if (!o.Loaded) return;
  Count(kErrorSlots + std::size_t(o.Header.ColorSpace) % kModelSlots);
  Count(kErrorSlots + kModelSlots + Log2Class(o.Header.Width) * 16 + Log2Class(o.Header.Height));
  Count(kErrorSlots + kModelSlots + kSizeSlots + (o.Decoded ? 1 : 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CountFeatures(fuzzing::LoadAndShow(data, size));
  return 0;
}
