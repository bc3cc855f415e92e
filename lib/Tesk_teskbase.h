#pragma once
// Base drawing unit of the component library: the library's root error,
// frame styles and their drawing, and the small marker glyphs.
#include <cstdint>

#include "toolkit/Graphics.h"
#include "toolkit/SysUtils.h"

// Root of every error the component library raises.
class ETeskError : public Exception {
 public:
  using Exception::Exception;
};

enum TFrameStyle : std::uint8_t { fsNone, fsSimple, fsLowered, fsRaised, fsEmbossed, fsEngraved };

enum TColorScheme : std::uint8_t { csBWG, csSystem };

// Closed one-pixel outline through the four corners (all inclusive), drawn
// with whatever pen the canvas holds; the pen ends at (Left, Top).
void DrawRectOutline(TCanvas& Canvas, int Left, int Top, int Right, int Bottom);

// Frame in one of the TFrameStyle styles on the inclusive rectangle. Bit 128
// of Style is ignored; values 6..127 draw nothing. The pen is left in the
// last colour set (LineColor, or the inner bottom/right bevel colour).
void DrawFrame(TCanvas& Canvas, std::uint8_t Style, int Left, int Top, int Right, int Bottom, TColor HighlightColor,
               TColor LightColor, TColor ShadowColor, TColor DarkColor, TColor LineColor);

// Small symbol centred on (X, Y) in the pen colour: types 0..51 are shapes,
// 52..255 a single character (200..209 the digits 0..9).
void DrawMarker(TCanvas& Canvas, std::uint8_t MarkerType, int X, int Y);
