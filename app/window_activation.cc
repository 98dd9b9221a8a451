#include "app/window_activation.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "app/activation_request.h"

namespace {

constexpr std::uint32_t kSourceApplication = 1;  // _NET_ACTIVE_WINDOW from an application

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

xcb_window_t RootOf(xcb_connection_t* connection, xcb_window_t window) {
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
  const xcb_window_t root = geometry ? geometry->root : xcb_window_t{XCB_WINDOW_NONE};
  std::free(geometry);
  return root;
}

// A startup notification message: the text with its terminating NUL, in pieces of 20 bytes,
// the first of type _NET_STARTUP_INFO_BEGIN, sent to the root window from a window of our own.
void SendStartupMessage(xcb_connection_t* connection, xcb_window_t root, const std::string& text) {
  const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
  const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
  if (begin == XCB_ATOM_NONE || more == XCB_ATOM_NONE) return;
  const xcb_window_t sender = xcb_generate_id(connection);
  const std::uint32_t overrideRedirect = 1;
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, sender, root, -100, -100, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                    &overrideRedirect);
  const size_t length = text.size() + 1;  // with the NUL
  for (size_t at = 0; at < length; at += 20) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = sender;
    event.type = at == 0 ? begin : more;
    const size_t piece = length - at < 20 ? length - at : 20;
    std::memcpy(event.data.data8, text.c_str() + at, piece);
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                   reinterpret_cast<const char*>(&event));
  }
  xcb_destroy_window(connection, sender);
}

}  // namespace

void PrepareWindowActivation(const std::string& token) {
  if (token.empty() || QGuiApplication::platformName() != QLatin1String("wayland")) return;
  qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(token));
}

void FinishWindowActivation(QWidget* window, const std::string& token) {
  if (!window || token.empty() || QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return;
  const auto id = static_cast<xcb_window_t>(window->winId());
  const xcb_window_t root = RootOf(connection, id);
  if (root == XCB_WINDOW_NONE) return;

  // Qt asked for the focus with the time of the last event it saw; the click that started the
  // later start is newer, and it is the user's.
  if (const std::optional<std::uint32_t> time = StartupTimestamp(token)) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = Atom(connection, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = kSourceApplication;
    event.data.data32[1] = *time;
    if (event.type != XCB_ATOM_NONE)
      xcb_send_event(connection, 0, root,
                     XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                     reinterpret_cast<const char*>(&event));
  }
  // The token travelled without blanks, quotes or backslashes: it needs no quoting here.
  SendStartupMessage(connection, root, "remove: ID=" + token);
  xcb_flush(connection);
}
