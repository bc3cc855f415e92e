#pragma once
// TThumbnails: a grid of numbered slides that asks its owner, on every paint,
// how each visible slide is to be shown and for its picture. It keeps no
// pictures; it keeps the layout, the scroll position, a focused slide under
// the pointer and one selection flag per slide.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Tesk_dstruct.h"
#include "Tesk_teskbase.h"
#include "toolkit/Controls.h"

class TFinePictures;

enum TSlideSelectMode : std::uint8_t { ssmDisabled, ssmSingle, ssmMultiple };

// How one slide is shown, as the image-request handler answers.
enum TImageRequestProcessing : std::uint8_t {
  irpShowEmpty,      // cover, outer frame and a white card with the number
  irpShowSlide,      // cover, outer frame and the picture of the image buffer
  irpShowFrameOnly,  // cover and outer frame
  irpShowNothing     // the background shows through
};

static_assert(sizeof(TSlideSelectMode) == 1 && sizeof(TImageRequestProcessing) == 1);

// Raised once per slide in view while painting. HowToProcess comes in as
// irpShowEmpty and MarkIt as -1 (no marker; otherwise its low byte is the
// marker type). ImgBuffer refers to the paint's image buffer, one bitmap
// shared by every request of a paint and never reset between them. The
// handler may draw into it, or make the variable refer to a bitmap of its own
// (allocated with new) or to none: the grid deletes whatever the variable
// refers to when the paint ends, and the handler becomes responsible for the
// bitmap it replaced.
using TImageRequestEvent = std::function<void(TObject* Sender, int ThumbID, TImageRequestProcessing& HowToProcess,
                                              int& MarkIt, TBitmap*& ImgBuffer)>;
using TImageClickEvent = std::function<void(TObject* Sender, int X, int Y, int ThumbID)>;
// Canvas is the off-screen picture being composed; (X, Y) the slide's box origin.
using TSlideRenderedEvent = std::function<void(TObject* Sender, TCanvas& Canvas, int X, int Y, int ThumbID)>;
// The size a picture of Width x Height takes in a slide of SlideSize,
// keeping its proportions: its long side takes SlideSize (the width when the
// two are equal) and its short side its share of it, rounded to the nearest,
// halves to even. The paint draws pictures by this rule, and whoever makes
// slides ahead scales them by it, so a made slide is drawn 1:1.
struct TSlidePictureSize {
  int Width = 0;
  int Height = 0;
  bool operator==(const TSlidePictureSize&) const = default;
};
TSlidePictureSize SlidePictureSize(std::int64_t Width, std::int64_t Height, int SlideSize);

class TThumbnails : public TGraphicControl {
 public:
  explicit TThumbnails(TComponent* AOwner);
  ~TThumbnails() override;
  std::string ClassName() const override { return "TThumbnails"; }

  // Copies the layout, colours, range, scroll state and most events of another
  // grid (not its selection), then paints once.
  void Assign(const TPersistent* Source) override;

  // Composes the whole control off screen and copies it to Canvas.
  void Paint() override;

  // Published properties. Setters clamp, and store and repaint only when the
  // value changes (AntiAlias repaints always).
  TSlideSelectMode SlideSelectMode() const { return FSlideSelectMode; }
  void SetSlideSelectMode(TSlideSelectMode v);
  bool AntiAlias() const { return FAntiAlias; }
  void SetAntiAlias(bool v);
  TColor ColorBackGnd() const { return FColorBackGnd; }
  void SetColorBackGnd(TColor v);
  TColor ColorCover() const { return FColorCover; }
  void SetColorCover(TColor v);
  TColor ColorSelected() const { return FColorSelected; }
  void SetColorSelected(TColor v);
  TColor ColorFocus() const { return FColorFocus; }
  void SetColorFocus(TColor v);
  TColor ColorMark() const { return FColorMark; }
  void SetColorMark(TColor v);
  TColorScheme ColorScheme() const { return FColorScheme; }
  void SetColorScheme(TColorScheme v);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  void SetFrameStyle(TFrameStyle v);
  int FocusLinewidth() const { return FFocusLinewidth; }
  void SetFocusLinewidth(int v);
  int FocusedSlide() const { return FFocusedSlide; }
  TFrameStyle InnerFrameStyle() const { return FInnerFrameStyle; }
  void SetInnerFrameStyle(TFrameStyle v);
  int Max() const { return FMax; }
  void SetMax(int v);
  int Min() const { return FMin; }
  void SetMin(int v);
  TFrameStyle OuterFrameStyle() const { return FOuterFrameStyle; }
  void SetOuterFrameStyle(TFrameStyle v);
  int SlideSize() const { return FSlideSize; }
  void SetSlideSize(int v);
  int SlideDistance() const { return FSlideDistance; }
  void SetSlideDistance(int v);
  int SlideMargin() const { return FSlideMargin; }
  void SetSlideMargin(int v);

  TImageRequestEvent OnImageRequest;
  TImageClickEvent OnImageClick;
  TImageClickEvent OnImageDblClick;
  TNotifyEvent OnFocusChange;
  TNotifyEvent OnFirstImageRequest;
  TNotifyEvent OnLastImageRequest;
  TSlideRenderedEvent OnSlideRendered;

  // Scroll position in row units: the integer part is the slide that begins
  // the top row, the fraction how much of that row is scrolled away. The
  // setter takes a slide number (with a fraction) and normalises it.
  double ScrollPosition() const { return FScrollPosition; }
  void SetScrollPosition(double Value);

  // Column and row counts of the last paint.
  int NumColumns() const { return FNumColumns; }
  int NumRows() const { return FNumRows; }

  // The slides a paint requests, in its order (column by column), from the
  // layout it works with: from OnFirstImageRequest on, those of the paint
  // under way.
  std::vector<int> SlidesInView() const;

  // Top-left corner of a slide's box in the current view (no range check).
  void SlideOrigin(int ThumbID, int& X, int& Y) const;
  // The slide whose box contains the point, or 0.
  int SlideAtPos(int X, int Y) const;
  // Whether the slide's box lies wholly inside the border.
  bool SlideWhollyInView(int ThumbID) const;
  // The whole rows of slides the grid shows between its borders, at least 1.
  int RowsInView() const;
  // The scroll position that shows the slide's box wholly: the current one
  // when it does, else the one that puts its row at the top. (A slide before
  // the top row's first can have its origin on the top row, left of the grid.)
  double ScrollPositionShowing(int ThumbID) const;
  // Presses and releases the left button on the slide, as a person would: in
  // the middle of its box, or of the part of it inside the border.
  void ClickSlide(int ThumbID);

  // Selection: flag ThumbID - Min of the store is set for a selected slide.
  const TBitFld& Selection() const { return *FSelection; }
  int SelectAnchor() const { return FSelectAnchor; }
  void ClearSelection();
  // Selects the slide as a click on it would, with the Shift state of the
  // keys, and repaints; raises no OnImageClick (the keyboard's move).
  void SelectByKey(int ThumbID, bool Shift);

  // Focus outline, drawn straight on the control's canvas.
  void EraseFocus();
  void DrawFocus(int ThumbID);

  // Mouse input; the toolkit's own handling runs first in each.
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void WMLButtonUp(TWMMouse& Message) override;
  void WMLButtonDblClk(TWMMouse& Message) override;

 protected:
  void AssignTo(TPersistent* Dest) const override;

 private:
  // Layout of the current settings; see Tesk_ThumbnailsGeometry.cpp.
  static constexpr int kBorder = 10;  // around the cells on every side
  static std::int64_t RoundHalfEven(double Value);
  friend TSlidePictureSize SlidePictureSize(std::int64_t Width, std::int64_t Height, int SlideSize);
  int Pitch() const;
  int BoxSide() const;
  std::int64_t FirstSlide() const;
  int ScrolledPixels() const;
  int ColumnCountForWidth() const;
  void UpdateLayoutCounts();
  std::int64_t CellThumbID(int Column, int Row) const;
  // Box origin of the cell Column0 columns right of and Row0 rows below the
  // top-left one; paint, hit test and focus outline all place boxes by it.
  std::int64_t CellLeft(std::int64_t Column0) const;
  std::int64_t CellTop(std::int64_t Row0) const;
  // The slide of a cell, or 0 when its number lies out of Min..Max.
  int SlideInCell(int Column, int Row) const;
  int HitColumn(int X) const;
  std::int64_t HitRow(int Y) const;

  // Paint steps; see Tesk_ThumbnailsPaint.cpp.
  void ComposeSlides(TCanvas& Canvas, TBitmap*& ImgBuffer);
  void DrawSlideCell(TCanvas& Canvas, int Column, int Row, TBitmap*& ImgBuffer);
  void DrawCover(TCanvas& Canvas, int ThumbID, int X, int Y);
  void DrawNumberCard(TCanvas& Canvas, int ThumbID, int X, int Y);
  void DrawPicture(TCanvas& Canvas, const TBitmap* Picture, int X, int Y);
  void DrawBorderBands(TCanvas& Canvas);

  // Focus outline and selection clicks; see Tesk_ThumbnailsMouse.cpp.
  void DrawFocusOutline(int ThumbID);
  void SelectByClick(int ThumbID, int Keys);
  void SelectRange(int From, int To);
  void SetFlag(std::int64_t ThumbID, bool Value);
  bool Flag(std::int64_t ThumbID) const;

  void CopyFrom(const TThumbnails& Source);

  TSlideSelectMode FSlideSelectMode = ssmMultiple;
  bool FAntiAlias = true;
  TColor FColorBackGnd = clBtnFace;
  TColor FColorCover = clSilver;
  TColor FColorSelected = clNavy;
  TColor FColorFocus = clBlue;
  TColor FColorMark = clBlack;
  TColorScheme FColorScheme = csBWG;
  TFrameStyle FFrameStyle = fsLowered;
  TFrameStyle FInnerFrameStyle = fsLowered;
  TFrameStyle FOuterFrameStyle = fsRaised;
  int FFocusLinewidth = 1;
  int FFocusedSlide = 0;
  int FMin = 1;
  int FMax = 100;
  int FSlideSize = 120;
  int FSlideDistance = 2;
  int FSlideMargin = 7;

  double FScrollPosition = 1.0;
  int FNumColumns = 2;
  int FNumRows = 0;
  std::unique_ptr<TBitFld> FSelection;
  int FSelectAnchor = 0;
  bool FPainting = false;
  bool FInPaint = false;  // a paint is under way (cleared also when it throws)
  // The pictures of the paint under way, made finer, at ratios above 1.
  TFinePictures* FFinePictures = nullptr;
};
