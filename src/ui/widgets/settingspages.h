#pragma once

#include "ui/settingspresentation.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class QToolButton;

namespace kelvo {

class RuleTableModel;
class RuleTableView;
class ThemeModeSelectorView;
class WrappingLabel;

// A page of the settings window. It shows a model and asks for changes through
// commandChosen(), which the window carries out at once (and reloads the page) before the
// signal returns.
class SettingsPage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    virtual void setModel(const SettingsModel& model) = 0;

signals:
    void commandChosen(const kelvo::SettingsCommand& command);
};

// The web and desktop rules and the two monitoring switches.
class MonitoringPage final : public SettingsPage {
    Q_OBJECT

public:
    explicit MonitoringPage(QWidget* parent = nullptr);

    void setModel(const SettingsModel& model) override;

    QCheckBox* webMonitoringBox = nullptr;
    RuleTableView* webRules = nullptr;
    QPushButton* removeWebRuleButton = nullptr;
    QLineEdit* webNameField = nullptr;
    QLineEdit* webHostField = nullptr;
    QPushButton* addWebRuleButton = nullptr;
    QCheckBox* desktopMonitoringBox = nullptr;
    RuleTableView* desktopRules = nullptr;
    QPushButton* removeRuleButton = nullptr;
    QLineEdit* nameField = nullptr;
    QToolButton* byNameSegment = nullptr;
    QToolButton* byIdSegment = nullptr;
    QLineEdit* matchValueField = nullptr;
    QPushButton* addRuleButton = nullptr;

    // The remembered selected rows, -1 for none.
    int selectedWebRuleRow() const { return m_webRow; }
    int selectedRuleRow() const { return m_desktopRow; }

private:
    QWidget* webCard();
    QWidget* desktopCard();
    void addWebRule();
    void removeSelectedWebRule();
    void addRule();
    void removeSelectedRule();
    void restoreSelections();
    void updateRuleButtons();

    SettingsModel m_model;
    RuleTableModel* m_webModel = nullptr;
    RuleTableModel* m_desktopModel = nullptr;
    QButtonGroup* m_strategy = nullptr;
    int m_webRow = -1;
    int m_desktopRow = -1;
};

// The reminder switch, the notification permission, the daily summary and quiet hours.
class RemindersPage final : public SettingsPage {
    Q_OBJECT

public:
    explicit RemindersPage(QWidget* parent = nullptr);

    void setModel(const SettingsModel& model) override;

    QCheckBox* realtimeBox = nullptr;
    WrappingLabel* statusLabel = nullptr;
    QPushButton* permissionButton = nullptr;
    QPushButton* testButton = nullptr;
    QCheckBox* dailyBox = nullptr;
    QTimeEdit* dailyPicker = nullptr;
    QCheckBox* quietBox = nullptr;
    QTimeEdit* quietStartPicker = nullptr;
    QTimeEdit* quietEndPicker = nullptr;

private:
    QWidget* messagesCard();
    QWidget* timesCard();
    void toggles(QCheckBox* box, SettingsCommand::Kind kind);
};

// The theme mode and the widget switch with its preview.
class AppearancePage final : public SettingsPage {
    Q_OBJECT

public:
    explicit AppearancePage(QWidget* parent = nullptr);

    void setModel(const SettingsModel& model) override;

    ThemeModeSelectorView* themeSelector = nullptr;
    QCheckBox* desktopWidgetBox = nullptr;
};

} // namespace kelvo
