#include "model/appsettings.h"
#include "model/enums.h"

#include <QTest>

using namespace kelvo;

Q_DECLARE_METATYPE(kelvo::ReminderUserAction)

namespace {

template <typename E>
QStringList texts()
{
    QStringList result;
    for (E value : allCases<E>())
        result << storedText(value);
    return result;
}

} // namespace

class RecordsTest final : public QObject {
    Q_OBJECT

private slots:
    // The texts in users' state files: changing one makes their files unreadable.
    void storedTextsAreTheFileTexts()
    {
        QCOMPARE(texts<AppearanceMode>() + texts<AppMatchStrategy>() + texts<SessionSourceType>() +
                     texts<ReminderKind>() + texts<ReminderAction>(),
                 QStringList({"system", "light", "dark", "bundleIdentifier",
                              "localizedNameContains", "desktopApp", "browserDomain",
                              "sessionStart", "sessionFollowUp", "dailySummary", "shown",
                              "acknowledged", "snoozed", "muteToday", "dismissed"}));
    }

    // The notification action identifiers are the stored texts of ReminderUserAction.
    void userActionFromIdentifier_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<ReminderUserAction>("expected");
        QTest::newRow("ACK") << "ACK" << ReminderUserAction::acknowledge;
        QTest::newRow("SNOOZE") << "SNOOZE" << ReminderUserAction::snooze;
        QTest::newRow("MUTE_TODAY") << "MUTE_TODAY" << ReminderUserAction::muteToday;
        QTest::newRow("DISMISSED") << "DISMISSED" << ReminderUserAction::dismissed;
        QTest::newRow("lower case") << "ack" << ReminderUserAction::dismissed;
        QTest::newRow("body click") << "default" << ReminderUserAction::dismissed;
    }

    void userActionFromIdentifier()
    {
        QFETCH(QString, identifier);
        QFETCH(ReminderUserAction, expected);
        QCOMPARE(reminderUserActionFromIdentifier(identifier), expected);
    }

    void defaultRulesKeepTheirIdentitiesWithinTheProcess()
    {
        const QList<MonitoredAppRule>& rules = AppSettings::defaults().monitoredApps;
        QCOMPARE(rules, MonitoredAppRule::defaultRules());
        QSet<QUuid> ids;
        for (const MonitoredAppRule& rule : rules)
            ids.insert(rule.id);
        ids.remove(QUuid());
        QCOMPARE(ids.size(), 5);
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "test_records.moc"
