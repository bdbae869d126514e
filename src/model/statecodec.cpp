#include "statecodec.h"

#include "jsonwriter.h"
#include "storedvalues.h"

#include <algorithm>

namespace kelvo::StateCodec {

namespace {

using namespace Qt::Literals::StringLiterals;

// Writes the document with its keys in ascending order. A time that the document cannot hold
// makes the whole state unwritable, rather than putting a value into the file that would make
// it unreadable.
class StateWriter final {
public:
    explicit StateWriter(qsizetype expectedSize)
        : m_json(expectedSize)
    {}

    void state(const StoredState& state);
    bool ok() const { return m_ok; }
    QByteArray take() { return m_json.take(); }

private:
    void settings(const AppSettings& settings);
    void desktopRule(const MonitoredAppRule& rule);
    void webRule(const BrowserDomainRule& rule);
    void session(const AiUsageSession& session);
    void reminder(const ReminderEvent& event);

    void put(QLatin1StringView key, QStringView text);
    void put(QLatin1StringView key, const QUuid& id);
    void put(QLatin1StringView key, const QDateTime& time);
    void put(QLatin1StringView key, qint64 number);
    void put(QLatin1StringView key, bool flag);
    template <typename E>
    requires std::is_enum_v<E>
    void put(QLatin1StringView key, E value)
    {
        for (const auto& [candidate, text] : EnumTexts<E>::cases) {
            if (candidate == value)
                put(key, QStringView(text.data(), qsizetype(text.size())));
        }
    }
    template <typename T>
    void put(QLatin1StringView key, const std::optional<T>& value)
    {
        if (value)
            put(key, *value);
    }

    JsonWriter m_json;
    StoredValues::TimestampWriter m_timestamps;
    bool m_ok = true;
};

void StateWriter::put(QLatin1StringView key, QStringView text)
{
    m_json.key(key);
    m_json.text(text);
}

void StateWriter::put(QLatin1StringView key, const QUuid& id)
{
    m_json.key(key);
    // Upper-cased while copied; a to f are the only letters in it.
    const QByteArray text = id.toByteArray(QUuid::WithoutBraces);
    std::transform(text.begin(), text.end(), m_json.plainText(text.size()),
                   [](char c) { return c >= 'a' ? char(c - 'a' + 'A') : c; });
}

void StateWriter::put(QLatin1StringView key, const QDateTime& time)
{
    m_json.key(key);
    if (!m_timestamps.write(time, m_json.plainText(StoredValues::timestampLength)))
        m_ok = false;
}

void StateWriter::put(QLatin1StringView key, qint64 number)
{
    m_json.key(key);
    m_json.number(number);
}

void StateWriter::put(QLatin1StringView key, bool flag)
{
    m_json.key(key);
    m_json.flag(flag);
}

void StateWriter::desktopRule(const MonitoredAppRule& rule)
{
    m_json.beginObject();
    put("displayName"_L1, rule.displayName);
    put("id"_L1, rule.id);
    put("matchValue"_L1, rule.matchValue);
    put("strategy"_L1, rule.strategy);
    m_json.endObject();
}

void StateWriter::webRule(const BrowserDomainRule& rule)
{
    m_json.beginObject();
    put("displayName"_L1, rule.displayName);
    put("host"_L1, rule.host);
    put("symbolName"_L1, rule.symbolName);
    m_json.endObject();
}

template <typename T, typename WriteOne>
void putList(JsonWriter& json, QLatin1StringView key, const QList<T>& list, WriteOne writeOne)
{
    json.key(key);
    json.beginArray();
    for (const T& item : list) {
        json.element();
        writeOne(item);
    }
    json.endArray();
}

void StateWriter::settings(const AppSettings& s)
{
    m_json.beginObject();
    put("appearanceMode"_L1, s.appearanceMode);
    putList(m_json, "browserDomainRules"_L1, s.browserDomainRules,
            [this](const BrowserDomainRule& rule) { webRule(rule); });
    put("dailySummaryEnabled"_L1, s.dailySummaryEnabled);
    put("dailySummaryHour"_L1, s.dailySummaryHour);
    put("dailySummaryMinute"_L1, s.dailySummaryMinute);
    put("desktopMonitoringEnabled"_L1, s.desktopMonitoringEnabled);
    put("desktopWidgetEnabled"_L1, s.desktopWidgetEnabled);
    putList(m_json, "monitoredApps"_L1, s.monitoredApps,
            [this](const MonitoredAppRule& rule) { desktopRule(rule); });
    put("quietHoursEnabled"_L1, s.quietHoursEnabled);
    put("quietHoursEndHour"_L1, s.quietHoursEndHour);
    put("quietHoursEndMinute"_L1, s.quietHoursEndMinute);
    put("quietHoursStartHour"_L1, s.quietHoursStartHour);
    put("quietHoursStartMinute"_L1, s.quietHoursStartMinute);
    put("realtimeRemindersEnabled"_L1, s.realtimeRemindersEnabled);
    put("webMonitoringEnabled"_L1, s.webMonitoringEnabled);
    m_json.endObject();
}

void StateWriter::session(const AiUsageSession& s)
{
    m_json.beginObject();
    put("appName"_L1, s.appName);
    put("appRuleId"_L1, s.appRuleId);
    put("browserName"_L1, s.browserName);
    put("bundleIdentifier"_L1, s.bundleIdentifier);
    put("domain"_L1, s.domain);
    put("endedAt"_L1, s.endedAt);
    put("firstReminderShownAt"_L1, s.firstReminderShownAt);
    put("id"_L1, s.id);
    put("sourceIdentifier"_L1, s.sourceIdentifier);
    put("sourceType"_L1, s.sourceType);
    put("startedAt"_L1, s.startedAt);
    m_json.endObject();
}

void StateWriter::reminder(const ReminderEvent& event)
{
    m_json.beginObject();
    put("action"_L1, event.action);
    put("id"_L1, event.id);
    put("kind"_L1, event.kind);
    put("sessionId"_L1, event.sessionId);
    put("shownAt"_L1, event.shownAt);
    m_json.endObject();
}

void StateWriter::state(const StoredState& state)
{
    m_json.beginObject();
    put("lastDailySummaryDayKey"_L1, state.lastDailySummaryDayKey);
    put("mutedReminderDayKey"_L1, state.mutedReminderDayKey);
    putList(m_json, "reminderEvents"_L1, state.reminderEvents,
            [this](const ReminderEvent& event) { reminder(event); });
    putList(m_json, "sessions"_L1, state.sessions,
            [this](const AiUsageSession& item) { session(item); });
    m_json.key("settings"_L1);
    settings(state.settings);
    m_json.endObject();
}

// Generous guesses per record, so the buffer rarely has to grow while writing.
qsizetype expectedSize(const StoredState& state)
{
    return 4096 + state.sessions.size() * 640 + state.reminderEvents.size() * 320;
}

} // namespace

QByteArray encode(const StoredState& state)
{
    StateWriter writer(expectedSize(state));
    writer.state(state);
    if (!writer.ok())
        return {};
    return writer.take();
}

} // namespace kelvo::StateCodec
