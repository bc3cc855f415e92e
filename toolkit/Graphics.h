#pragma once
// Bitmaps and the canvas that draws on them, with the exact pixel rules of
// the system: lines leave out their end point, rectangles and ellipses cover
// X1..X2-1 and Y1..Y2-1, everything is clipped to the bitmap.
// Pixels are stored 32 bits each as 0x??RRGGBB (Qt's RGB32 layout, the top
// byte ignored), so Qt can wrap a bitmap without copying it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "TurnedPixels.h"
#include "Types.h"

class TCanvas;

enum TBrushStyle { bsSolid, bsClear };
enum TPixelFormat { pfDevice, pf8bit, pf24bit, pf32bit };

constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr std::uint32_t SRCCOPY = 0x00CC0020;

// 0x00BBGGRR (system colours resolved) to a stored pixel 0xFFRRGGBB, and back.
std::uint32_t ColorToPixel(TColor c);
TColor PixelToColor(std::uint32_t pixel);

class TPen {
 public:
  TColor Color = clBlack;
  int Width = 1;
};

// Setting the style to clear makes the colour white; setting a colour makes
// a clear brush solid.
class TBrush {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor c) {
    FColor = c;
    FStyle = bsSolid;
  }
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle s) {
    FStyle = s;
    if (s == bsClear) FColor = clWhite;
  }

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
};

class TFont {
 public:
  std::string Name = "DejaVu Sans";  // a sans font standing in for "MS Sans Serif"
  int Height = 13;                   // character height in pixels
  TColor Color = clWindowText;
  bool Bold = false;
  bool operator==(const TFont&) const = default;
};

// Whether a new bitmap must start black, or may reuse memory that held
// other pixels (fresh memory comes black anyway: the system gives it zeroed).
enum class TPixelInit { Black, Unset };

// Pixel store shared between bitmaps until one of them writes (copy on write).
struct TPixelStore {
  struct FreeDeleter {
    void operator()(std::uint32_t* p) const;
  };
  TPixelStore(int width, int height, TPixelInit init = TPixelInit::Black);  // raises EOutOfMemory
  int Width = 0;
  int Height = 0;
  std::unique_ptr<std::uint32_t[], FreeDeleter> Pixels;  // row-major, Width * Height
  bool MadeBlack = true;                                 // every pixel was 0 when the store was made
};

// Gives the memory of freed pictures back to the system: once the program
// goes idle, its resident size should not remember how many there were.
void ReturnFreePixelMemory();
// Whether the last large pixel store freed is kept for the next and the
// heaps are trimmed only once the program has grown (on, the default), or
// every store goes back to the heap and the heaps are trimmed whenever
// ReturnFreePixelMemory is called: off only to measure what it buys.
void KeepFreedPixelStores(bool on);

class TBitmap : public TPersistent {
 public:
  TBitmap();
  TBitmap(int width, int height, TPixelInit init = TPixelInit::Black);
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  std::string ClassName() const override { return "TBitmap"; }

  int Width() const { return FStore ? FStore->Width : 0; }
  int Height() const { return FStore ? FStore->Height : 0; }
  bool Empty() const { return Width() == 0 || Height() == 0; }
  // New size; the overlapping part keeps its pixels, new pixels are black.
  // Raises EOutOfMemory when the store cannot be had.
  void SetSize(int width, int height);
  // Replaces the content with a new black picture of this size (no copy).
  void Reset(int width, int height);

  // Read access never copies; write access first detaches a shared store.
  const std::uint32_t* ScanLine(int y) const {
    return FStore->Pixels.get() + std::size_t(y) * std::size_t(FStore->Width);
  }
  std::uint32_t* ScanLine(int y) { return MutableBits() + std::size_t(y) * std::size_t(Width()); }
  const std::uint32_t* Bits() const { return FStore ? FStore->Pixels.get() : nullptr; }
  std::uint32_t* MutableBits();

  // How the picture was made (8 bits with a palette or 24 bits); the pixels
  // are 32-bit either way.
  TPixelFormat PixelFormat = pf24bit;

  TCanvas& Canvas();

  // From a bitmap: shares the store. From another graphic: asks it to copy
  // itself in (pictures decode here).
  void Assign(const TPersistent* Source) override;
  bool SharesStoreWith(const TBitmap& other) const { return FStore && FStore == other.FStore; }
  // Whether the pixels were all black when the store was made: always, unless
  // it was made TPixelInit::Unset and got reused memory.
  bool MadeBlack() const { return !FStore || FStore->MadeBlack; }

  // Called after the pixels were changed through the canvas.
  std::function<void()> OnChange;

 private:
  friend class TCanvas;
  std::shared_ptr<TPixelStore> FStore;
  std::unique_ptr<TCanvas> FCanvas;
};

class TCanvas {
 public:
  explicit TCanvas(TBitmap& target) : FTarget(target) {}
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TPen Pen;
  TBrush Brush;
  TFont Font;
  TPoint PenPos;

  void MoveTo(int x, int y) { PenPos = {x, y}; }
  // From PenPos to (x, y), leaving out (x, y), which becomes PenPos.
  void LineTo(int x, int y);
  // Outline in the pen, inside in the brush (none with a clear brush);
  // covers x1..x2-1, y1..y2-1.
  void Rectangle(int x1, int y1, int x2, int y2);
  // Fills r.Left..r.Right-1, r.Top..r.Bottom-1 with the brush, no outline.
  void FillRect(const TRect& r);
  void Ellipse(int x1, int y1, int x2, int y2);
  void Polygon(const std::vector<TPoint>& points);
  TColor Pixel(int x, int y) const;  // 0xFFFFFFFF (clNone) outside the bitmap
  void SetPixel(int x, int y, TColor c);

  // Text with the top-left of its cell at (x, y), in the font colour; the
  // brush fills the cell behind it unless the brush is clear.
  void TextOut(int x, int y, const std::string& text);
  int TextWidth(const std::string& text) const;
  int TextHeight(const std::string& text) const;

  // Copies a bitmap with its top-left at (x, y).
  void Draw(int x, int y, const TBitmap& source);
  int SetStretchBltMode(int mode);  // returns the previous mode
  int StretchBltMode() const { return FStretchMode; }
  // Copies source rectangle (sx, sy, sw, sh) into (dx, dy, dw, dh):
  // HALFTONE averages the source pixels under each target pixel,
  // COLORONCOLOR samples one. Negative sizes draw nothing.
  void StretchBlt(int dx, int dy, int dw, int dh, const TBitmap& source, int sx, int sy, int sw, int sh,
                  std::uint32_t rop = SRCCOPY);

  // Limits what pen and brush draw (lines, rectangles, ellipses, polygons,
  // pixels, text) to r, right and bottom exclusive, until reset; bitmap
  // copies are not limited.
  void SetClipRect(const TRect& r) {
    FClip = r;
    FClipped = true;
  }
  void ResetClipRect() { FClipped = false; }
  const TRect* ClipRect() const { return FClipped ? &FClip : nullptr; }

  // True on the printing device's canvas; no canvas of this program is one.
  bool IsPrinterCanvas = false;

  // Told of every block of pixels (right and bottom exclusive, within the
  // bitmap) as the canvas sets it, whatever it sets it to: a drawing at a
  // finer device pixel ratio follows what was drawn over what by it.
  std::function<void(const TRect&)> OnPixelsSet;

  TBitmap& Target() { return FTarget; }

 private:
  void Changed();
  void PixelsSet(int x1, int y1, int x2, int y2) {
    if (OnPixelsSet) OnPixelsSet(TRect{x1, y1, x2, y2});
  }
  void HLine(int x1, int x2, int y, std::uint32_t pixel);  // x1..x2 inclusive, clipped
  void VLine(int x, int y1, int y2, std::uint32_t pixel);  // y1..y2 inclusive, clipped
  void Plot(int x, int y, std::uint32_t pixel);
  // The steps of LineTo; each leaves out the end point.
  void LevelRun(int x0, int x1, int y, std::uint32_t pixel);
  void UprightRun(int x, int y0, int y1, std::uint32_t pixel);
  void GeneralLine(TPoint from, TPoint to, std::uint32_t pixel);
  TRect Drawable() const;  // the target, within the clip rectangle

  TBitmap& FTarget;
  TRect FClip;
  bool FClipped = false;
  int FStretchMode = COLORONCOLOR;
};

// StretchBlt of the whole source onto the target at (dx, dy), dw x dh, in
// the mode (HALFTONE or COLORONCOLOR), without a canvas: only the target's
// pixels under it are computed, exactly as StretchBlt would.
void StretchInto(TBitmap& target, int dx, int dy, int dw, int dh, const TBitmap& source, int mode);

// StretchBlt of a whole picture onto a whole bitmap, for a picture that
// arrives a row at a time, top down: the same pixels, with only the rows
// under the target row being made held, so the picture itself is never kept.
// With a turn, the rows are the stored rows of a picture that is turned
// before it is stretched: the target gets the pixels StretchBlt gives for
// the turned picture, and is complete once the last row came.
class TRowStretcher {
 public:
  // Nothing is drawn unless every size is positive.
  TRowStretcher(TBitmap& target, int sourceWidth, int sourceHeight, int mode, TTurn turn = {});
  ~TRowStretcher();
  TRowStretcher(const TRowStretcher&) = delete;
  TRowStretcher& operator=(const TRowStretcher&) = delete;
  // The next count source rows, sourceWidth pixels each, one after another.
  void AddRows(const std::uint32_t* rows, int count) noexcept;

 private:
  struct TState;
  struct TTurnedTarget;
  std::unique_ptr<TTurnedTarget> FTurned;  // declared first: the state writes into it
  std::unique_ptr<TState> F;
};
