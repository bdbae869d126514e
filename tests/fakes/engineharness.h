#pragma once

#include "engine/appstate.h"
#include "fakeclock.h"
#include "fakedetector.h"
#include "fakenotificationservice.h"
#include "memorystore.h"
#include "recordingsurfaces.h"
#include "scriptedmonitor.h"

#include <memory>

// One engine with recording fakes around it, all sharing one call log.
struct EngineHarness {
    explicit EngineHarness(const QDateTime& now, kelvo::StoredState initial = {},
                           const QTimeZone& zone = QTimeZone::utc())
        : store(log, std::move(initial))
        , monitor(log)
        , notifications(log)
        , surfaces(log)
        , clock(now, zone)
        , engine(std::make_unique<kelvo::AppState>(store, monitor, notifications, detector,
                                                   surfaces, clock))
    {}

    CallLog log;
    MemoryStore store;
    ScriptedMonitor monitor;
    FakeNotificationService notifications;
    FakeBrowserDetector detector;
    RecordingSurfaces surfaces;
    FakeClock clock;
    std::unique_ptr<kelvo::AppState> engine;
};
