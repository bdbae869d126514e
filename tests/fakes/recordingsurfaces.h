#pragma once

#include "engine/surfaces.h"

#include <QStringList>

// Records the window commands in order, and what the widget shows.
class RecordingSurfaces final : public kelvo::Surfaces {
public:
    explicit RecordingSurfaces(QStringList& log)
        : m_log(log)
    {}

    void refreshMenu() override {}
    void refreshSettingsWindow() override {}
    void refreshSummaryWindow() override {}
    bool widgetExists() const override { return m_widgetCreated; }
    void showWidget() override
    {
        m_widgetCreated = true;
        widgetVisible = true;
    }
    void hideWidget() override { widgetVisible = false; }
    void setWidgetContent(const QString& duration, const QString&) override
    {
        widgetDuration = duration;
    }

    void showSettingsWindow() override { m_log.append(QStringLiteral("surfaces.showSettings")); }
    void showSummaryWindow() override { m_log.append(QStringLiteral("surfaces.showSummary")); }
    void applyAppearance(kelvo::AppearanceMode) override {}
    void presentNotificationSetupHelp() override
    {
        m_log.append(QStringLiteral("surfaces.setupHelp"));
    }

    bool widgetVisible = false;
    QString widgetDuration;

private:
    QStringList& m_log;
    bool m_widgetCreated = false;
};
