#pragma once

#include <QAbstractNativeEventFilter>
#include <QColor>
#include <QMargins>
#include <functional>
#include <optional>

class QWindow;

// What an X11 server and window manager do to a window before Qt paints it;
// nothing elsewhere than on X11. Both are set before the window is shown.

// The server shows a newly mapped window's area as what lay underneath it
// (black on a bare screen) until the first paint; with a background colour
// it fills the area with that colour at once.
void SetServerBackground(const QWindow& window, const QColor& colour);

// The frame an X11 window manager puts around a window, in the window's
// logical pixels (rounded up), as the manager publishes it
// (_NET_FRAME_EXTENTS). Qt reads the frame at moments that race the manager
// and may keep an empty one after the window is framed; the manager's own
// word does not race. The filter leaves the application with the watch.
class TFrameWatch : public QAbstractNativeEventFilter {
 public:
  explicit TFrameWatch(const QWindow& window);
  TFrameWatch(const TFrameWatch&) = delete;
  TFrameWatch& operator=(const TFrameWatch&) = delete;

  // Asks a manager that answers such requests for the frame it will put
  // around the window, so that the window is placed once, before it shows.
  std::optional<QMargins> AskFrame();
  // Tells, once, a frame the manager publishes that differs from the one it
  // answered AskFrame with (none asked: the first it publishes).
  void OnFramed(std::function<void(QMargins frame)> onFramed) { FOnFramed = std::move(onFramed); }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  std::optional<QMargins> PublishedFrame() const;

  const QWindow& FWindow;
  std::function<void(QMargins)> FOnFramed;
  unsigned FFrameAtom = 0;
  std::optional<QMargins> FAnswered;
  bool FTold = false;
};
