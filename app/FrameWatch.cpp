#include "app/FrameWatch.h"

#include <QGuiApplication>
#include <QWindow>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <xcb/xcb.h>

namespace {

xcb_connection_t* X11Connection() {
  const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

template <typename T>
using TReply = std::unique_ptr<T, decltype(&std::free)>;

}  // namespace

TFrameWatch::TFrameWatch(const QWindow& window, std::function<void(QSize)> onFramed)
    : FWindow(window), FOnFramed(std::move(onFramed)) {
  xcb_connection_t* c = X11Connection();
  if (!c) return;
  static constexpr char kName[] = "_NET_FRAME_EXTENTS";
  const TReply<xcb_intern_atom_reply_t> atom(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr), &std::free);
  if (!atom) return;
  FFrameAtom = atom->atom;
  qGuiApp->installNativeEventFilter(this);
}

bool TFrameWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
  if (FTold || eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
  const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
  if (notify->atom != FFrameAtom || notify->state != XCB_PROPERTY_NEW_VALUE || notify->window != FWindow.winId())
    return false;
  xcb_connection_t* c = X11Connection();
  const TReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(c, xcb_get_property(c, 0, notify->window, FFrameAtom, XCB_ATOM_CARDINAL, 0, 4),
                             nullptr),
      &std::free);
  if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16) return false;
  // Left, right, top, bottom, in device pixels; a frame of an odd number of
  // them takes the next whole logical pixel, so that it is never too small.
  const auto* extents = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const double ratio = FWindow.devicePixelRatio();
  const QSize frame(static_cast<int>(std::ceil((extents[0] + extents[1]) / ratio)),
                    static_cast<int>(std::ceil((extents[2] + extents[3]) / ratio)));
  FTold = true;
  FOnFramed(frame);
  return false;
}
