#include "toolkit/qt/ImageView.h"

#include <QImage>
#include <QPainter>

#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"

TImageView::TImageView(TImage& image, QWidget* parent) : QWidget(parent), FImage(image) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  FImage.OnChange = [this](TObject*) { PictureChanged(); };
}

TImageView::~TImageView() { FImage.OnChange = nullptr; }

QPoint TImageView::PictureOrigin(const QSize& view, const QSize& picture, bool centred) {
  if (!centred) return {0, 0};
  // Integer division truncates toward zero: an odd difference leaves the
  // extra pixel on the right and at the bottom, also when the picture is
  // larger than the view.
  return {(view.width() - picture.width()) / 2, (view.height() - picture.height()) / 2};
}

void TImageView::PictureChanged() {
  FBitmap.Reset(0, 0);
  FState = TBitmapState::Wanted;
  update();
}

// Decodes on first need; a decode that fails is reported once, here.
const TBitmap* TImageView::PictureBitmap() {
  const TGraphic* graphic = FImage.Picture().Graphic();
  if (!graphic || graphic->Empty()) return nullptr;
  if (FState == TBitmapState::Wanted) {
    FState = TBitmapState::Failed;
    Application.Guard([&] {
      FBitmap.Assign(graphic);
      FState = TBitmapState::Ready;
    });
    if (FState == TBitmapState::Failed) KeepRowsDecodedSoFar(*graphic);
  }
  return FState == TBitmapState::Ready ? &FBitmap : nullptr;
}

// After a failed decode a JPEG picture keeps the rows decoded before the
// failure, and those are shown. Without them (no memory for the picture, or
// another kind of picture) nothing is.
void TImageView::KeepRowsDecodedSoFar(const TGraphic& graphic) {
  const auto* jpeg = dynamic_cast<const TJPEGImage*>(&graphic);
  if (!jpeg) return;
  try {
    FBitmap.Assign(&jpeg->Bitmap());
    FState = TBitmapState::Ready;
  } catch (...) {
    // Still no memory: the failure was reported already.
  }
}

void TImageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const TColor face = ColorToRGB(clBtnFace);
  painter.fillRect(rect(), QColor(GetRValue(face), GetGValue(face), GetBValue(face)));
  const TBitmap* bitmap = PictureBitmap();
  if (!bitmap || bitmap->Empty()) return;
  // Wraps the decoded pixels: nothing is copied.
  const QImage image(reinterpret_cast<const uchar*>(bitmap->Bits()), bitmap->Width(), bitmap->Height(),
                     qsizetype(bitmap->Width()) * 4, QImage::Format_RGB32);
  if (FImage.Stretch) {
    painter.drawImage(rect(), image);
    return;
  }
  painter.drawImage(PictureOrigin(size(), image.size(), FImage.Center), image);
}
