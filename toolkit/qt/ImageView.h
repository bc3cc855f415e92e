#pragma once
// A widget that shows the picture of a TImage at its natural size, centred
// when the image asks for it, on the button-face colour.
#include <QWidget>

#include "toolkit/Graphics.h"
#include "toolkit/Image.h"

class TImageView : public QWidget {
  Q_OBJECT

 public:
  explicit TImageView(TImage& image, QWidget* parent = nullptr);
  // Must go before the image it shows.
  ~TImageView() override;

  TImage& Image() { return FImage; }
  // Where the picture's top-left corner goes in a view of this size.
  static QPoint PictureOrigin(const QSize& view, const QSize& picture, bool centred);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  enum class TBitmapState { Wanted, Ready, Failed };
  void PictureChanged();
  const TBitmap* PictureBitmap();
  void KeepRowsDecodedSoFar(const TGraphic& graphic);

  TImage& FImage;
  // The picture as pixels, shared with the picture's own decoded store.
  TBitmap FBitmap;
  TBitmapState FState = TBitmapState::Wanted;
};
