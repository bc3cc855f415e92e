#include "DecodeStretched.h"

std::shared_ptr<TBitmap> DecodeStretched(TGraphic& picture, int width, int height, int stretchMode,
                                         const std::atomic<bool>* Stop) {
  auto bitmap = std::make_shared<TBitmap>();
  if (width > 0 && height > 0) bitmap->Reset(width, height);
  TRowStretcher stretcher(*bitmap, picture.StoredWidth(), picture.StoredHeight(), stretchMode,
                          TTurn{picture.Orientation()});
  if (!picture.DecodeRows([&](const std::uint32_t* rows, int count) { stretcher.AddRows(rows, count); }, Stop)) {
    return nullptr;
  }
  if (Stop && Stop->load()) return nullptr;
  return bitmap;
}
