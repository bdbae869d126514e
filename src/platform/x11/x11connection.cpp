#include "x11connection.h"

#include <QByteArray>
#include <QList>

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kelvo {

namespace {

// Property lengths are requested in 32-bit units. Identifiers and class names are short; a
// window that publishes megabytes there gets only this much of them read.
constexpr std::uint32_t maxTextUnits = 1024;

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// A property as the server holds it; empty type when the window has none or has vanished.
struct Property {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;
    QByteArray bytes;
};

Property takeProperty(xcb_connection_t* connection, xcb_get_property_cookie_t cookie)
{
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, &error));
    std::free(error);
    if (!reply || reply->type == XCB_ATOM_NONE)
        return {};
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return {reply->type, reply->format,
            QByteArray(data, xcb_get_property_value_length(reply.get()))};
}

xcb_get_property_cookie_t askProperty(xcb_connection_t* connection, std::uint32_t window,
                                      xcb_atom_t atom, std::uint32_t units)
{
    return xcb_get_property(connection, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, units);
}

// Text properties are Latin-1 (STRING) unless they say UTF-8; bad UTF-8 becomes U+FFFD.
std::optional<QString> decode(const QByteArray& bytes, bool utf8)
{
    if (bytes.isEmpty())
        return std::nullopt;
    return utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

std::optional<QString> textOf(const Property& property, xcb_atom_t utf8Type)
{
    if (property.format != 8)
        return std::nullopt;
    QByteArray bytes = property.bytes;
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return decode(bytes, property.type == utf8Type);
}

std::optional<qint64> cardinalOf(const Property& property)
{
    if (property.type != XCB_ATOM_CARDINAL || property.format != 32 || property.bytes.size() < 4)
        return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, property.bytes.constData(), sizeof value);
    return value == 0 ? std::nullopt : std::optional<qint64>(value);
}

xcb_screen_t* screenNumber(xcb_connection_t* connection, int number)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; it.rem > 0; --number, xcb_screen_next(&it)) {
        if (number == 0)
            return it.data;
    }
    return nullptr;
}

} // namespace

X11Connection::X11Connection(const char* displayName)
{
    int screen = 0;
    m_connection = xcb_connect(displayName, &screen);
    const xcb_screen_t* root = isOpen() ? screenNumber(m_connection, screen) : nullptr;
    if (!root) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    m_root = root->root;
    static constexpr std::array<const char*, 5> names{"_NET_ACTIVE_WINDOW", "_NET_WM_PID",
                                                      "_GTK_APPLICATION_ID",
                                                      "_KDE_NET_WM_DESKTOP_FILE", "UTF8_STRING"};
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i)
        cookies[i] =
            xcb_intern_atom(m_connection, 0, std::uint16_t(std::strlen(names[i])), names[i]);
    std::array<std::uint32_t*, names.size()> atoms{&m_activeWindowAtom, &m_pidAtom, &m_gtkIdAtom,
                                                   &m_kdeFileAtom, &m_utf8Atom};
    for (std::size_t i = 0; i < names.size(); ++i) {
        xcb_generic_error_t* error = nullptr;
        Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(m_connection, cookies[i], &error));
        std::free(error);
        *atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
}

X11Connection::~X11Connection()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool X11Connection::isOpen() const
{
    return m_connection && xcb_connection_has_error(m_connection) == 0;
}

int X11Connection::fileDescriptor() const
{
    return m_connection ? xcb_get_file_descriptor(m_connection) : -1;
}

void X11Connection::watchActiveWindow(bool watch)
{
    if (!isOpen())
        return;
    const std::uint32_t mask = watch ? std::uint32_t(XCB_EVENT_MASK_PROPERTY_CHANGE)
                                     : std::uint32_t(XCB_EVENT_MASK_NO_EVENT);
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
}

bool X11Connection::takeEvents()
{
    return takeEventsFrom(true);
}

bool X11Connection::takeQueuedEvents()
{
    return takeEventsFrom(false);
}

bool X11Connection::takeEventsFrom(bool socket)
{
    bool activeWindowChanged = false;
    while (isOpen()) {
        Reply<xcb_generic_event_t> event(socket ? xcb_poll_for_event(m_connection)
                                                : xcb_poll_for_queued_event(m_connection));
        if (!event)
            break;
        // Errors of requests without replies arrive here too (response type 0); they are dropped.
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            continue;
        const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
        if (change->window == m_root && change->atom == m_activeWindowAtom)
            activeWindowChanged = true;
    }
    return activeWindowChanged;
}

// The four requests for a window's facts, sent before the first reply is awaited.
struct X11Connection::FactRequests {
    xcb_get_property_cookie_t wmClass;
    xcb_get_property_cookie_t gtkId;
    xcb_get_property_cookie_t kdeFile;
    xcb_get_property_cookie_t pid;
};

std::uint32_t X11Connection::activeWindow()
{
    if (!isOpen())
        return 0;
    return takeActiveWindow(askProperty(m_connection, m_root, m_activeWindowAtom, 1).sequence);
}

WindowFacts X11Connection::windowFacts(std::uint32_t window)
{
    if (!isOpen() || window == 0)
        return {};
    return takeFacts(window, askFacts(window));
}

// In the usual case, a poll with the same window still in front, this takes one round trip.
WindowFacts X11Connection::activeWindowFacts(std::uint32_t likelyWindow)
{
    if (!isOpen())
        return {};
    const auto active = askProperty(m_connection, m_root, m_activeWindowAtom, 1);
    const std::optional<FactRequests> guess =
        likelyWindow != 0 ? std::optional(askFacts(likelyWindow)) : std::nullopt;
    const std::uint32_t window = takeActiveWindow(active.sequence);
    if (guess && window == likelyWindow)
        return takeFacts(window, *guess);
    if (guess) {
        for (const auto cookie : {guess->wmClass, guess->gtkId, guess->kdeFile, guess->pid})
            xcb_discard_reply(m_connection, cookie.sequence);
    }
    return window == 0 ? WindowFacts{} : takeFacts(window, askFacts(window));
}

std::uint32_t X11Connection::takeActiveWindow(unsigned int sequence)
{
    const Property property = takeProperty(m_connection, {sequence});
    if (property.type != XCB_ATOM_WINDOW || property.format != 32 || property.bytes.size() < 4)
        return 0;
    std::uint32_t window = 0;
    std::memcpy(&window, property.bytes.constData(), sizeof window);
    return window;
}

X11Connection::FactRequests X11Connection::askFacts(std::uint32_t window)
{
    return {askProperty(m_connection, window, XCB_ATOM_WM_CLASS, maxTextUnits),
            askProperty(m_connection, window, m_gtkIdAtom, maxTextUnits),
            askProperty(m_connection, window, m_kdeFileAtom, maxTextUnits),
            askProperty(m_connection, window, m_pidAtom, 1)};
}

WindowFacts X11Connection::takeFacts(std::uint32_t window, const FactRequests& requests)
{
    WindowFacts facts;
    facts.window = window;
    const Property classes = takeProperty(m_connection, requests.wmClass);
    if (classes.format == 8) {
        const QList<QByteArray> parts = classes.bytes.split('\0');
        const bool utf8 = classes.type == m_utf8Atom;
        facts.instance = decode(parts.value(0), utf8);
        facts.windowClass = decode(parts.value(1), utf8);
    }
    facts.gtkApplicationId = textOf(takeProperty(m_connection, requests.gtkId), m_utf8Atom);
    facts.kdeDesktopFile = textOf(takeProperty(m_connection, requests.kdeFile), m_utf8Atom);
    facts.pid = cardinalOf(takeProperty(m_connection, requests.pid));
    return facts;
}

std::optional<qint64> X11Connection::clientPid(std::uint32_t window)
{
    if (!isOpen() || window == 0 || !hasResourceExtension())
        return std::nullopt;
    xcb_res_client_id_spec_t query{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const auto cookie = xcb_res_query_client_ids(m_connection, 1, &query);
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(m_connection, cookie, &error));
    std::free(error);
    if (!reply)
        return std::nullopt;
    auto it = xcb_res_query_client_ids_ids_iterator(reply.get());
    // Only the process id was asked for, so every value the server returns is one.
    for (; it.rem > 0; xcb_res_client_id_value_next(&it)) {
        if (xcb_res_client_id_value_value_length(it.data) >= 1) {
            const std::uint32_t pid = *xcb_res_client_id_value_value(it.data);
            return pid == 0 ? std::nullopt : std::optional<qint64>(pid);
        }
    }
    return std::nullopt;
}

// QueryClientIds exists from version 1.2 of the extension on; asked once per connection.
bool X11Connection::hasResourceExtension()
{
    if (m_resourceExtension)
        return *m_resourceExtension;
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(m_connection, &xcb_res_id);
    m_resourceExtension = false;
    if (!extension || !extension->present)
        return false;
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_res_query_version_reply_t> version(xcb_res_query_version_reply(
        m_connection, xcb_res_query_version(m_connection, 1, 2), &error));
    std::free(error);
    m_resourceExtension = version && (version->server_major > 1 ||
                                      (version->server_major == 1 && version->server_minor >= 2));
    return *m_resourceExtension;
}

} // namespace kelvo
