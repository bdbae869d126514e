#pragma once

#include "model/enums.h"

#include <QString>

namespace kelvo {

// What the engine asks of the user interface. Surfaces never change engine state themselves;
// they read the engine when asked to redraw.
class Surfaces {
public:
    Surfaces() = default;
    Surfaces(const Surfaces&) = delete;
    Surfaces& operator=(const Surfaces&) = delete;
    virtual ~Surfaces() = default;

    // Redraws the tray item and its menu, creating them on first use.
    virtual void refreshMenu() = 0;
    // Redraws the settings window if it exists.
    virtual void refreshSettingsWindow() = 0;
    // Redraws the summary window if it exists.
    virtual void refreshSummaryWindow() = 0;

    virtual bool widgetExists() const = 0;
    // Creates the widget on first use, places it top right and shows it.
    virtual void showWidget() = 0;
    // Takes the widget off the screen; it stays for later.
    virtual void hideWidget() = 0;
    virtual void setWidgetContent(const QString& duration, const QString& suggestion) = 0;

    // Creates the settings window on first use, reloads it from the engine and brings it to front.
    virtual void showSettingsWindow() = 0;
    // Creates the summary window on first use, reloads it from the engine and brings it to front.
    virtual void showSummaryWindow() = 0;
    // Sets the colour scheme of the application and of every window that exists.
    virtual void applyAppearance(AppearanceMode mode) = 0;
    // Explains, on the settings window if it exists, how to allow Kelvo's notifications.
    virtual void presentNotificationSetupHelp() = 0;
};

// Surfaces for a program without a user interface yet: nothing exists, nothing is drawn.
class NullSurfaces final : public Surfaces {
public:
    void refreshMenu() override {}
    void refreshSettingsWindow() override {}
    void refreshSummaryWindow() override {}
    bool widgetExists() const override { return false; }
    void showWidget() override {}
    void hideWidget() override {}
    void setWidgetContent(const QString&, const QString&) override {}
    void showSettingsWindow() override {}
    void showSummaryWindow() override {}
    void applyAppearance(AppearanceMode) override {}
    void presentNotificationSetupHelp() override {}
};

} // namespace kelvo
