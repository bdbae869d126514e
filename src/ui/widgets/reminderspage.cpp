// The second page of the settings window: reminders, notification permission, the daily
// summary and quiet hours.

#include "sectionheaderview.h"
#include "settingsblocks.h"
#include "settingspages.h"
#include "ui/typography.h"
#include "wrappinglabel.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>

namespace kelvo {

using namespace SettingsBlocks;

namespace {

// Shows a stored time unless the person is editing that picker right now: a redraw must not
// overwrite what they are typing.
void showTime(QTimeEdit* picker, QTime time)
{
    if (picker->hasFocus() || picker->time() == time)
        return;
    const QSignalBlocker quiet(picker);
    picker->setTime(time);
}

} // namespace

RemindersPage::RemindersPage(QWidget* parent)
    : SettingsPage(parent)
{
    installSection({messagesCard(), timesCard()}, this);
}

void RemindersPage::toggles(QCheckBox* box, SettingsCommand::Kind kind)
{
    connect(box, &QCheckBox::clicked, this,
            [this, kind](bool on) { emit commandChosen(SettingsCommand::of(kind, on)); });
}

QWidget* RemindersPage::messagesCard()
{
    using Kind = SettingsCommand::Kind;
    QBoxLayout* messages = column();
    realtimeBox = checkBox(QStringLiteral("实时提醒"));
    toggles(realtimeBox, Kind::setRealtimeReminders);
    messages->addWidget(realtimeBox);
    messages->addWidget(explanation(QStringLiteral("当检测到过度依赖AI工具时，自动触发提醒")));
    statusLabel = new WrappingLabel({}, systemFont(12, QFont::Medium), ThemeRole::secondaryText, 3);
    messages->addWidget(statusLabel);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    permissionButton = pushButton(QStringLiteral("启用通知权限"));
    testButton = pushButton(QStringLiteral("发送测试通知"));
    connect(permissionButton, &QPushButton::clicked, this, [this] {
        emit commandChosen(SettingsCommand::of(Kind::requestNotificationPermission));
    });
    connect(testButton, &QPushButton::clicked, this,
            [this] { emit commandChosen(SettingsCommand::of(Kind::sendTestNotification)); });
    buttons->addWidget(permissionButton);
    buttons->addWidget(testButton);
    buttons->addStretch(1);
    messages->addLayout(buttons);
    return detailCard(new SectionHeaderView(QStringLiteral("bell.badge"),
                                            QStringLiteral("消息通知"),
                                            QStringLiteral("控制实时提醒与消息出现时机。")),
                      messages);
}

QWidget* RemindersPage::timesCard()
{
    using Kind = SettingsCommand::Kind;
    const auto picks = [this](QTimeEdit* picker, Kind kind) {
        connect(picker, &QTimeEdit::timeChanged, this, [this, kind](QTime time) {
            SettingsCommand command = SettingsCommand::of(kind);
            command.time = time;
            emit commandChosen(command);
        });
    };
    QBoxLayout* times = column();
    dailyBox = checkBox(QStringLiteral("每日总结"));
    toggles(dailyBox, Kind::setDailySummary);
    dailyPicker = timePicker();
    picks(dailyPicker, Kind::setDailySummaryTime);
    quietBox = checkBox(QStringLiteral("免打扰"));
    toggles(quietBox, Kind::setQuietHours);
    quietStartPicker = timePicker();
    picks(quietStartPicker, Kind::setQuietStart);
    quietEndPicker = timePicker();
    picks(quietEndPicker, Kind::setQuietEnd);
    times->addWidget(dailyBox);
    times->addLayout(formRow(QStringLiteral("每日总结时间"), dailyPicker));
    times->addWidget(quietBox);
    times->addLayout(formRow(QStringLiteral("免打扰开始"), quietStartPicker));
    times->addLayout(formRow(QStringLiteral("免打扰结束"), quietEndPicker));
    return detailCard(new SectionHeaderView(QStringLiteral("clock.badge.checkmark"),
                                            QStringLiteral("总结与静默时段"),
                                            QStringLiteral("管理每日总结和夜间静默区间。")),
                      times);
}

void RemindersPage::setModel(const SettingsModel& model)
{
    realtimeBox->setChecked(model.realtimeReminders);
    dailyBox->setChecked(model.dailySummary);
    quietBox->setChecked(model.quietHours);
    showTime(dailyPicker, model.dailySummaryTime);
    showTime(quietStartPicker, model.quietStart);
    showTime(quietEndPicker, model.quietEnd);
    quietStartPicker->setEnabled(model.quietPickersEnabled);
    quietEndPicker->setEnabled(model.quietPickersEnabled);

    const NotificationControls& notifications = model.notifications;
    statusLabel->setText(notifications.status);
    statusLabel->setColour(notifications.statusColour);
    permissionButton->setText(notifications.permissionTitle);
    permissionButton->setEnabled(notifications.permissionEnabled);
    testButton->setEnabled(notifications.testEnabled);
}

} // namespace kelvo
