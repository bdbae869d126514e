#include "model/statecodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <limits>

using namespace kelvo;
using Members = QMap<QByteArray, QByteArray>;

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

// Every optional field present, Chinese texts, settings far from the defaults.
StoredState fullState()
{
    StoredState state;
    state.settings.monitoredApps = {
        {uuid(1), QStringLiteral("通义千问"), AppMatchStrategy::bundleIdentifier, "qwen"}};
    state.settings.browserDomainRules = {{"kimi.com", QStringLiteral("Kimi 网页"), "moon"}};
    state.settings.appearanceMode = AppearanceMode::dark;
    state.settings.dailySummaryHour = 7;
    state.settings.quietHoursEnabled = true;
    state.settings.webMonitoringEnabled = false;
    AiUsageSession web{uuid(2),
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
    AiUsageSession bare{uuid(4),
                        {},
                        "Claude",
                        {},
                        SessionSourceType::desktopApp,
                        {},
                        {},
                        {},
                        utc("2026-03-08T23:59:59Z"),
                        utc("2026-03-09T00:10:00Z"),
                        {}};
    state.sessions = {web, bare};
    state.reminderEvents = {{uuid(5), uuid(2), ReminderKind::sessionStart,
                             utc("2026-03-07T12:00:06Z"), ReminderAction::snoozed},
                            {uuid(6),
                             {},
                             ReminderKind::dailySummary,
                             utc("2026-03-07T20:00:00Z"),
                             ReminderAction::shown}};
    state.lastDailySummaryDayKey = "2026-03-07";
    state.mutedReminderDayKey = "2026-03-08";
    return state;
}

QByteArray object(const Members& members)
{
    QByteArrayList parts;
    for (auto it = members.cbegin(); it != members.cend(); ++it)
        parts << '"' + it.key() + "\": " + it.value();
    return '{' + parts.join(", ") + '}';
}

QByteArray document(const QByteArray& settings, const QByteArray& sessions = "[]",
                    const QByteArray& events = "[]")
{
    return "{\"reminderEvents\": " + events + ", \"sessions\": " + sessions +
           ", \"settings\": " + settings + "}";
}

const Members session{{"appName", "\"Claude\""},
                      {"endedAt", "\"2026-03-07T12:30:00Z\""},
                      {"id", "\"3F2504E0-4F89-11D3-9A0C-0305E82C3301\""},
                      {"sourceType", "\"desktopApp\""},
                      {"startedAt", "\"2026-03-07T12:00:05Z\""}};
const Members reminder{{"action", "\"shown\""},
                       {"id", "\"3F2504E0-4F89-11D3-9A0C-0305E82C3302\""},
                       {"kind", "\"sessionStart\""},
                       {"shownAt", "\"2026-03-07T12:00:05Z\""}};
const Members rule{{"displayName", "\"Qwen\""},
                   {"id", "\"3F2504E0-4F89-11D3-9A0C-0305E82C3303\""},
                   {"matchValue", "\"qwen\""},
                   {"strategy", "\"bundleIdentifier\""}};

// `base` with `key` set to `value`, or removed when `value` is null.
Members with(Members base, const QByteArray& key, const QByteArray& value)
{
    if (value.isNull())
        base.remove(key);
    else
        base.insert(key, value);
    return base;
}

QByteArray sessionDocument(const QByteArray& key, const QByteArray& value)
{
    return document("{}", '[' + object(with(session, key, value)) + ']');
}

QByteArray reminderDocument(const QByteArray& key, const QByteArray& value)
{
    return document("{}", "[]", '[' + object(with(reminder, key, value)) + ']');
}

QByteArray ruleDocument(const QByteArray& key, const QByteArray& value)
{
    return document("{\"monitoredApps\": [" + object(with(rule, key, value)) + "]}");
}

QByteArray settingDocument(const QByteArray& key, const QByteArray& value)
{
    return document(object({{key, value}}));
}

} // namespace

class StateCodecTest final : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<StoredState>("state");
        QTest::newRow("defaults") << StoredState{};
        QTest::newRow("every optional field, Chinese texts") << fullState();
        StoredState state = fullState();
        state.settings.monitoredApps.clear();
        state.settings.browserDomainRules.clear();
        QTest::newRow("empty rule lists") << state;
        state.sessions[1].appName = QStringLiteral("q\"b\\s/\n\t\x01") + QChar(0) +
                                    QStringLiteral("😀") + QChar(0xDC01) + QChar(0xD800);
        state.settings.dailySummaryHour = std::numeric_limits<qint64>::min();
        state.settings.quietHoursEndMinute = std::numeric_limits<qint64>::max();
        QTest::newRow("escapes, unpaired surrogates, extreme numbers") << state;
        state.sessions[0].startedAt = utc("0001-01-01T00:00:00Z");
        state.sessions[0].endedAt = utc("9999-12-31T23:59:59Z");
        QTest::newRow("first and last writable seconds") << state;
    }

    void roundTrip()
    {
        QFETCH(StoredState, state);
        const QByteArray written = StateCodec::encode(state);
        const std::optional<StoredState> read = StateCodec::decode(written);
        QVERIFY(read);
        QCOMPARE(*read, state);
        QCOMPARE(StateCodec::encode(*read), written);
        QCOMPARE(QJsonDocument::fromJson(written).isObject(), true);
    }

    void writtenForm()
    {
        StoredState state = fullState();
        state.sessions[0].startedAt = utc("2026-03-07T12:00:05.800Z");
        state.sessions[0].endedAt =
            QDateTime(QDate(2026, 3, 7), QTime(13, 30), Qt::OffsetFromUTC, 3600);
        const QByteArray written = StateCodec::encode(state);
        QVERIFY(written.contains("\"startedAt\": \"2026-03-07T12:00:05Z\""));
        QVERIFY(written.contains("\"endedAt\": \"2026-03-07T12:30:00Z\""));
        QVERIFY(written.contains(QStringLiteral("\"ChatGPT 网页\"").toUtf8()));
        QVERIFY(!written.contains("\\u"));
        QVERIFY(!written.contains("null"));
        QCOMPARE(StateCodec::decode(written)->sessions[0].startedAt, utc("2026-03-07T12:00:05Z"));
        // The session without optional fields writes exactly its five required keys.
        const qsizetype bare = written.indexOf("\"appName\": \"Claude\"");
        const QByteArray bareObject = written.mid(bare, written.indexOf('}', bare) - bare);
        QCOMPARE(bareObject.count("\": "), 5);
    }

    void keysAscendInEveryObject()
    {
        QMap<qsizetype, QByteArray> lastKeyAtIndent;
        int keys = 0;
        for (const QByteArray& line : StateCodec::encode(fullState()).split('\n')) {
            qsizetype indent = 0;
            while (indent < line.size() && line[indent] == ' ')
                ++indent;
            if (line.endsWith('{'))
                lastKeyAtIndent.remove(indent + 4); // a new object starts its own order
            const qsizetype colon = line.indexOf("\": ");
            if (line.mid(indent).startsWith('"') && colon > 0) {
                const QByteArray key = line.mid(indent + 1, colon - indent - 1);
                QVERIFY2(lastKeyAtIndent.value(indent) < key, key.constData());
                lastKeyAtIndent[indent] = key;
                ++keys;
            }
        }
        QVERIFY(keys > 40);
    }

    void defaultStateHasTheDesignedKeys()
    {
        const QJsonObject root = QJsonDocument::fromJson(StateCodec::encode({})).object();
        QCOMPARE(root.keys(), QStringList({"reminderEvents", "sessions", "settings"}));
        const QJsonObject settings = root.value(QStringLiteral("settings")).toObject();
        QCOMPARE(settings.size(), 15);
        QCOMPARE(settings.value(QStringLiteral("monitoredApps")).toArray().size(), 5);
        QCOMPARE(settings.value(QStringLiteral("browserDomainRules")).toArray().size(), 5);
    }

    void lowerCaseIdentitiesAreWrittenUpperCase()
    {
        const QByteArray lower = "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
        const std::optional<StoredState> read =
            StateCodec::decode(sessionDocument("id", '"' + lower + '"'));
        QVERIFY(read);
        const QByteArray written = StateCodec::encode(*read);
        QVERIFY(written.contains(lower.toUpper()));
        QVERIFY(!written.contains(lower));
    }

    void tolerated_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<StoredState>("expected");
        QTest::newRow("empty settings") << document("{}") << StoredState{};
        QByteArrayList nulls;
        for (const QString& key : QJsonDocument::fromJson(StateCodec::encode({}))
                                      .object()
                                      .value(QStringLiteral("settings"))
                                      .toObject()
                                      .keys()) {
            nulls << '"' + key.toUtf8() + "\": null";
        }
        QTest::newRow("every setting null")
            << document('{' + nulls.join(',') + '}') << StoredState{};
        StoredState empty;
        empty.settings.monitoredApps.clear();
        empty.settings.browserDomainRules.clear();
        QTest::newRow("empty rule lists stay empty")
            << document("{\"browserDomainRules\": [], \"monitoredApps\": []}") << empty;
        StoredState numbers;
        numbers.settings.dailySummaryHour = 21;
        numbers.settings.quietHoursEndMinute = std::numeric_limits<qint64>::max();
        numbers.settings.quietHoursStartHour = 0;
        numbers.settings.quietHoursStartMinute = std::numeric_limits<qint64>::min();
        numbers.settings.dailySummaryMinute = 20;
        QTest::newRow("whole numbers in other forms")
            << document("{\"dailySummaryHour\": 2.1e1, \"quietHoursEndMinute\": "
                        "9223372036854775807, \"quietHoursStartHour\": -0.0, "
                        "\"quietHoursStartMinute\": -9223372036854775808, "
                        "\"dailySummaryMinute\": 20.0}")
            << numbers;
        StoredState bare;
        bare.sessions = {fullState().sessions[1]};
        bare.sessions[0].id =
            QUuid::fromString(QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301"));
        bare.sessions[0].startedAt = utc("2026-03-07T12:00:05Z");
        bare.sessions[0].endedAt = utc("2026-03-07T12:30:00Z");
        Members nullOptionals = session;
        for (const char* key : {"appRuleId", "browserName", "bundleIdentifier", "domain",
                                "firstReminderShownAt", "sourceIdentifier", "colour"})
            nullOptionals.insert(key, "null");
        QTest::newRow("null optionals, unknown keys")
            << ("{\"lastDailySummaryDayKey\": null, \"extra\": [{\"a\": [1, true, null]}], " +
                document("{}", '[' + object(nullOptionals) + ']').mid(1))
            << bare;
        QTest::newRow("escapes in keys and texts, byte order mark")
            << "\xEF\xBB\xBF" + sessionDocument("appName", "\"Cl\\u0061ude\"")
                                    .replace("\"appName\"", "\"app\\u004eame\"")
            << bare;
        QTest::newRow("repeated key: the last one counts")
            << sessionDocument("appName", "\"Gemini\", \"appName\": \"Claude\"") << bare;
        // Qt's parser reads these forms, which Kelvo never writes, rather than refusing them.
        StoredState lenient = bare;
        lenient.sessions[0].appName = QStringLiteral("C\tlx");
        QTest::newRow("raw control character, unknown escape")
            << sessionDocument("appName", "\"C\tl\\x\"") << lenient;
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
        const QDateTime none;
        const auto row = [](const char* name, const char* text, const QDateTime& expected) {
            QTest::newRow(name) << QByteArray(text) << expected;
        };
        row("whole seconds", "2026-03-07T12:00:05Z", utc("2026-03-07T12:00:05Z"));
        row("fraction", "2026-03-07T12:00:05.8Z", utc("2026-03-07T12:00:05.800Z"));
        row("long fraction cut, not rounded", "2026-03-07T23:59:59.99999Z",
            utc("2026-03-07T23:59:59.999Z"));
        row("positive offset", "2026-03-07T12:00:05+01:30", utc("2026-03-07T10:30:05Z"));
        row("negative offset into the next year", "2025-12-31T23:00:00.5-02:00",
            utc("2026-01-01T01:00:00.500Z"));
        row("first second", "0001-01-01T00:00:00Z", utc("0001-01-01T00:00:00Z"));
        row("last second", "9999-12-31T23:59:59Z", utc("9999-12-31T23:59:59Z"));
        row("offset before year 1", "0001-01-01T00:30:00+01:00", none);
        row("offset past year 9999", "9999-12-31T23:30:00-01:00", none);
        row("year 0", "0000-06-01T00:00:00Z", none);
        row("no zone", "2026-03-07T12:00:05", none);
        row("lower-case z", "2026-03-07T12:00:05z", none);
        row("space for T", "2026-03-07 12:00:05Z", none);
        row("30 February", "2026-02-30T12:00:05Z", none);
        row("hour 24", "2026-03-07T24:00:00Z", none);
        row("leap second", "2026-03-07T23:59:60Z", none);
        row("offset 24 hours", "2026-03-07T12:00:05+24:00", none);
        row("offset without colon", "2026-03-07T12:00:05+0100", none);
        row("fraction without digits", "2026-03-07T12:00:05.Z", none);
        row("comma fraction", "2026-03-07T12:00:05,5Z", none);
        row("sign inside a field", "2026-+3-07T12:00:05Z", none);
        row("trailing text", "2026-03-07T12:00:05Z ", none);
        row("date only", "2026-03-07", none);
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
        const QByteArray deep = QByteArray(2000, '[') + QByteArray(2000, ']');
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("{");
        QTest::newRow("root array") << QByteArray("[]");
        QTest::newRow("trailing text") << document("{}") + " x";
        QTest::newRow("trailing comma") << document("{}").replace("}}", "},}");
        QTest::newRow("single quotes") << document("{'quietHoursEnabled': true}");
        QTest::newRow("comment") << document("{/* */}");
        QTest::newRow("no reminderEvents") << QByteArray(R"({"sessions": [], "settings": {}})");
        QTest::newRow("no sessions") << QByteArray(R"({"reminderEvents": [], "settings": {}})");
        QTest::newRow("no settings") << QByteArray(R"({"reminderEvents": [], "sessions": []})");
        QTest::newRow("null sessions") << document("{}", "null");
        QTest::newRow("null settings") << document("null");
        QTest::newRow("settings an array") << document("[]");
        QTest::newRow("flag as text") << settingDocument("dailySummaryEnabled", "\"true\"");
        QTest::newRow("flag as number") << settingDocument("quietHoursEnabled", "1");
        QTest::newRow("number as text") << settingDocument("dailySummaryHour", "\"20\"");
        QTest::newRow("fractional number") << settingDocument("dailySummaryHour", "20.5");
        QTest::newRow("number past 64 bits")
            << settingDocument("dailySummaryMinute", "9223372036854775808");
        QTest::newRow("exponent past 64 bits") << settingDocument("quietHoursEndHour", "1e19");
        QTest::newRow("leading zero") << settingDocument("quietHoursEndHour", "08");
        QTest::newRow("capitalised appearance") << settingDocument("appearanceMode", "\"System\"");
        QTest::newRow("rule list an object") << settingDocument("monitoredApps", "{}");
        QTest::newRow("rule not an object") << settingDocument("browserDomainRules", "[1]");
        QTest::newRow("web rule without host") << settingDocument(
            "browserDomainRules", R"([{"displayName": "A", "symbolName": "B"}])");
        QTest::newRow("rule without id") << ruleDocument("id", {});
        QTest::newRow("rule with unknown strategy") << ruleDocument("strategy", "\"prefix\"");
        QTest::newRow("session without id") << sessionDocument("id", {});
        QTest::newRow("session without appName") << sessionDocument("appName", {});
        QTest::newRow("session without sourceType") << sessionDocument("sourceType", {});
        QTest::newRow("session without endedAt") << sessionDocument("endedAt", {});
        QTest::newRow("null required text") << sessionDocument("appName", "null");
        QTest::newRow("optional text a number") << sessionDocument("domain", "5");
        QTest::newRow("unknown source type") << sessionDocument("sourceType", "\"web\"");
        QTest::newRow("timestamp a number") << sessionDocument("endedAt", "1772886600");
        QTest::newRow("uuid in braces")
            << sessionDocument("id", "\"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}\"");
        QTest::newRow("uuid without hyphens")
            << sessionDocument("id", "\"3F2504E04F8911D39A0C0305E82C3301\"");
        QTest::newRow("uuid too short")
            << sessionDocument("appRuleId", "\"3F2504E0-4F89-11D3-9A0C-0305E82C330\"");
        QTest::newRow("uuid not hex")
            << sessionDocument("appRuleId", "\"3F2504E0-4F89-11D3-9A0C-0305E82C330G\"");
        QTest::newRow("reminder with unknown action") << reminderDocument("action", "\"seen\"");
        QTest::newRow("reminder with unknown kind") << reminderDocument("kind", "\"weekly\"");
        QTest::newRow("reminder without shownAt") << reminderDocument("shownAt", {});
        QTest::newRow("day key a number")
            << "{\"mutedReminderDayKey\": 5, " + document("{}").mid(1);
        QTest::newRow("invalid UTF-8") << sessionDocument("appName", "\"\xC3\x28\"");
        QTest::newRow("short unicode escape") << sessionDocument("appName", "\"\\u41\"");
        QTest::newRow("unused number out of range") << sessionDocument("size", "1e400");
        QTest::newRow("unused value nested too deep") << sessionDocument("extra", deep);
    }

    void malformed()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(StateCodec::decode(text), std::nullopt);
    }

    void unwritableTimesFailTheWholeEncoding()
    {
        StoredState state = fullState();
        state.sessions[1].endedAt = QDateTime();
        QVERIFY(StateCodec::encode(state).isEmpty());
        state.sessions[1].endedAt = utc("9999-12-31T23:59:59Z").addSecs(1);
        QVERIFY(StateCodec::encode(state).isEmpty());
    }
};

QTEST_GUILESS_MAIN(StateCodecTest)
#include "test_statecodec.moc"
