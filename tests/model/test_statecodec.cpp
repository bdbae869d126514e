#include "model/statecodec.h"

#include <QFile>
#include <QTest>

#include <limits>

using namespace kelvo;

Q_DECLARE_METATYPE(kelvo::StoredState)

namespace {

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

QUuid uuid(int n)
{
    return QUuid(uint(0x3F2504E0 + n), 0x4F89, 0x11D3, 0x9A, 0x0C, 0x03, 0x05, 0xE8, 0x2C, 0x33, 1);
}

// What sessionDocument() below reads as when no member is changed.
StoredState sessionState()
{
    AiUsageSession session;
    session.id = uuid(0);
    session.appName = QStringLiteral("Claude");
    session.startedAt = utc("2026-03-07T12:00:05Z");
    session.endedAt = utc("2026-03-07T12:30:00Z");
    StoredState state;
    state.sessions = {session};
    return state;
}

// Every setting away from its default, every stored text of every enumeration but two appearance
// modes, Chinese texts, and each optional field both present and absent; no list is empty. Its
// written form is fuzz/corpus/state/full.json.
StoredState fullState()
{
    StoredState state;
    const QList<MonitoredAppRule> apps{
        {uuid(1), QStringLiteral("通义千问"), AppMatchStrategy::bundleIdentifier, "qwen"},
        {uuid(7), QStringLiteral("Kimi"), AppMatchStrategy::localizedNameContains, "Kimi"}};
    const QList<BrowserDomainRule> webRules{{"kimi.com", QStringLiteral("Kimi 网页"), "moon"}};
    // In declaration order, each the opposite of or different from its default.
    state.settings = {apps, webRules, false, false, 7,
                      30,   true,     23,    15,    6,
                      45,   false,    false, true,  AppearanceMode::light};
    const AiUsageSession web{uuid(2),
                             uuid(3),
                             QStringLiteral("ChatGPT 网页"),
                             "google-chrome",
                             SessionSourceType::browserDomain,
                             "google-chrome::chatgpt.com",
                             "chatgpt.com",
                             "Chrome",
                             utc("2026-03-07T12:00:05Z"),
                             utc("2026-03-07T12:30:00Z"),
                             utc("2026-03-07T12:00:06Z")};
    state.sessions = {web, sessionState().sessions.first()};
    using K = ReminderKind;
    using A = ReminderAction;
    const QDateTime shown = utc("2026-03-07T12:00:06Z");
    state.reminderEvents = {
        {uuid(5), uuid(2), K::sessionStart, shown, A::snoozed},
        {uuid(8), uuid(2), K::sessionFollowUp, shown, A::acknowledged},
        {uuid(9), uuid(2), K::sessionStart, shown, A::muteToday},
        {uuid(10), uuid(2), K::sessionFollowUp, shown, A::dismissed},
        {uuid(6), std::nullopt, K::dailySummary, utc("2026-03-07T20:00:00Z"), A::shown}};
    state.lastDailySummaryDayKey = "2026-03-07";
    state.mutedReminderDayKey = "2026-03-08";
    return state;
}

QByteArray document(const QByteArray& settings, const QByteArray& sessions = "[]",
                    const QByteArray& events = "[]")
{
    return "{\"reminderEvents\": " + events + ", \"sessions\": " + sessions +
           ", \"settings\": " + settings + "}";
}

QByteArray settingDocument(const QByteArray& key, const QByteArray& value)
{
    return document("{\"" + key + "\": " + value + '}');
}

// A document with one session whose member `key` is given `value`: the parser keeps the last
// of repeated keys.
QByteArray sessionDocument(const QByteArray& key, const QByteArray& value)
{
    return document("{}", R"([{"appName": "Claude", "endedAt": "2026-03-07T12:30:00Z", )"
                          R"("id": "3F2504E0-4F89-11D3-9A0C-0305E82C3301", )"
                          R"("sourceType": "desktopApp", "startedAt": "2026-03-07T12:00:05Z", ")" +
                              key + "\": " + value + "}]");
}

} // namespace

class StateCodecTest final : public QObject {
    Q_OBJECT

private slots:
    // Every field, escapes, unpaired surrogates, extreme numbers and times: read back as they
    // were, and written again byte for byte the same.
    void roundTrip()
    {
        StoredState state = fullState();
        state.sessions[1].appName = QStringLiteral("q\"b\\s/\n\t\x01") + QChar(0) +
                                    QStringLiteral("😀") + QChar(0xDC01) + QChar(0xD800);
        state.settings.dailySummaryHour = std::numeric_limits<qint64>::min();
        state.settings.quietHoursEndMinute = std::numeric_limits<qint64>::max();
        state.sessions[0].startedAt = utc("0001-01-01T00:00:00Z");
        state.sessions[0].endedAt = utc("9999-12-31T23:59:59Z");
        const QByteArray written = StateCodec::encode(state);
        const std::optional<StoredState> read = StateCodec::decode(written);
        QVERIFY(read);
        QCOMPARE(*read, state);
        QCOMPARE(StateCodec::encode(*read), written);
    }

    // The form users' files hold: a change here makes their files unreadable. Times in whole
    // seconds in UTC, texts unescaped UTF-8, Qt's indentation, keys in ascending order.
    void writtenForm()
    {
        StoredState state = fullState();
        state.sessions[0].startedAt = utc("2026-03-07T12:00:05.800Z");
        state.sessions[0].endedAt =
            QDateTime(QDate(2026, 3, 7), QTime(13, 30), Qt::OffsetFromUTC, 3600);
        QFile stored(QFINDTESTDATA("../../fuzz/corpus/state/full.json"));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(StateCodec::encode(state), stored.readAll());
    }

    void tolerated_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<StoredState>("expected");
        QTest::newRow("settings missing, appearance system")
            << settingDocument("appearanceMode", "\"system\"") << StoredState{};
        StoredState dark;
        dark.settings.appearanceMode = AppearanceMode::dark;
        QTest::newRow("appearance dark") << settingDocument("appearanceMode", "\"dark\"") << dark;
        StoredState empty;
        empty.settings.monitoredApps.clear();
        empty.settings.browserDomainRules.clear();
        QTest::newRow("empty rule lists stay empty")
            << document("{\"browserDomainRules\": [], \"monitoredApps\": []}") << empty;
        StoredState numbers;
        numbers.settings.dailySummaryHour = 21;
        numbers.settings.quietHoursStartHour = 0;
        QTest::newRow("whole numbers in other forms")
            << document("{\"dailySummaryHour\": 2.1e1, \"quietHoursStartHour\": -0.0}") << numbers;
        QTest::newRow("null optional field, unknown keys")
            << sessionDocument("domain", "null, \"extra\": [{\"a\": [1, true, null]}]")
            << sessionState();
        QTest::newRow("lower-case identity")
            << sessionDocument("id", "\"3f2504e0-4f89-11d3-9a0c-0305e82c3301\"") << sessionState();
        QTest::newRow("byte order mark")
            << "\xEF\xBB\xBF" + sessionDocument("appName", "\"Claude\"") << sessionState();
    }

    void tolerated()
    {
        QFETCH(QByteArray, text);
        QFETCH(StoredState, expected);
        const std::optional<StoredState> read = StateCodec::decode(text);
        QVERIFY(read);
        QCOMPARE(*read, expected);
    }

    void timestampForms_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: the document must not decode
        const auto row = [](const char* name, const char* text, const char* expected) {
            QTest::newRow(name) << QByteArray(text) << (expected ? utc(expected) : QDateTime());
        };
        row("fraction", "2026-03-07T12:00:05.8Z", "2026-03-07T12:00:05.800Z");
        row("long fraction cut, not rounded", "2026-03-07T23:59:59.99999Z",
            "2026-03-07T23:59:59.999Z");
        row("negative offset into the next year", "2025-12-31T23:00:00.5-02:30",
            "2026-01-01T01:30:00.500Z");
        row("offset before year 1", "0001-01-01T00:30:00+01:00", nullptr);
        row("offset past year 9999", "9999-12-31T23:30:00-01:00", nullptr);
        row("no zone", "2026-03-07T12:00:05", nullptr);
        row("lower-case z", "2026-03-07T12:00:05z", nullptr);
        row("space for T", "2026-03-07 12:00:05Z", nullptr);
        row("30 February", "2026-02-30T12:00:05Z", nullptr);
        row("offset 24 hours", "2026-03-07T12:00:05+24:00", nullptr);
        row("fraction without digits", "2026-03-07T12:00:05.Z", nullptr);
    }

    void timestampForms()
    {
        QFETCH(QByteArray, text);
        QFETCH(QDateTime, expected);
        const std::optional<StoredState> read =
            StateCodec::decode(sessionDocument("startedAt", '"' + text + '"'));
        QCOMPARE(read.has_value(), expected.isValid());
        if (read)
            QCOMPARE(read->sessions[0].startedAt, expected);
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("truncated") << document("{}").chopped(1);
        QTest::newRow("root array") << QByteArray("[]");
        QTest::newRow("no sessions") << QByteArray(R"({"reminderEvents": [], "settings": {}})");
        QTest::newRow("null settings") << document("null");
        QTest::newRow("settings an array") << document("[]");
        QTest::newRow("flag as number") << settingDocument("quietHoursEnabled", "1");
        QTest::newRow("number as text") << settingDocument("dailySummaryHour", "\"20\"");
        QTest::newRow("fractional number") << settingDocument("dailySummaryHour", "20.5");
        QTest::newRow("number past 64 bits")
            << settingDocument("dailySummaryMinute", "9223372036854775808");
        QTest::newRow("capitalised appearance") << settingDocument("appearanceMode", "\"System\"");
        QTest::newRow("rule list an object") << settingDocument("monitoredApps", "{}");
        QTest::newRow("rule not an object") << settingDocument("browserDomainRules", "[1]");
        QTest::newRow("web rule without host") << settingDocument(
            "browserDomainRules", R"([{"displayName": "A", "symbolName": "B"}])");
        QTest::newRow("required member null") << sessionDocument("endedAt", "null");
        QTest::newRow("optional text a number") << sessionDocument("domain", "5");
        QTest::newRow("timestamp a number") << sessionDocument("endedAt", "1772886600");
        QTest::newRow("uuid in braces")
            << sessionDocument("id", "\"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}\"");
        QTest::newRow("uuid not hex")
            << sessionDocument("appRuleId", "\"3F2504E0-4F89-11D3-9A0C-0305E82C330G\"");
        QTest::newRow("reminder without shownAt") << document(
            "{}", "[]",
            R"([{"action": "shown", "id": "3F2504E0-4F89-11D3-9A0C-0305E82C3302", "kind": "sessionStart"}])");
    }

    void malformed()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(StateCodec::decode(text), std::nullopt);
    }

    // Sessions and rule edits name a rule by its id, so each default rule needs one of its own.
    void defaultRulesHaveIdentities()
    {
        QSet<QUuid> ids{QUuid()};
        for (const MonitoredAppRule& rule : AppSettings::defaults().monitoredApps)
            ids.insert(rule.id);
        QCOMPARE(ids.size(), AppSettings::defaults().monitoredApps.size() + 1);
    }
};

QTEST_GUILESS_MAIN(StateCodecTest)
#include "test_statecodec.moc"
