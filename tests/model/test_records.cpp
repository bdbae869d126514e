#include "model/appsettings.h"
#include "model/enums.h"

#include <QTest>

using namespace kelvo;

Q_DECLARE_METATYPE(kelvo::ReminderUserAction)

class RecordsTest final : public QObject {
    Q_OBJECT

private:
    template <typename E>
    static QStringList texts()
    {
        QStringList result;
        for (E value : allCases<E>()) {
            result << storedText(value);
            if (fromStoredText<E>(result.last()) != value)
                result << QStringLiteral("<no round trip>");
        }
        return result;
    }

private slots:
    void storedTextsAreTheFileTexts()
    {
        QCOMPARE(texts<AppearanceMode>(), QStringList({"system", "light", "dark"}));
        QCOMPARE(texts<AppMatchStrategy>(),
                 QStringList({"bundleIdentifier", "localizedNameContains"}));
        QCOMPARE(texts<SessionSourceType>(), QStringList({"desktopApp", "browserDomain"}));
        QCOMPARE(texts<ReminderKind>(),
                 QStringList({"sessionStart", "sessionFollowUp", "dailySummary"}));
        QCOMPARE(texts<ReminderAction>(),
                 QStringList({"shown", "acknowledged", "snoozed", "muteToday", "dismissed"}));
        QCOMPARE(texts<ReminderUserAction>(),
                 QStringList({"ACK", "SNOOZE", "MUTE_TODAY", "DISMISSED"}));
    }

    void onlyExactTextsConvert_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("capitalised") << QStringLiteral("System");
        QTest::newRow("upper case") << QStringLiteral("DARK");
        QTest::newRow("leading space") << QStringLiteral(" light");
        QTest::newRow("empty") << QString();
    }

    void onlyExactTextsConvert()
    {
        QFETCH(QString, text);
        QCOMPARE(fromStoredText<AppearanceMode>(text), std::nullopt);
    }

    void userActionFromIdentifier_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<ReminderUserAction>("expected");
        QTest::newRow("ACK") << "ACK" << ReminderUserAction::acknowledge;
        QTest::newRow("SNOOZE") << "SNOOZE" << ReminderUserAction::snooze;
        QTest::newRow("MUTE_TODAY") << "MUTE_TODAY" << ReminderUserAction::muteToday;
        QTest::newRow("DISMISSED") << "DISMISSED" << ReminderUserAction::dismissed;
        QTest::newRow("empty") << "" << ReminderUserAction::dismissed;
        QTest::newRow("lower case") << "ack" << ReminderUserAction::dismissed;
        QTest::newRow("body click") << "default" << ReminderUserAction::dismissed;
        QTest::newRow("trailing space") << "SNOOZE " << ReminderUserAction::dismissed;
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
        QCOMPARE(rules.size(), 5);
        QSet<QUuid> ids;
        for (const MonitoredAppRule& rule : rules)
            ids.insert(rule.id);
        QVERIFY(!ids.contains(QUuid()));
        QCOMPARE(ids.size(), 5);
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "test_records.moc"
