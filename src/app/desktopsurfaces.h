#pragma once

#include "engine/surfaces.h"
#include "ui/appearancestate.h"
#include "ui/traymenumodel.h"

#include <QDate>
#include <QObject>
#include <QPointer>

#include <memory>

class QSystemTrayIcon;

namespace kelvo {

class AppState;
class AppearancePortal;
class Clock;
class DesktopWidget;
class SettingsWindow;
class StatusNotifierItem;
class SummaryWindow;
class TrayMenu;
struct DBusMenuEntry;

// Kelvo's face on a Linux desktop: the tray item with its menu (a StatusNotifierItem, else Qt's
// own tray icon), the desktop widget, the summary window and the light or dark appearance of
// everything it draws.
class DesktopSurfaces final : public QObject, public Surfaces {
    Q_OBJECT

public:
    explicit DesktopSurfaces(const Clock& clock, QObject* parent = nullptr);
    ~DesktopSurfaces() override;

    // The engine whose figures are drawn and which every command goes to; held weakly.
    void setEngine(AppState* engine);
    // From now on nothing is drawn, shown or hidden: the program is ending.
    void stopDrawing() { m_drawing = false; }

    // The menu as a tray host that cannot show the card reads it over D-Bus.
    static QList<DBusMenuEntry> dbusMenuEntries(const TrayMenuModel& model);

    void refreshMenu() override;
    void refreshSettingsWindow() override;
    void refreshSummaryWindow() override;
    bool widgetExists() const override { return m_widget != nullptr; }
    void showWidget() override;
    void hideWidget() override;
    void setWidgetContent(const QString& duration, const QString& suggestion) override;
    void showSettingsWindow() override;
    void showSummaryWindow() override;
    void applyAppearance(AppearanceMode mode) override;
    void presentNotificationSetupHelp() override;

private:
    TrayMenu& menu();
    void createTray();
    void trayRegistrationChanged(bool registered);
    void showMenu(const QPoint& position);
    void runCommand(TrayCommand command);
    // The desktop widget and the summary window.
    void presentWidget();
    void fillSummaryWindow();

    const Clock& m_clock;
    QPointer<AppState> m_engine;
    AppearanceState m_appearance;
    std::unique_ptr<AppearancePortal> m_portal;
    std::unique_ptr<TrayMenu> m_menu;
    std::unique_ptr<StatusNotifierItem> m_item;
    std::unique_ptr<QSystemTrayIcon> m_fallbackIcon;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    TrayMenuModel m_model;
    // What the menu last drew: the engine's revision and the local day.
    quint64 m_drawnRevision = 0;
    QDate m_drawnDay;
    bool m_noTrayReported = false;
    // No tray at all: the widget shows today's figures whatever the setting says.
    bool m_trayMissing = false;
    bool m_drawing = true;
    std::unique_ptr<DesktopWidget> m_widget;
    std::unique_ptr<SummaryWindow> m_summaryWindow;
};

} // namespace kelvo
