#pragma once
// The whole picture in a view: the size it takes when fitted (shrunk only,
// proportions kept) and the fitted pixels, made by averaging, so that any
// thread may make them from a decoded picture it only reads.
#include <atomic>
#include <functional>
#include <memory>

#include "toolkit/Graphics.h"
#include "toolkit/Pictures.h"

struct TFitSize {
  int Width = 0;
  int Height = 0;
  bool operator==(const TFitSize&) const = default;
};

// The picture's size when it fits the view: unchanged when it already does,
// else shrunk by the tighter side's ratio, the other side rounded to the
// nearest pixel (halves up) and at least 1.
TFitSize FittedSize(TFitSize picture, TFitSize view);

// A rectangle of an averaged picture, in its own pixels; empty for the whole.
struct TFitRect {
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TFitRect&) const = default;
  bool Empty() const { return Width <= 0 || Height <= 0; }
};

// The picture averaged down to the size (the grid's HALFTONE rule); null for
// an empty picture or size, or when Stop was set: it is looked at before each
// band of rows, so an unwanted picture costs at most one band more. Given a
// part, only that part of the averaged picture is made (the same pixels), at
// the cost of the source pixels under it: a zoom larger than the view pays
// for what is in view, not for the whole.
std::shared_ptr<const TBitmap> FitPicture(const TBitmap& picture, TFitSize size,
                                          const std::atomic<bool>* Stop = nullptr, TFitRect part = {});

// Makes averaged pictures (FitPicture's pixels) of any size away from the GUI
// thread, for a view that shows one. Every member is called on the GUI
// thread, and so is done, unless the request was dropped first.
class TAverager {
 public:
  struct TRequest {
    virtual ~TRequest() = default;
  };
  using TRequestRef = std::shared_ptr<TRequest>;
  // Given the picture made, or null when none could be (no memory for it).
  using TDone = std::function<void(std::shared_ptr<const TBitmap> averaged)>;

  virtual ~TAverager() = default;
  // Whether pictures are made away from the calling thread.
  virtual bool AveragesAside() const = 0;
  // The picture's pixels are shared, not copied; done may be called before
  // this returns. A picture not wanted soon is made after the work that is.
  // Given a part, only that part is made (FitPicture's part).
  virtual TRequestRef StartAveraging(const TBitmap& picture, TFitSize size, TDone done, bool soon = true,
                                     TFitRect part = {}) = 0;
  // Done is not called after this; a running averaging stops within a band.
  virtual void DropAveraging(const TRequestRef& request) = 0;
  // Returns once done was called, or at once for a request dropped.
  virtual void WaitForAveraging(const TRequestRef& request) = 0;
};

// Decodes the picture ahead (TGraphic::DecodeAhead) and gives what
// FitPicture would give for its decoded pixels and the fitted size in this
// view, made from the rows as they are decoded, while they are in the
// processor's cache; null when the picture fits the view, or no rows came.
std::shared_ptr<const TBitmap> DecodeFitting(TGraphic& picture, TFitSize view, const std::atomic<bool>* Stop);

// The picture's top-left corner in the view, in the view's pixels: centred
// (truncating, so an odd difference leaves the extra pixel right and below),
// moved by the pan offset but only along a side where the picture is larger
// than the view, and never so far that the view shows beyond the picture.
// The offset is clamped to what it can move.
struct TFitPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TFitPoint&) const = default;
};
TFitPoint PannedOrigin(TFitSize view, TFitSize picture, TFitPoint& pan);
