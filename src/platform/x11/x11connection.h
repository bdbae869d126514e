#pragma once

#include <QString>

#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace kelvo {

// What a window says about the application it belongs to; absent where the window does not say
// it (or has vanished).
struct WindowFacts {
    std::uint32_t window = 0;
    std::optional<QString> instance;    // WM_CLASS, first string
    std::optional<QString> windowClass; // WM_CLASS, second string
    std::optional<QString> gtkApplicationId;
    std::optional<QString> kdeDesktopFile;
    std::optional<qint64> pid; // _NET_WM_PID

    bool operator==(const WindowFacts&) const = default;
};

// One xcb connection of Kelvo's own. Every request checks its reply: a window that vanished
// reads as a window without properties, and a broken connection as no window at all.
class X11Connection final {
public:
    // Connects to the named display, or to DISPLAY when displayName is null.
    explicit X11Connection(const char* displayName = nullptr);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // Connected, and the connection has not failed since.
    bool isOpen() const;
    int fileDescriptor() const;

    // Selects (or deselects) property changes of the root window, where _NET_ACTIVE_WINDOW lives.
    void watchActiveWindow(bool watch);
    // Reads every pending event; true when one of them changed _NET_ACTIVE_WINDOW.
    bool takeEvents();
    // Like takeEvents(), but only the events already read off the socket by earlier replies.
    bool takeQueuedEvents();

    // The active window, 0 when there is none.
    std::uint32_t activeWindow();
    WindowFacts windowFacts(std::uint32_t window);
    // The facts of the active window (window 0 when there is none). Those of likelyWindow are
    // asked for along with the active window, so they cost no round trip of their own.
    WindowFacts activeWindowFacts(std::uint32_t likelyWindow);
    // The process id of the client that created the window, from the X Resource extension.
    std::optional<qint64> clientPid(std::uint32_t window);

private:
    struct FactRequests;

    bool takeEventsFrom(bool socket);
    std::uint32_t takeActiveWindow(unsigned int sequence);
    FactRequests askFacts(std::uint32_t window);
    WindowFacts takeFacts(std::uint32_t window, const FactRequests& requests);
    bool hasResourceExtension();

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_activeWindowAtom = 0;
    std::uint32_t m_pidAtom = 0;
    std::uint32_t m_gtkIdAtom = 0;
    std::uint32_t m_kdeFileAtom = 0;
    std::uint32_t m_utf8Atom = 0;
    std::optional<bool> m_resourceExtension;
};

} // namespace kelvo
