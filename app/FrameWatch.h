#pragma once

#include <QAbstractNativeEventFilter>
#include <QSize>
#include <functional>

class QWindow;

// Tells, once, the size of the frame an X11 window manager has put around a
// window, as the manager publishes it (_NET_FRAME_EXTENTS), in the window's
// logical pixels. Qt reads the frame at moments that race the manager and
// may keep an empty one after the window is framed; the manager's own word
// does not race. Made before the window is shown; does nothing elsewhere
// than on X11. The filter leaves the application with the watch.
class TFrameWatch : public QAbstractNativeEventFilter {
 public:
  TFrameWatch(const QWindow& window, std::function<void(QSize frame)> onFramed);
  TFrameWatch(const TFrameWatch&) = delete;
  TFrameWatch& operator=(const TFrameWatch&) = delete;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  const QWindow& FWindow;
  std::function<void(QSize)> FOnFramed;
  unsigned FFrameAtom = 0;
  bool FTold = false;
};
