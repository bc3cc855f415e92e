// TThumbnails: the paint. The whole control is composed in an off-screen
// bitmap and copied to the screen in one step, so no half-drawn grid shows.
// Nothing is cached between paints: every visible slide is asked for anew.
#include <optional>
#include <string>

#include "Tesk_Thumbnails.h"
#include "toolkit/DevicePixels.h"

namespace {

// The fixed bevel colours of every frame the grid draws.
void DrawGridFrame(TCanvas& Canvas, TFrameStyle Style, int Left, int Top, int Right, int Bottom) {
  DrawFrame(Canvas, Style, Left, Top, Right, Bottom, clWhite, clSilver, clGray, clBlack, clBlack);
}

// Outline and inside in one colour over X1..X2-1, Y1..Y2-1.
void FillArea(TCanvas& Canvas, TColor Color, int X1, int Y1, int X2, int Y2) {
  Canvas.Pen.Color = Color;
  Canvas.Brush.SetColor(Color);
  Canvas.Rectangle(X1, Y1, X2, Y2);
}

// Owns whatever bitmap the image-buffer variable refers to, so that the
// bitmap a handler handed over is freed also when a handler throws.
class ImageBufferSlot {
 public:
  ImageBufferSlot() : Ref(new TBitmap) {}
  ~ImageBufferSlot() { delete Ref; }
  ImageBufferSlot(const ImageBufferSlot&) = delete;
  ImageBufferSlot& operator=(const ImageBufferSlot&) = delete;
  void Free() {
    delete Ref;
    Ref = nullptr;
  }
  TBitmap* Ref;
};

// Holds a value for the paint under way until it ends, however it ends.
template <class T>
class DuringPaint {
 public:
  DuringPaint(T& field, T value) : Field(field) { Field = value; }
  ~DuringPaint() { Field = T(); }
  DuringPaint(const DuringPaint&) = delete;
  DuringPaint& operator=(const DuringPaint&) = delete;

 private:
  T& Field;
};

}  // namespace

void TThumbnails::Paint() {
  // A paint inside a paint (a setter called from a handler, or the column
  // renormalisation) is turned away for the whole outer paint: a handler
  // that changes a property on every request would otherwise start nested
  // paints in a cascade. After an exception in a handler FPainting stays set,
  // so exactly one later paint is lost, and that one clears it.
  if (FInPaint) return;
  const bool shown = Visible() || (ComponentState() & csDesigning);
  if (!shown || FPainting) {
    FPainting = false;
    return;
  }
  FPainting = true;
  const DuringPaint inPaint(FInPaint, true);
  Canvas().Font = Font;
  TBitmap offscreen(Width(), Height());
  ImageBufferSlot imageBuffer;
  TCanvas& canvas = offscreen.Canvas();
  canvas.Font = Font;
  // On a finer screen the grid is composed as on any other; its pictures
  // are also made finer, to replace theirs where nothing covers them.
  std::optional<TFinePictures> fine;
  if (PixelRatio() > 1) fine.emplace(canvas, PixelRatio());
  const DuringPaint finePictures(FFinePictures, fine ? &*fine : nullptr);
  FillArea(canvas, FColorBackGnd, 0, 0, Width(), Height());
  UpdateLayoutCounts();
  if (OnFirstImageRequest) OnFirstImageRequest(this);
  ComposeSlides(canvas, imageBuffer.Ref);
  if (OnLastImageRequest) OnLastImageRequest(this);
  imageBuffer.Free();
  DrawBorderBands(canvas);
  // The frame stops at Width-2/Height-2: the last column and row keep the background.
  DrawGridFrame(canvas, FFrameStyle, 0, 0, Width() - 2, Height() - 2);
  Canvas().Draw(0, 0, offscreen);
  if (fine) fine->PutInto(FineSurface());
  FPainting = false;
  PaintFinished();
}

// Column by column, not in number order.
void TThumbnails::ComposeSlides(TCanvas& Canvas, TBitmap*& ImgBuffer) {
  const int columns = FNumColumns;
  const int rows = FNumRows;
  for (int column = 1; column <= columns; ++column) {
    for (int row = 1; row <= rows; ++row) DrawSlideCell(Canvas, column, row, ImgBuffer);
  }
}

std::vector<int> TThumbnails::SlidesInView() const {
  std::vector<int> slides;
  for (int column = 1; column <= FNumColumns; ++column) {
    for (int row = 1; row <= FNumRows; ++row) {
      if (const int thumbID = SlideInCell(column, row)) slides.push_back(thumbID);
    }
  }
  return slides;
}

int TThumbnails::SlideInCell(int Column, int Row) const {
  const std::int64_t id = CellThumbID(Column, Row);
  return id < FMin || id > FMax ? 0 : int(id);
}

// Cells out of Min..Max raise nothing and keep the background.
void TThumbnails::DrawSlideCell(TCanvas& Canvas, int Column, int Row, TBitmap*& ImgBuffer) {
  const int thumbID = SlideInCell(Column, Row);
  if (thumbID == 0) return;
  const int x = int(CellLeft(Column - 1));
  const int y = int(CellTop(Row - 1));

  TImageRequestProcessing howToProcess = irpShowEmpty;
  int markIt = -1;
  if (OnImageRequest) OnImageRequest(this, thumbID, howToProcess, markIt, ImgBuffer);

  if (howToProcess != irpShowNothing) DrawCover(Canvas, thumbID, x, y);
  Canvas.Pen.Color = clBlack;
  if (howToProcess == irpShowEmpty) {
    DrawNumberCard(Canvas, thumbID, x, y);
  } else if (howToProcess == irpShowSlide) {
    DrawPicture(Canvas, ImgBuffer, x, y);
  }
  if (markIt != -1) {
    Canvas.Pen.Color = FColorMark;
    DrawMarker(Canvas, std::uint8_t(markIt & 0xFF), x + 10, y + 12);
  }
  if (OnSlideRendered) OnSlideRendered(this, Canvas, x, y, thumbID);
}

// The box covers X..X+B and Y..Y+B, both ends included.
void TThumbnails::DrawCover(TCanvas& Canvas, int ThumbID, int X, int Y) {
  const int box = BoxSide();
  FillArea(Canvas, Flag(ThumbID) ? FColorSelected : FColorCover, X, Y, X + box + 1, Y + box + 1);
  DrawGridFrame(Canvas, FOuterFrameStyle, X, Y, X + box, Y + box);
}

// A white card SlideSize wide and SlideSize - 40 high, the number centred on the box.
void TThumbnails::DrawNumberCard(TCanvas& Canvas, int ThumbID, int X, int Y) {
  const int margin = FSlideMargin;
  const int x2 = X + BoxSide();
  const int y2 = Y + BoxSide();
  Canvas.Brush.SetColor(clWhite);
  Canvas.Rectangle(X + margin, Y + margin + 20, x2 - margin, y2 - margin - 20);
  Canvas.Font.Color = clBlack;
  const std::string text = std::to_string(ThumbID);
  const int w = Canvas.TextWidth(text);
  const int h = Canvas.TextHeight(text);
  Canvas.TextOut((X + x2) / 2 - w / 2, (Y + y2) / 2 - h / 2, text);
}

// Scaled into the SlideSize square keeping its proportions, centred across
// the short side.
void TThumbnails::DrawPicture(TCanvas& Canvas, const TBitmap* Picture, int X, int Y) {
  if (!Picture || Picture->Height() <= 0 || Picture->Width() <= 0) return;
  const int w = Picture->Width();
  const int h = Picture->Height();
  const TSlidePictureSize scaled = SlidePictureSize(w, h, FSlideSize);
  const int margin = FSlideMargin;
  TRect r;
  r.Left = X + margin + (FSlideSize - scaled.Width) / 2;
  r.Top = Y + margin + (FSlideSize - scaled.Height) / 2;
  r.Right = r.Left + scaled.Width;
  r.Bottom = r.Top + scaled.Height;
  const int mode = FAntiAlias ? HALFTONE : COLORONCOLOR;
  Canvas.SetStretchBltMode(mode);
  Canvas.StretchBlt(r.Left, r.Top, scaled.Width, scaled.Height, *Picture, 0, 0, w, h, SRCCOPY);
  if (FFinePictures) FFinePictures->Add(*Picture, mode, r.Left, r.Top, scaled.Width, scaled.Height);
  DrawGridFrame(Canvas, FInnerFrameStyle, r.Left, r.Top, r.Right, r.Bottom);
}

// Cuts off what slides put into the top and bottom border; the left and
// right borders get no band.
void TThumbnails::DrawBorderBands(TCanvas& Canvas) {
  FillArea(Canvas, FColorBackGnd, 0, 0, Width(), kBorder);
  FillArea(Canvas, FColorBackGnd, 0, Height() - kBorder, Width(), Height());
}
