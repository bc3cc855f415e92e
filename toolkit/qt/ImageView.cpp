#include "toolkit/qt/ImageView.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"
#include "toolkit/qt/QtPixels.h"

// A fitting asked for: its size and the averager's request.
struct TImageView::TFitJob {
  TFitSize Size;
  TFitRect Part;
  TAverager::TRequestRef Request;
};

TImageView::TImageView(TImage& image, QWidget* parent) : QWidget(parent), FImage(image) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  FImage.OnChange = [this](TObject*) { PictureChanged(); };
}

TImageView::~TImageView() {
  // Its averaging would call back into this view.
  DropFit();
  FImage.OnChange = nullptr;
}

void TImageView::SetAverager(TAverager* averager) {
  DropFit();
  FAverager = averager;
  update();
}

void TImageView::SetMode(TViewMode mode) {
  FMode = mode;
  if (mode == TViewMode::Natural) FZoom = {};
  if (mode == TViewMode::Zoom && FZoom == TZoom{}) FMode = TViewMode::Natural;
  FPan = {};
  UpdateCursor();
  update();
  emit ScaleChanged();
}

void TImageView::StepZoom(bool in, QPoint at) {
  const TFitSize natural = NaturalSize();
  if (natural.Width <= 0 || FImage.Stretch) return;
  const TZoom now = FMode == TViewMode::Fit ? FittedScale(natural, DeviceSize()) : FZoom;
  const std::optional<TZoom> next = NextZoom(now.Num, now.Den, in);
  if (!next) return;
  const QRect before = PictureRect();
  FZoom = *next;
  FMode = FZoom == TZoom{} ? TViewMode::Natural : TViewMode::Zoom;
  const TFitSize after = ShownSize();
  FPan = {};
  if (FImage.Center && !before.isEmpty()) {
    // The picture's point under at keeps its place: the pan is where that
    // puts the picture less where centring would, and PannedOrigin keeps it
    // within the picture's edges.
    const double fx = double(at.x() - before.x()) / before.width();
    const double fy = double(at.y() - before.y()) / before.height();
    const TFitSize view = DeviceSize();
    FPan = {at.x() - int(std::lround(fx * after.Width)) - (view.Width - after.Width) / 2,
            at.y() - int(std::lround(fy * after.Height)) - (view.Height - after.Height) / 2};
  }
  UpdateCursor();
  update();
  emit ScaleChanged();
}

QString TImageView::ScaleText() const {
  const TFitSize natural = NaturalSize();
  if (natural.Width <= 0) return {};
  const TZoom scale = FMode == TViewMode::Fit ? FittedScale(natural, DeviceSize()) : FZoom;
  const long percent = std::lround(100.0 * scale.Num / scale.Den);
  return (FMode == TViewMode::Fit ? QStringLiteral("fit %1%") : QStringLiteral("%1%")).arg(percent);
}

void TImageView::PictureChanged() {
  FBitmap.Reset(0, 0);
  FState = TBitmapState::Wanted;
  FPan = {};
  DropFit();
  UpdateCursor();
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
  return FState == TBitmapState::Ready && !FBitmap.Empty() ? &FBitmap : nullptr;
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

TFitSize TImageView::DeviceSize() const {
  const qreal ratio = devicePixelRatioF();
  return {int(std::lround(width() * ratio)), int(std::lround(height() * ratio))};
}

// The picture's size as its header gives it: nothing is decoded before the
// view is drawn.
TFitSize TImageView::NaturalSize() const {
  const TGraphic* graphic = FImage.Picture().Graphic();
  if (!graphic || graphic->Empty()) return {};
  return {graphic->Width(), graphic->Height()};
}

TFitSize TImageView::ShownSize() const {
  const TFitSize natural = NaturalSize();
  if (FImage.Stretch || FMode == TViewMode::Natural) return natural;
  return FMode == TViewMode::Fit ? FittedSize(natural, DeviceSize()) : ZoomedSize(natural, FZoom);
}

QRect TImageView::PictureRect() {
  const TFitSize shown = ShownSize();
  if (shown.Width <= 0 || shown.Height <= 0) return {};
  if (!FImage.Center) return {0, 0, shown.Width, shown.Height};
  const TFitPoint at = PannedOrigin(DeviceSize(), shown, FPan);
  return {at.X, at.Y, shown.Width, shown.Height};
}

bool TImageView::Pannable() const {
  if (FImage.Stretch || !FImage.Center) return false;
  const TFitSize picture = ShownSize(), view = DeviceSize();
  return picture.Width > view.Width || picture.Height > view.Height;
}

void TImageView::UpdateCursor() {
  if (FDragging) {
    setCursor(Qt::ClosedHandCursor);
  } else if (Pannable()) {
    setCursor(Qt::OpenHandCursor);
  } else {
    unsetCursor();
  }
}

void TImageView::DropFit() {
  if (FFitJob && FAverager) FAverager->DropAveraging(FFitJob->Request);
  FFitJob = nullptr;
  FFitted = nullptr;
  FFittedSize = {};
  FFittedPart = {};
}

void TImageView::StartFit(TFitSize size, bool soon, TFitRect part) {
  if (FFitJob && FFitJob->Size == size && FFitJob->Part == part) return;
  if (FFitJob && FAverager) FAverager->DropAveraging(FFitJob->Request);
  auto job = std::make_shared<TFitJob>();
  job->Size = size;
  job->Part = part;
  FFitJob = job;
  if (!FAverager) {
    TakeFit(job, FitPicture(FBitmap, size, nullptr, part));
    return;
  }
  // The averager may be done before it returns.
  job->Request = FAverager->StartAveraging(
      FBitmap, size,
      // Weak: the job holds the request that holds this.
      [this, wanted = std::weak_ptr<TFitJob>(job)](std::shared_ptr<const TBitmap> fitted) {
        if (const std::shared_ptr<TFitJob> job = wanted.lock()) TakeFit(job, std::move(fitted));
      },
      soon, part);
}

void TImageView::PrepareFit() {
  if (FMode != TViewMode::Natural || FImage.Stretch || !FAverager || !FAverager->AveragesAside()) return;
  const TFitSize natural = NaturalSize(), fitted = FittedSize(natural, DeviceSize());
  if (fitted == natural || fitted.Width <= 0 || (FFitted && FFittedSize == fitted && FFittedPart.Empty())) return;
  if (PictureBitmap()) StartFit(fitted, false);
}

// No picture made (no memory for it): the sampled stand-in stays, and the
// job with it, so that paints do not ask again.
void TImageView::TakeFit(const std::shared_ptr<TFitJob>& job, std::shared_ptr<const TBitmap> fitted) {
  if (job != FFitJob || !fitted) return;
  FFitJob = nullptr;
  FFitted = std::move(fitted);
  FFittedSize = job->Size;
  FFittedPart = job->Part;
  update();
}

void TImageView::OfferFitted(std::shared_ptr<const TBitmap> fitted) {
  if (!fitted) return;
  DropFit();
  FFittedSize = {fitted->Width(), fitted->Height()};
  FFitted = std::move(fitted);
  update();
}

void TImageView::WaitForFit() {
  if (FFitJob && FAverager) FAverager->WaitForAveraging(FFitJob->Request);
}

void TImageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ToQColor(clBtnFace));
  const TBitmap* bitmap = PictureBitmap();
  if (!bitmap) return;
  const qreal ratio = devicePixelRatioF();
  if (FImage.Stretch) {
    painter.drawImage(rect(), WrapPixels(*bitmap, ratio));
    return;
  }
  const QRect at = PictureRect();
  if (at.isEmpty()) return;
  const QRectF logical(at.x() / ratio, at.y() / ratio, at.width() / ratio, at.height() / ratio);
  if (at.width() == bitmap->Width() && at.height() == bitmap->Height()) {
    painter.drawImage(logical.topLeft(), WrapPixels(*bitmap, ratio));
    return;
  }
  if (FMode == TViewMode::Zoom && FZoom.Num > FZoom.Den) {
    DrawMagnified(painter, *bitmap, at);
    return;
  }
  // Sampled, which costs only the view's pixels, until the averaged one comes.
  if (!FittedCovers(at)) StartFit({at.width(), at.height()}, true, PartToAverage(at));
  if (FittedCovers(at)) {
    painter.drawImage(QPointF((at.x() + FFittedPart.X) / ratio, (at.y() + FFittedPart.Y) / ratio),
                      WrapPixels(*FFitted, ratio));
  } else {
    painter.drawImage(logical, WrapPixels(*bitmap, 1));
  }
}

QRect TImageView::PartInView(const QRect& at, QMargins around) const {
  const TFitSize view = DeviceSize();
  return QRect(0, 0, view.Width, view.Height)
      .marginsAdded(around)
      .translated(-at.topLeft())
      .intersected(QRect(0, 0, at.width(), at.height()));
}

TFitRect TImageView::PartToAverage(const QRect& at) const {
  const TFitSize view = DeviceSize();
  if (std::int64_t(at.width()) * at.height() <= 2 * std::int64_t(view.Width) * view.Height) return {};
  const int x = view.Width / 8, y = view.Height / 8;
  const QRect part = PartInView(at, {x, y, x, y});
  return {part.x(), part.y(), part.width(), part.height()};
}

bool TImageView::FittedCovers(const QRect& at) const {
  if (!FFitted || FFittedSize != TFitSize{at.width(), at.height()}) return false;
  if (FFittedPart.Empty()) return true;
  return QRect(FFittedPart.X, FFittedPart.Y, FFittedPart.Width, FFittedPart.Height).contains(PartInView(at));
}

// Only the part in view is made: a magnified picture may be many times the
// memory of the picture itself.
void TImageView::DrawMagnified(QPainter& painter, const TBitmap& picture, const QRect& at) {
  const TFitSize view = DeviceSize();
  const QRect visible = at.intersected(QRect(0, 0, view.Width, view.Height));
  if (visible.isEmpty()) return;
  TBitmap part(visible.width(), visible.height(), TPixelInit::Unset);
  MagnifyPart(picture, FZoom, {visible.x() - at.x(), visible.y() - at.y()}, part);
  const qreal ratio = devicePixelRatioF();
  painter.drawImage(QPointF(visible.x() / ratio, visible.y() / ratio), WrapPixels(part, ratio));
}

void TImageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateCursor();
}

void TImageView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !Pannable()) return;
  FDragging = true;
  FDragFrom = event->position().toPoint();
  UpdateCursor();
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
  if (!FDragging) return;
  const QPoint to = event->position().toPoint();
  const qreal ratio = devicePixelRatioF();
  FPan.X += int(std::lround((to.x() - FDragFrom.x()) * ratio));
  FPan.Y += int(std::lround((to.y() - FDragFrom.y()) * ratio));
  FDragFrom = to;
  update();
}

void TImageView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !FDragging) return;
  FDragging = false;
  UpdateCursor();
}

void TImageView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  FDragging = false;
  SetMode(FMode == TViewMode::Fit ? TViewMode::Natural : TViewMode::Fit);
}

void TImageView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F && !(event->modifiers() & ~Qt::KeypadModifier)) {
    SetMode(TViewMode::Fit);
  } else if (event->key() == Qt::Key_1 && !(event->modifiers() & ~Qt::KeypadModifier)) {
    SetMode(TViewMode::Natural);
  } else if (const int key = event->key(); (key == Qt::Key_Plus || key == Qt::Key_Equal || key == Qt::Key_Minus) &&
                                           !(event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier))) {
    const TFitSize view = DeviceSize();
    StepZoom(key != Qt::Key_Minus, {view.Width / 2, view.Height / 2});
  } else {
    QWidget::keyPressEvent(event);
  }
}

// Ctrl+wheel zooms about the pointer, a step a notch; the plain wheel is the
// window's.
void TImageView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    event->ignore();
    return;
  }
  const qreal ratio = devicePixelRatioF();
  const QPoint at(int(std::lround(event->position().x() * ratio)), int(std::lround(event->position().y() * ratio)));
  FZoomWheel += event->angleDelta().y();
  for (; FZoomWheel >= QWheelEvent::DefaultDeltasPerStep; FZoomWheel -= QWheelEvent::DefaultDeltasPerStep) {
    StepZoom(true, at);
  }
  for (; FZoomWheel <= -QWheelEvent::DefaultDeltasPerStep; FZoomWheel += QWheelEvent::DefaultDeltasPerStep) {
    StepZoom(false, at);
  }
}
