#pragma once
// A picture decoded straight into a bitmap of another size: its rows are
// stretched as they come, a band at a time, so the full picture is never
// held.
#include <atomic>
#include <memory>

#include "Graphics.h"
#include "Pictures.h"

// The picture decoded and stretched to width x height in the stretch mode
// (HALFTONE or COLORONCOLOR), as TCanvas::StretchBlt would draw the whole
// decoded (turned) picture; null when Stop was set. With no width or height the
// picture is decoded all the same, so that a failure raises as drawing it
// would, and the bitmap is empty. Raises what decoding raises.
std::shared_ptr<TBitmap> DecodeStretched(TGraphic& picture, int width, int height, int stretchMode,
                                         const std::atomic<bool>* Stop = nullptr);
