#pragma once
// The toolkit's pixels and colours as Qt takes them.
#include <QColor>
#include <QImage>

#include "toolkit/Graphics.h"
#include "toolkit/Types.h"

// The bitmap's own pixels as an image at this device pixel ratio: nothing
// is copied, so the image must not outlive the pixels.
inline QImage WrapPixels(const TBitmap& bitmap, qreal ratio) {
  QImage image(reinterpret_cast<const uchar*>(bitmap.Bits()), bitmap.Width(), bitmap.Height(),
               qsizetype(bitmap.Width()) * 4, QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  return image;
}

// A colour, system colours resolved, as Qt's.
inline QColor ToQColor(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return {GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)};
}
