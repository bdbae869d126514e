#pragma once

#include <QByteArray>

#include <cstdint>
#include <list>

struct wl_display;
struct wl_registry;
struct wl_registry_listener;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_handle_v1_listener;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_manager_v1_listener;

namespace kelvo {

// The toplevel in front: key 0 when none is. The key tells toplevels apart for as long as the
// connection lasts; the app id is as the compositor sent it, cut to a bounded length.
struct ActiveToplevel {
    std::uint32_t key = 0;
    QByteArray appId;

    bool operator==(const ActiveToplevel&) const = default;
};

// One Wayland connection of Kelvo's own that follows the toplevels of a wlroots compositor
// (sway, Hyprland, labwc, river, wayfire) through zwlr_foreign_toplevel_manager_v1. It only
// listens: it never changes a window, and titles are not kept.
class ToplevelWatcher final {
public:
    enum class Status { watching, noCompositor, noToplevelManager, lost };

    // Connects to the compositor that WAYLAND_DISPLAY names and reads the toplevels it has.
    ToplevelWatcher();
    ~ToplevelWatcher();
    ToplevelWatcher(const ToplevelWatcher&) = delete;
    ToplevelWatcher& operator=(const ToplevelWatcher&) = delete;

    Status status() const { return m_status; }
    // The connection's socket, to wait on for events; -1 unless watching.
    int fileDescriptor() const;

    // Reads and handles what the compositor has sent, without waiting; true when the toplevel in
    // front changed. The status turns to lost when the connection fails.
    bool takeEvents();

    const ActiveToplevel& active() const { return m_active; }

    struct Toplevel;

private:
    void bind(wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version);
    void addToplevel(zwlr_foreign_toplevel_handle_v1* handle);
    void removeToplevel(Toplevel* toplevel);
    bool updateActive();
    void fail();

    static const wl_registry_listener registryListener;
    static const zwlr_foreign_toplevel_manager_v1_listener managerListener;
    static const zwlr_foreign_toplevel_handle_v1_listener handleListener;

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    zwlr_foreign_toplevel_manager_v1* m_manager = nullptr;
    std::list<Toplevel> m_toplevels;
    ActiveToplevel m_active;
    std::uint32_t m_nextKey = 1;
    std::uint64_t m_activations = 0;
    Status m_status = Status::noCompositor;
};

} // namespace kelvo
