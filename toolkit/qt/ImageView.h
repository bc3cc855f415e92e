#pragma once
// A widget that shows the picture of a TImage, centred when the image asks
// for it, on the button-face colour: at its natural size (one picture pixel
// per device pixel), where a picture larger than the view can be dragged
// with the left button, or fitted into the view (shrunk only, averaged).
// A double click switches between the two, as do F (fit) and 1 (natural).
// + and - (and Ctrl+wheel, about the pointer) step through the zoom steps
// (toolkit/ZoomSteps.h): below natural size averaged like the fitted
// picture, above it magnified without smoothing, only the part in view.
// The fitted picture comes with the picture where it was decoded; for
// another view size it is made once by the averager the view is given (on
// the GUI thread without one), and until it comes, a quick sampled one
// stands in.
#include <QMargins>
#include <QString>
#include <QWidget>
#include <memory>

#include "toolkit/FitPicture.h"
#include "toolkit/Graphics.h"
#include "toolkit/Image.h"
#include "toolkit/ZoomSteps.h"

class QPainter;

class TImageView : public QWidget {
  Q_OBJECT

 public:
  // Zoom: a zoom step other than 1 (Natural).
  enum class TViewMode { Natural, Fit, Zoom };

  explicit TImageView(TImage& image, QWidget* parent = nullptr);
  // Must go before the image it shows, and before its averager.
  ~TImageView() override;
  // Where averaged pictures are made from now on; none: here, at once.
  void SetAverager(TAverager* averager);

  TImage& Image() { return FImage; }

  // Kept while other pictures are shown; a new mode shows the picture centred.
  TViewMode Mode() const { return FMode; }
  void SetMode(TViewMode mode);
  // The zoom step shown outside Fit: 1/1 at natural size.
  TZoom Zoom() const { return FZoom; }
  // The next zoom step above (in) or below the scale shown now, the picture's
  // point at device pixel at staying there; nothing past the last step.
  void StepZoom(bool in, QPoint at);
  // The scale shown, for a person: "100%", "67%", "fit 10%".
  QString ScaleText() const;
  // Where the picture lies, in device pixels of the view, and at what size.
  QRect PictureRect();
  // Whether a drag moves the picture: larger than the view.
  bool Pannable() const;
  // The fitted picture drawn now, once made; null before.
  const TBitmap* Fitted() const { return FFitted.get(); }
  // Returns once the fitting under way, if any, is done and shown.
  void WaitForFit();
  // The view's size in device pixels, which a fitted picture is made for.
  TFitSize DeviceSize() const;
  // A fitted picture of the picture now shown, made elsewhere (FitPicture's
  // pixels); shown while the view keeps the size it was made for.
  void OfferFitted(std::shared_ptr<const TBitmap> fitted);
  // While the picture shows at its natural size, has its fitted picture made
  // aside, after more pressing work, so that a switch to fit finds it made.
  void PrepareFit();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 signals:
  // The mode or zoom changed.
  void ScaleChanged();

 private:
  enum class TBitmapState { Wanted, Ready, Failed };
  struct TFitJob;
  void PictureChanged();
  const TBitmap* PictureBitmap();
  void KeepRowsDecodedSoFar(const TGraphic& graphic);
  TFitSize NaturalSize() const;
  // The fitted size of the picture in this view; the picture's own when it fits.
  TFitSize ShownSize() const;
  void StartFit(TFitSize size, bool soon = true, TFitRect part = {});
  // The part of an averaged picture of this size at this place to ask for:
  // the whole when it costs little more than the view, else what is in view
  // and an eighth of a view around it, so that a short pan needs nothing new.
  TFitRect PartToAverage(const QRect& at) const;
  // What of a picture at this place lies in the view (grown by around), in
  // the picture's own pixels.
  QRect PartInView(const QRect& at, QMargins around = {}) const;
  // Whether the averaged picture made covers what of it is in view.
  bool FittedCovers(const QRect& at) const;
  void TakeFit(const std::shared_ptr<TFitJob>& job, std::shared_ptr<const TBitmap> fitted);
  void DropFit();
  void UpdateCursor();
  void DrawMagnified(QPainter& painter, const TBitmap& picture, const QRect& at);

  TImage& FImage;
  // The picture as pixels, shared with the picture's own decoded store.
  TBitmap FBitmap;
  TBitmapState FState = TBitmapState::Wanted;
  TViewMode FMode = TViewMode::Natural;
  TZoom FZoom;
  // Ctrl+wheel turned short of a whole notch.
  int FZoomWheel = 0;
  // How far the picture was dragged from the centre, in device pixels.
  TFitPoint FPan;
  bool FDragging = false;
  QPoint FDragFrom;
  // The fitted picture shown and the one being made, for the picture and
  // size they were asked for, and the part of it made (empty: the whole).
  std::shared_ptr<const TBitmap> FFitted;
  TFitSize FFittedSize;
  TFitRect FFittedPart;
  std::shared_ptr<TFitJob> FFitJob;
  TAverager* FAverager = nullptr;
};
