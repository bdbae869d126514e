#include "floatingwindow.h"

#include <QGuiApplication>
#include <QList>

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kelvo::X11FloatingWindow {

namespace {

constexpr std::uint32_t allDesktops = 0xFFFFFFFF;
constexpr std::uint32_t addState = 1;
constexpr std::uint32_t sourceApplication = 1;

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

xcb_connection_t* connection()
{
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootOf(xcb_connection_t* c)
{
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    return screens.rem > 0 ? screens.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> reply(
        xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

struct Atoms {
    xcb_atom_t state, desktop, above, sticky, skipTaskbar, skipPager;
};

Atoms atoms(xcb_connection_t* c)
{
    return {atom(c, "_NET_WM_STATE"),
            atom(c, "_NET_WM_DESKTOP"),
            atom(c, "_NET_WM_STATE_ABOVE"),
            atom(c, "_NET_WM_STATE_STICKY"),
            atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
            atom(c, "_NET_WM_STATE_SKIP_PAGER")};
}

void sendToRoot(xcb_connection_t* c, xcb_window_t window, xcb_atom_t type,
                const std::array<std::uint32_t, 5>& data)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    for (std::size_t i = 0; i < data.size(); ++i)
        event.data.data32[i] = data[i];
    xcb_send_event(c, 0, rootOf(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

} // namespace

bool available()
{
    return connection() != nullptr;
}

bool compositingManagerRunning()
{
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    // Kelvo's windows go to the display's first screen, as every current X server has only one.
    const xcb_atom_t selection = atom(c, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE)
        return false;
    std::unique_ptr<xcb_get_selection_owner_reply_t, FreeDeleter> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return reply && reply->owner != XCB_WINDOW_NONE;
}

void prepare(WId window)
{
    xcb_connection_t* c = connection();
    if (!c || window == 0)
        return;
    const Atoms names = atoms(c);
    const auto id = xcb_window_t(window);
    // Whatever states the window holds already (Qt's own) stay.
    QList<xcb_atom_t> states;
    std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, names.state, XCB_ATOM_ATOM, 0, 64), nullptr));
    if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        for (int i = 0; i < xcb_get_property_value_length(reply.get()) / 4; ++i)
            states.append(values[i]);
    }
    for (const xcb_atom_t state : {names.above, names.sticky, names.skipTaskbar, names.skipPager})
        if (state != XCB_ATOM_NONE && !states.contains(state))
            states.append(state);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, names.state, XCB_ATOM_ATOM, 32,
                        std::uint32_t(states.size()), states.constData());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, names.desktop, XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    xcb_flush(c);
}

void request(WId window)
{
    xcb_connection_t* c = connection();
    if (!c || window == 0)
        return;
    const Atoms names = atoms(c);
    const auto id = xcb_window_t(window);
    sendToRoot(c, id, names.state, {addState, names.above, names.sticky, sourceApplication, 0});
    sendToRoot(c, id, names.state,
               {addState, names.skipTaskbar, names.skipPager, sourceApplication, 0});
    sendToRoot(c, id, names.desktop, {allDesktops, sourceApplication, 0, 0, 0});
    xcb_flush(c);
}

} // namespace kelvo::X11FloatingWindow
