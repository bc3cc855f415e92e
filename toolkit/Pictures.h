#pragma once
// Pictures loaded from files, and the picture holder that picks the picture
// class by the file's extension.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "FileData.h"
#include "Graphics.h"
#include "SysUtils.h"
#include "TurnedPixels.h"

// A picture of some file format. Assigning it to a TBitmap copies the picture
// in (decoding it if need be).
class TGraphic : public TPersistent {
 public:
  std::string ClassName() const override { return "TGraphic"; }
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  bool Empty() const { return Width() == 0 || Height() == 0; }
  // The Exif orientation the picture is shown turned by (TurnedPixels.h):
  // Width(), Height(), Draw and the decoded picture are the turned
  // picture's, while DecodeRows and DecodeAheadWatched hand the rows as
  // stored, StoredWidth() pixels each.
  virtual int Orientation() const { return 1; }
  int StoredWidth() const { return TTurn{Orientation()}.TurnedWidth(Width(), Height()); }
  int StoredHeight() const { return TTurn{Orientation()}.TurnedHeight(Width(), Height()); }
  // Raises on failure and then keeps what it held before.
  virtual void LoadFromFile(const std::string& fileName) = 0;
  // The same from an in-memory copy of a file; formats that cannot raise
  // EInvalidGraphic.
  virtual void LoadFromData(std::vector<std::uint8_t> data);
  // The screen's bits per pixel to decode for (a picture may decode to fewer
  // colours on a screen of few); 0 reads the screen's own where the picture
  // decodes, which must then be the GUI thread.
  int ScreenBitsPerPixel = 0;
  // Draws the picture at its natural size with its top-left corner at (x, y).
  virtual void Draw(TCanvas& canvas, int x, int y) = 0;
  // Decodes now, on whichever thread calls it, so that the first use finds
  // the picture done; a failure is kept and raised by that first use, where
  // decoding there would have raised it. A set Cancel stops decoding soon and
  // leaves it to the first use.
  virtual void DecodeAhead(const std::atomic<bool>* Cancel) { (void)Cancel; }
  // Decodes the picture afresh and hands its stored rows to Rows, top down,
  // a few at a time, StoredWidth() pixels apart, keeping none of them (their memory
  // serves the next); raises what drawing the picture would. False when
  // Cancel stopped it. Rows must not raise.
  using TRowsHandler = std::function<void(const std::uint32_t* rows, int count)>;
  virtual bool DecodeRows(const TRowsHandler& Rows, const std::atomic<bool>* Cancel);
  // DecodeAhead, handing Watch the rows as they are decoded, as DecodeRows
  // would, and after a failure the rows the picture keeps. True when every
  // row was handed; false when none was (Cancel stopped it, or the picture
  // has no row decoder or was decoded already).
  virtual bool DecodeAheadWatched(const TRowsHandler& Watch, const std::atomic<bool>* Cancel) {
    (void)Watch;
    DecodeAhead(Cancel);
    return false;
  }
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat {
  std::string Extension;  // without the dot
  std::string Description;
  TGraphicFactory Factory;
};

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;
  std::string ClassName() const override { return "TPicture"; }

  // Extensions are compared without regard to case; the most recently
  // registered format wins.
  static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                 TGraphicFactory factory);
  // Registered formats, oldest first.
  static const std::vector<TFileFormat>& FileFormats();

  // Creates the graphic registered for the file's extension and loads it;
  // only a successful load replaces the previous graphic. An unknown
  // extension raises EInvalidGraphic "Unknown picture file extension (.ext)".
  void LoadFromFile(const std::string& fileName);
  // The graphic LoadFromFile would take in, loaded but not yet taken in; safe
  // on any thread once the formats are registered.
  static std::unique_ptr<TGraphic> LoadGraphic(const std::string& fileName);
  // The same for a path the path resolver already gave (ResolvedPath),
  // opened as given: reads no global, so any thread may call it.
  static std::unique_ptr<TGraphic> LoadResolvedGraphic(const std::string& path);
  // Takes in a loaded graphic (or none) as LoadFromFile does.
  void SetGraphic(std::unique_ptr<TGraphic> graphic);

  TGraphic* Graphic() const { return FGraphic.get(); }
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }

  // Raised after a new graphic was loaded.
  TNotifyEvent OnChange;

 protected:
  // Into a TBitmap: the graphic's picture; an empty picture empties it.
  void AssignTo(TPersistent* Dest) const override;

 private:
  std::unique_ptr<TGraphic> FGraphic;
};

// Registers the JPEG picture class for "jpeg" and "jpg" (toolkit/Jpeg.cpp).
void RegisterJpegFormat();
