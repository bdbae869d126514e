#include "toplevelwatcher.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <cstring>

namespace kelvo {

namespace {

// Every event that is used is in version 1; version 3 is the newest this client knows.
constexpr std::uint32_t newestManagerVersion = 3;

// Far beyond any real app id; what is longer is cut before it is kept.
constexpr qsizetype maxKeptAppIdBytes = 4096;

bool holdsActivated(const wl_array* states)
{
    const auto* bytes = static_cast<const char*>(states->data);
    for (std::size_t offset = 0; offset + sizeof(std::uint32_t) <= states->size;
         offset += sizeof(std::uint32_t)) {
        std::uint32_t state = 0;
        std::memcpy(&state, bytes + offset, sizeof state);
        if (state == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
            return true;
    }
    return false;
}

} // namespace

// What the compositor has said about one toplevel: the pending values become current at "done".
struct ToplevelWatcher::Toplevel {
    ToplevelWatcher* watcher = nullptr;
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    std::uint32_t key = 0;
    QByteArray appId;
    QByteArray pendingAppId;
    bool activated = false;
    bool pendingActivated = false;
    std::uint64_t activatedAt = 0; // order of activation, for a compositor that shows two
};

const wl_registry_listener ToplevelWatcher::registryListener = {
    [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
       std::uint32_t version) {
        static_cast<ToplevelWatcher*>(data)->bind(registry, name, interface, version);
    },
    [](void*, wl_registry*, std::uint32_t) {},
};

const zwlr_foreign_toplevel_manager_v1_listener ToplevelWatcher::managerListener = {
    [](void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
        static_cast<ToplevelWatcher*>(data)->addToplevel(handle);
    },
    // The compositor took the manager away: nothing more can be seen on this connection.
    [](void* data, zwlr_foreign_toplevel_manager_v1* manager) {
        auto* watcher = static_cast<ToplevelWatcher*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        watcher->m_manager = nullptr;
        watcher->fail();
    },
};

const zwlr_foreign_toplevel_handle_v1_listener ToplevelWatcher::handleListener = {
    [](void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}, // title: never kept
    [](void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
        static_cast<Toplevel*>(data)->pendingAppId =
            QByteArray(appId, qsizetype(strnlen(appId, maxKeptAppIdBytes)));
    },
    [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
    [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
    [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
        static_cast<Toplevel*>(data)->pendingActivated = holdsActivated(states);
    },
    [](void* data, zwlr_foreign_toplevel_handle_v1*) {
        auto* toplevel = static_cast<Toplevel*>(data);
        toplevel->appId = toplevel->pendingAppId;
        if (toplevel->pendingActivated && !toplevel->activated)
            toplevel->activatedAt = ++toplevel->watcher->m_activations;
        toplevel->activated = toplevel->pendingActivated;
    },
    [](void* data, zwlr_foreign_toplevel_handle_v1*) {
        auto* toplevel = static_cast<Toplevel*>(data);
        toplevel->watcher->removeToplevel(toplevel);
    },
    [](void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}, // parent
};

ToplevelWatcher::ToplevelWatcher()
{
    m_display = wl_display_connect(nullptr);
    if (!m_display)
        return;
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);
    // The first round trip announces the globals, the second the toplevels and their states.
    if (wl_display_roundtrip(m_display) < 0) {
        m_status = Status::lost;
        return;
    }
    if (!m_manager) {
        m_status = Status::noToplevelManager;
        return;
    }
    m_status = Status::watching;
    if (wl_display_roundtrip(m_display) < 0)
        fail();
    updateActive();
}

ToplevelWatcher::~ToplevelWatcher()
{
    for (Toplevel& toplevel : m_toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
    if (m_manager)
        zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_display)
        wl_display_disconnect(m_display);
}

int ToplevelWatcher::fileDescriptor() const
{
    return m_status == Status::watching ? wl_display_get_fd(m_display) : -1;
}

bool ToplevelWatcher::takeEvents()
{
    if (m_status != Status::watching)
        return false;
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            fail();
            return updateActive();
        }
    }
    // Requests (the destruction of closed handles) go out; a full socket is tried again later.
    wl_display_flush(m_display);
    if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0)
        fail();
    return updateActive();
}

void ToplevelWatcher::bind(wl_registry* registry, std::uint32_t name, const char* interface,
                           std::uint32_t version)
{
    if (m_manager || std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0)
        return;
    m_manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                         std::min(version, newestManagerVersion)));
    zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &managerListener, this);
}

void ToplevelWatcher::addToplevel(zwlr_foreign_toplevel_handle_v1* handle)
{
    Toplevel& toplevel = m_toplevels.emplace_back();
    toplevel.watcher = this;
    toplevel.handle = handle;
    toplevel.key = m_nextKey++;
    if (m_nextKey == 0)
        m_nextKey = 1;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, &toplevel);
}

void ToplevelWatcher::removeToplevel(Toplevel* toplevel)
{
    zwlr_foreign_toplevel_handle_v1_destroy(toplevel->handle);
    m_toplevels.remove_if([toplevel](const Toplevel& each) { return &each == toplevel; });
}

// The toplevel that was activated last among those that say they are activated.
bool ToplevelWatcher::updateActive()
{
    const Toplevel* front = nullptr;
    if (m_status == Status::watching) {
        for (const Toplevel& toplevel : m_toplevels) {
            if (toplevel.activated && (!front || toplevel.activatedAt > front->activatedAt))
                front = &toplevel;
        }
    }
    ActiveToplevel active = front ? ActiveToplevel{front->key, front->appId} : ActiveToplevel{};
    if (active == m_active)
        return false;
    m_active = std::move(active);
    return true;
}

void ToplevelWatcher::fail()
{
    m_status = Status::lost;
}

} // namespace kelvo
