#pragma once

#include "calllog.h"
#include "engine/surfaces.h"

// Records every redraw and widget operation in order.
class RecordingSurfaces final : public kelvo::Surfaces {
public:
    explicit RecordingSurfaces(CallLog& log)
        : m_log(log)
    {}

    void refreshMenu() override { m_log.record(QStringLiteral("surfaces.menu")); }
    void refreshSettingsWindow() override { m_log.record(QStringLiteral("surfaces.settings")); }
    void refreshSummaryWindow() override { m_log.record(QStringLiteral("surfaces.summary")); }
    bool widgetExists() const override { return m_widgetCreated; }
    void showWidget() override
    {
        m_log.record(m_widgetCreated ? QStringLiteral("widget.show")
                                     : QStringLiteral("widget.create+show"));
        m_widgetCreated = true;
        widgetVisible = true;
    }
    void hideWidget() override
    {
        m_log.record(QStringLiteral("widget.hide"));
        widgetVisible = false;
    }
    void setWidgetContent(const QString& duration, const QString&) override
    {
        m_log.record(QStringLiteral("widget.content"));
        widgetDuration = duration;
    }

    void showSettingsWindow() override { m_log.record(QStringLiteral("surfaces.showSettings")); }
    void showSummaryWindow() override { m_log.record(QStringLiteral("surfaces.showSummary")); }
    void applyAppearance(kelvo::AppearanceMode mode) override
    {
        m_log.record(QStringLiteral("surfaces.appearance:") + kelvo::storedText(mode));
    }
    void presentNotificationSetupHelp() override
    {
        m_log.record(QStringLiteral("surfaces.setupHelp"));
    }

    bool widgetVisible = false;
    QString widgetDuration;

private:
    CallLog& m_log;
    bool m_widgetCreated = false;
};
