#pragma once

#include "engine/appstate.h"
#include "fakeclock.h"
#include "fakenotificationservice.h"
#include "faketabreader.h"
#include "memorystore.h"
#include "recordingsurfaces.h"
#include "scriptedmonitor.h"

#include <memory>

// One engine with recording fakes around it, all writing the calls they receive to one log.
struct EngineHarness {
    explicit EngineHarness(const QDateTime& now, kelvo::StoredState initial = {},
                           const QTimeZone& zone = QTimeZone::utc())
        : store(std::move(initial))
        , monitor(log)
        , notifications(log)
        , detector(tabs)
        , surfaces(log)
        , clock(now, zone)
        , engine(std::make_unique<kelvo::AppState>(store, monitor, notifications, detector,
                                                   surfaces, clock))
    {}

    QStringList log;
    MemoryStore store;
    ScriptedMonitor monitor;
    FakeNotificationService notifications;
    FakeTabReader tabs;
    kelvo::BrowserAIContextDetector detector;
    RecordingSurfaces surfaces;
    FakeClock clock;
    std::unique_ptr<kelvo::AppState> engine;
};
