#pragma once
// The window suites' browser window on a temporary folder with the error
// sink installed, driven through its real handlers; the heap in use.
#include <gtest/gtest.h>

#include <malloc.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QScrollBar>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "support/JpegMaker.h"
#include "support/Rgb.h"
#include "tools/TempDir.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"
#include "toolkit/SysUtils.h"
#include "toolkit/qt/ControlHost.h"
#include "toolkit/qt/ImageView.h"

#if defined(__SANITIZE_ADDRESS__)
#define GLIMMET_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLIMMET_UNDER_ASAN 1
#endif
#endif
#ifdef GLIMMET_UNDER_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();  // GCC ships no header for it
#endif

namespace browsertest {

using jpegmaker::Bytes;

inline const Rgb kRed{200, 30, 30};
inline const Rgb kGreen{30, 160, 40};
inline const Rgb kBlue{40, 60, 200};
inline const Rgb kYellow{220, 200, 40};
inline const Rgb kSilver{0xC0, 0xC0, 0xC0};  // the grid's cover colour
inline const Rgb kFace{0xF0, 0xF0, 0xF0};    // the scheme's button face
inline const Rgb kWhite{255, 255, 255};

inline Rgb RgbAt(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return {qRed(p), qGreen(p), qBlue(p)};
}

inline jpegmaker::Sample ToSample(const Rgb& c) {
  return {std::uint8_t(c.R), std::uint8_t(c.G), std::uint8_t(c.B), 0};
}

// A flat picture that decodes back within a few levels of its colour.
inline Bytes FlatJpeg(const Rgb& c, int width = 64, int height = 48) {
  return jpegmaker::MakeJpeg({.Width = width, .Height = height, .Quality = 100, .FullChroma = true},
                             jpegmaker::Flat(ToSample(c)));
}

// Bytes the allocator handed out and has not got back (not counting
// AddressSanitizer's quarantine).
inline std::size_t LiveHeapBytes() {
#ifdef GLIMMET_UNDER_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

// Slide k of the laid-out grid (two columns, position 1.0) has its box at
// (10 + 136 * column, 12 + 136 * row); a 64 x 48 picture fills columns
// 17..136 and rows 34..123 of the first box.
inline QPoint InsideSlide(int k) { return {77 + 136 * ((k - 1) % 2), 79 + 136 * ((k - 1) / 2)}; }
inline const QPoint kGridInWindow(1, 137);  // the grid's top-left corner in the window

// Runs what the window system and the window have queued: presents, the
// grid's paint once it is on the screen, the paints that one asks for.
inline void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Runs the event loop until done() holds, for at most 20 seconds (a
// watchdog, not a wait: it ends as soon as done() does); then Settle().
template <class Done>
bool SettleUntil(Done done) {
  QElapsedTimer watchdog;
  watchdog.start();
  while (!done()) {
    if (watchdog.elapsed() > 20000) return false;
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  Settle();
  return true;
}

inline void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

inline void Click(QWidget* target, QPoint pos) {
  SendMouse(target, QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
  SendMouse(target, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
  SendMouse(target, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

// The text of an open error, naming the file really opened.
inline std::string OpenErrorText(const std::string& opened, const std::string& cause) {
  return "Cannot open file \"" + ExpandFileName(opened) + "\". " + cause + ".";
}

// The window with a temporary folder as the program's folder (holding an
// empty data folder) and an error sink in place of the message box.
class BrowserTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterJpegFormat();
    SetPathResolver(ResolveListedPath);
    FSavedExeName = Application.ExeName;
    Application.ExeName = Dir / "glimmet";
    Dir.AddDir("data");
    Application.SetErrorSink([this](const std::string& text) { Errors.push_back(text); });
  }

  void TearDown() override {
    Window.reset();
    Application.SetErrorSink(nullptr);
    Application.ExeName = FSavedExeName;
    Screen.SetCursor(crDefault);
  }

  TFrmGlimmet& Open() {
    Window = std::make_unique<TFrmGlimmet>();
    Window->show();
    Settle();
    return *Window;
  }

  // Lists a folder as a click on it in the tree does.
  bool Choose(const std::string& folder) {
    const bool chosen = Window->ChooseFolder(folder);
    Settle();
    return chosen;
  }

  // The paints the grid starts from now on.
  const int& CountPaints() {
    const TNotifyEvent first = Window->Thumbs1->OnFirstImageRequest;
    Window->Thumbs1->OnFirstImageRequest = [this, first](TObject* sender) {
      ++FPaints;
      first(sender);
    };
    return FPaints;
  }

  // The grid draws itself, as when the window system uncovers it.
  void RepaintGrid() {
    Application.Guard([this] { Window->Thumbs1->Repaint(); });
    Settle();
  }

  void ClickSlide(int k) {
    Click(Window->Thumbs1Host, InsideSlide(k));
    Settle();
  }

  // The large view drawn now, as the window system would.
  QImage LargeView() { return Window->LargeImgView->grab().toImage(); }

  // The window drawn once what is queued has run.
  QImage Shot() {
    Settle();
    return Window->grab().toImage();
  }
  Rgb GridPixel(QPoint p) { return RgbAt(Shot(), kGridInWindow.x() + p.x(), kGridInWindow.y() + p.y()); }

  // count flat pictures p0.jpg ... of the colours (cycled) in folder; returns its path.
  std::string AddPictures(const std::string& folder, int count, const std::vector<Rgb>& colours = {kBlue},
                          int width = 64, int height = 48) {
    for (int i = 0; i < count; ++i)
      WritePicture(folder + "/p" + std::to_string(i) + ".jpg", colours[std::size_t(i) % colours.size()], width,
                   height);
    return Dir.AddDir(folder);
  }

  std::string WritePicture(const std::string& rel, const Rgb& c, int width = 64, int height = 48) {
    const std::string path = Dir / rel;
    Dir.AddDir(rel.substr(0, rel.rfind('/')));
    jpegmaker::WriteFile(path, FlatJpeg(c, width, height));
    return path;
  }

  TempDir Dir;
  std::unique_ptr<TFrmGlimmet> Window;
  std::vector<std::string> Errors;

 private:
  std::string FSavedExeName;
  int FPaints = 0;
};

}  // namespace browsertest
