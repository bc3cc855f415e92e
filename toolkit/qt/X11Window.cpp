#include "toolkit/qt/X11Window.h"

#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <xcb/xcb.h>

namespace {

xcb_connection_t* X11Connection() {
  const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

template <typename T>
using TReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  const TReply<xcb_intern_atom_reply_t> atom(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t RootWindow(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

// Whether the manager says it answers requests of this kind.
bool ManagerSupports(xcb_connection_t* c, xcb_atom_t request) {
  const TReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c,
                                                                      xcb_get_property(c, 0, RootWindow(c),
                                                                                       Atom(c, "_NET_SUPPORTED"),
                                                                                       XCB_ATOM_ATOM, 0, 4096),
                                                                      nullptr),
                                               &std::free);
  if (!reply || reply->format != 32) return false;
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
  const int count = xcb_get_property_value_length(reply.get()) / 4;
  return std::find(atoms, atoms + count, request) != atoms + count;
}

}  // namespace

void SetServerBackground(const QWindow& window, const QColor& colour) {
  xcb_connection_t* c = X11Connection();
  if (!c) return;
  const auto id = static_cast<xcb_window_t>(window.winId());
  const TReply<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr), &std::free);
  if (!attributes) return;
  const auto channel = [](int value) { return static_cast<std::uint16_t>(value * 257); };
  const TReply<xcb_alloc_color_reply_t> pixel(
      xcb_alloc_color_reply(c,
                            xcb_alloc_color(c, attributes->colormap, channel(colour.red()), channel(colour.green()),
                                            channel(colour.blue())),
                            nullptr),
      &std::free);
  if (!pixel) return;
  const std::uint32_t value = pixel->pixel;
  xcb_change_window_attributes(c, id, XCB_CW_BACK_PIXEL, &value);
}

TFrameWatch::TFrameWatch(const QWindow& window) : FWindow(window) {
  xcb_connection_t* c = X11Connection();
  if (!c) return;
  FFrameAtom = Atom(c, "_NET_FRAME_EXTENTS");
  if (FFrameAtom != XCB_ATOM_NONE) qGuiApp->installNativeEventFilter(this);
}

std::optional<QMargins> TFrameWatch::AskFrame() {
  xcb_connection_t* c = X11Connection();
  if (!c || FFrameAtom == XCB_ATOM_NONE) return std::nullopt;
  const xcb_atom_t request = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  if (request == XCB_ATOM_NONE || !ManagerSupports(c, request)) return std::nullopt;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = static_cast<xcb_window_t>(FWindow.winId());
  message.type = request;
  xcb_send_event(c, 0, RootWindow(c), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(c);
  // A manager answers at once; one that does not leaves the window placed
  // without its frame, and centred again when it frames it.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  while (!(FAnswered = PublishedFrame()) && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return FAnswered;
}

std::optional<QMargins> TFrameWatch::PublishedFrame() const {
  xcb_connection_t* c = X11Connection();
  const auto window = static_cast<xcb_window_t>(FWindow.winId());
  const TReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, FFrameAtom, XCB_ATOM_CARDINAL, 0, 4), nullptr),
      &std::free);
  if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16) return std::nullopt;
  // Left, right, top, bottom, in device pixels; a frame of an odd number of
  // them takes the next whole logical pixel, so that it is never too small.
  const auto* extents = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const double ratio = FWindow.devicePixelRatio();
  const auto logical = [ratio](std::uint32_t device) { return static_cast<int>(std::ceil(device / ratio)); };
  return QMargins(logical(extents[0]), logical(extents[2]), logical(extents[1]), logical(extents[3]));
}

bool TFrameWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
  if (FTold || !FOnFramed || eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
  const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
  if (notify->atom != FFrameAtom || notify->state != XCB_PROPERTY_NEW_VALUE || notify->window != FWindow.winId())
    return false;
  const std::optional<QMargins> frame = PublishedFrame();
  if (!frame || frame == FAnswered) return false;
  FTold = true;
  FOnFramed(*frame);
  return false;
}
