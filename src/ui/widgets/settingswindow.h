#pragma once

#include "ui/settingspresentation.h"

#include <QAbstractButton>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <optional>

class QScrollArea;

namespace kelvo {

class AppState;
class AppearancePage;
class Clock;
class MonitoringPage;
class RemindersPage;
class SettingsPage;
class WrappingLabel;

// A section's button in the sidebar: its symbol and title, green while its section is shown.
class SettingsSidebarButton final : public QAbstractButton {
    Q_OBJECT

public:
    explicit SettingsSidebarButton(SettingsSection section, QWidget* parent = nullptr);

    SettingsSection section() const { return m_section; }
    QSize sizeHint() const override { return {200, 52}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SettingsSection m_section;
};

// The settings window: a sidebar of three sections beside the selected section's page. Every
// change goes to the engine at once, and the window reloads from the engine after it; a reload
// keeps what the person is doing (typed text, the picker being edited, the selected rows, the
// scroll position and the keyboard focus). Closing it only hides it.
class SettingsWindow final : public QWidget {
    Q_OBJECT

public:
    // Without an engine the window only shows what it is given (setModel) and changes nothing.
    SettingsWindow(AppState* engine, const Clock* clock, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Reloads every control from the engine; nothing when the engine is gone.
    void refreshFromState();
    void setModel(const SettingsModel& model);

    SettingsSection section() const { return m_section; }
    void selectSection(SettingsSection section);

    // Explains, on this window, how to allow Kelvo's notifications in the desktop's settings.
    void presentNotificationSetupHelp();

    MonitoringPage* monitoringPage() const { return m_monitoring; }
    RemindersPage* remindersPage() const { return m_reminders; }
    AppearancePage* appearancePage() const { return m_appearance; }
    SettingsSidebarButton* sidebarButton(SettingsSection section) const
    {
        return m_buttons.value(section);
    }
    QScrollArea* detailScrollArea() const { return m_scroll; }
    QMessageBox* setupHelp() const { return m_help; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildSidebar();
    QWidget* buildDetail();
    void run(const SettingsCommand& command);
    void updateVisibleSection();
    void reportPreferredLayout();
    int documentWidth() const;
    int pageHeight(int documentWidth) const;
    void layoutDocument();

    QPointer<AppState> m_engine;
    const Clock* m_clock;
    SettingsSection m_section = SettingsSection::monitoring;
    QMap<SettingsSection, SettingsSidebarButton*> m_buttons;
    QMap<SettingsSection, SettingsPage*> m_pages;
    MonitoringPage* m_monitoring = nullptr;
    RemindersPage* m_reminders = nullptr;
    AppearancePage* m_appearance = nullptr;
    QWidget* m_sidebarStack = nullptr;
    QWidget* m_pageStack = nullptr;
    WrappingLabel* m_headerTitle = nullptr;
    WrappingLabel* m_headerSubtitle = nullptr;
    QScrollArea* m_scroll = nullptr;
    QPointer<QMessageBox> m_help;
    std::optional<SettingsWindowLayout> m_lastLayout;
    bool m_placed = false;
};

} // namespace kelvo
