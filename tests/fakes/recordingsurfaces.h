#pragma once

#include "engine/surfaces.h"

#include <QStringList>

#include <optional>

// Logs the window commands, and keeps what the widget shows.
class RecordingSurfaces final : public kelvo::Surfaces {
public:
    explicit RecordingSurfaces(QStringList& log)
        : m_log(log)
    {}

    void refreshMenu() override {}
    void refreshSettingsWindow() override {}
    void refreshSummaryWindow() override {}
    bool widgetExists() const override { return widgetVisible.has_value(); }
    void showWidget() override { widgetVisible = true; }
    void hideWidget() override { widgetVisible = false; }
    void setWidgetContent(const QString& duration, const QString&) override
    {
        widgetDuration = duration;
    }
    void showSettingsWindow() override { m_log.append(QStringLiteral("surfaces.showSettings")); }
    void showSummaryWindow() override { m_log.append(QStringLiteral("surfaces.showSummary")); }
    void applyAppearance(kelvo::AppearanceMode) override {}
    void presentNotificationSetupHelp() override { m_log.append(QStringLiteral("surfaces.help")); }

    std::optional<bool> widgetVisible; // none until the widget is first shown
    QString widgetDuration;

private:
    QStringList& m_log;
};
