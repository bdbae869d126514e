#pragma once

#include "model/snapshot.h"
#include "platform/privatebus.h"

#include <xcb/xcb.h>

#include <cstdlib>

// A property to put on a test window: its name, type and bytes (format 32 for CARDINAL and
// WINDOW, else 8).
struct TestProperty {
    QByteArray name;
    QByteArray type;
    QByteArray bytes;
};
using TestProperties = QList<TestProperty>;

inline QByteArray cardinal(std::uint32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

// Windows of the test's own on the display.
class TestDesktop final {
public:
    TestDesktop()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection) == 0)
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~TestDesktop() { xcb_disconnect(m_connection); }
    TestDesktop(const TestDesktop&) = delete;
    TestDesktop& operator=(const TestDesktop&) = delete;

    bool isConnected() const { return m_root != 0; }

    xcb_window_t createWindow(const TestProperties& properties)
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        for (const TestProperty& property : properties)
            setProperty(window, property);
        xcb_map_window(m_connection, window);
        // The window manager brings a new window to the front, though not while it starts up;
        // waited for, so that doing so cannot overtake a later activation of another window.
        [[maybe_unused]] const bool shown =
            QTest::qWaitFor([&] { return activeWindow() == window; });
        return window;
    }

    void setProperty(xcb_window_t window, const TestProperty& property)
    {
        const bool cardinal = property.type == "CARDINAL" || property.type == "WINDOW";
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom(property.name),
                            atom(property.type), cardinal ? 32 : 8,
                            std::uint32_t(property.bytes.size() / (cardinal ? 4 : 1)),
                            property.bytes.constData());
        sync();
    }

    // Sets _NET_ACTIVE_WINDOW behind the window manager's back.
    void setActiveWindow(xcb_window_t window)
    {
        setProperty(m_root, {"_NET_ACTIVE_WINDOW", "WINDOW", cardinal(window)});
    }

    void destroyWindow(xcb_window_t window)
    {
        xcb_destroy_window(m_connection, window);
        sync();
    }

    // A window id that names no window.
    xcb_window_t unusedWindowId() { return xcb_generate_id(m_connection); }

    xcb_window_t activeWindow()
    {
        const auto cookie = xcb_get_property(m_connection, 0, m_root, atom("_NET_ACTIVE_WINDOW"),
                                             XCB_ATOM_WINDOW, 0, 1);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
        xcb_window_t window = 0;
        if (reply && xcb_get_property_value_length(reply) == 4)
            window = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
        std::free(reply);
        return window;
    }

    // Brings the window to the front the way a pager does, and waits until it is there.
    bool activate(xcb_window_t window)
    {
        QProcess xdotool;
        xdotool.start(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, QString::number(window)});
        return xdotool.waitForFinished(5000) && xdotool.exitStatus() == QProcess::NormalExit &&
               xdotool.exitCode() == 0 && QTest::qWaitFor([&] { return activeWindow() == window; });
    }

private:
    xcb_atom_t atom(const QByteArray& name)
    {
        const auto cookie =
            xcb_intern_atom(m_connection, 0, std::uint16_t(name.size()), name.constData());
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    // The server serves its clients in any order: a round trip makes sure that what this
    // connection asked for is done before another connection looks.
    void sync()
    {
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
};

// Installs (replaces) a desktop entry with these keys in $XDG_DATA_HOME/applications.
inline bool writeDesktopEntry(const QString& id, const QByteArray& keys)
{
    return writeFile(qEnvironmentVariable("XDG_DATA_HOME") + u"/applications/"_s + id +
                         u".desktop"_s,
                     "[Desktop Entry]\nType=Application\nExec=true\n" + keys);
}

// A snapshot as "id|name", with "-" for what is absent.
inline QString text(const kelvo::FrontmostAppSnapshot& snapshot)
{
    return snapshot.bundleIdentifier.value_or(u"-"_s) + u'|' +
           snapshot.localizedName.value_or(u"-"_s);
}
