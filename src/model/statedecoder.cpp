#include "statecodec.h"

#include "jsonreader.h"
#include "storedvalues.h"

#include <algorithm>
#include <span>
#include <type_traits>

namespace kelvo::StateCodec {

namespace {

// Reading one value of a model type, chosen by the tag. Each yields nothing, with the reader
// failed, when the value has the wrong JSON type or form.

template <typename T>
using Tag = std::type_identity<T>;

std::optional<QString> readValue(JsonReader& reader, Tag<QString>)
{
    return reader.readText();
}

std::optional<bool> readValue(JsonReader& reader, Tag<bool>)
{
    return reader.readFlag();
}

std::optional<qint64> readValue(JsonReader& reader, Tag<qint64>)
{
    return reader.readWholeNumber();
}

std::optional<QUuid> readValue(JsonReader& reader, Tag<QUuid>)
{
    const std::optional<QByteArrayView> text = reader.readTextBytes();
    return text ? StoredValues::parseUuid(*text) : std::nullopt;
}

std::optional<QDateTime> readValue(JsonReader& reader, Tag<QDateTime>)
{
    const std::optional<QByteArrayView> text = reader.readTextBytes();
    return text ? StoredValues::parseTimestamp(*text) : std::nullopt;
}

template <typename E>
requires std::is_enum_v<E> std::optional<E> readValue(JsonReader& reader, Tag<E>)
{
    const std::optional<QByteArrayView> text = reader.readTextBytes();
    if (!text)
        return std::nullopt;
    for (const auto& [value, stored] : EnumTexts<E>::cases) {
        if (QStringView(stored.data(), qsizetype(stored.size())) == QLatin1StringView(*text))
            return value;
    }
    return std::nullopt;
}

template <typename Record>
std::optional<QList<Record>> readValue(JsonReader& reader, Tag<QList<Record>>);
std::optional<AppSettings> readValue(JsonReader& reader, Tag<AppSettings>);

// One member of a record: `read` reads the member's value, null included, into the record.
template <typename Record>
struct Field {
    QByteArrayView key;
    bool required;
    bool (*read)(JsonReader&, Record&);
};

// Reads an object member by member. Unknown keys are checked and skipped; of a key given twice
// the last one counts, as with other JSON readers.
template <typename Record>
bool readRecord(JsonReader& reader, Record& record, std::span<const Field<Record>> fields)
{
    if (!reader.enterObject())
        return false;
    quint32 seen = 0;
    QByteArrayView key;
    while (reader.nextMember(&key)) {
        const auto field = std::find_if(fields.begin(), fields.end(),
                                        [&](const Field<Record>& f) { return f.key == key; });
        if (field == fields.end()) {
            reader.skipValue();
            continue;
        }
        if (!field->read(reader, record))
            return false;
        seen |= 1u << (field - fields.begin());
    }
    for (qsizetype i = 0; i < qsizetype(fields.size()); ++i) {
        if (fields[i].required && !(seen & (1u << i)))
            return false;
    }
    return !reader.failed();
}

template <typename M>
struct MemberTraits;
template <typename R, typename T>
struct MemberTraits<T R::*> {
    using Record = R;
    using Type = T;
};

template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {};

// A member of a record: a std::optional member is absent when missing or null; any other member
// must be present with a value.
template <auto member>
bool readMember(JsonReader& reader, typename MemberTraits<decltype(member)>::Record& record)
{
    using Type = typename MemberTraits<decltype(member)>::Type;
    if constexpr (IsOptional<Type>::value) {
        if (reader.readNull()) {
            (record.*member).reset();
            return true;
        }
        record.*member = readValue(reader, Tag<typename Type::value_type>());
        return (record.*member).has_value();
    } else {
        std::optional<Type> value = readValue(reader, Tag<Type>());
        if (value)
            record.*member = std::move(*value);
        return value.has_value();
    }
}

// A member of the settings: missing or null takes the value of the default settings.
template <auto member>
bool readSetting(JsonReader& reader, AppSettings& settings)
{
    using Type = typename MemberTraits<decltype(member)>::Type;
    if (reader.readNull()) {
        settings.*member = AppSettings::defaults().*member;
        return true;
    }
    std::optional<Type> value = readValue(reader, Tag<Type>());
    if (value)
        settings.*member = std::move(*value);
    return value.has_value();
}

template <typename Record, auto member>
constexpr Field<Record> required(QByteArrayView key)
{
    return {key, true, readMember<member>};
}

template <typename Record, auto member>
constexpr Field<Record> optional(QByteArrayView key)
{
    return {key, false, readMember<member>};
}

template <auto member>
constexpr Field<AppSettings> setting(QByteArrayView key)
{
    return {key, false, readSetting<member>};
}

using Rule = MonitoredAppRule;
constexpr Field<Rule> desktopRuleFields[] = {
    required<Rule, &Rule::displayName>("displayName"),
    required<Rule, &Rule::id>("id"),
    required<Rule, &Rule::matchValue>("matchValue"),
    required<Rule, &Rule::strategy>("strategy"),
};

using WebRule = BrowserDomainRule;
constexpr Field<WebRule> webRuleFields[] = {
    required<WebRule, &WebRule::displayName>("displayName"),
    required<WebRule, &WebRule::host>("host"),
    required<WebRule, &WebRule::symbolName>("symbolName"),
};

using Session = AiUsageSession;
constexpr Field<Session> sessionFields[] = {
    required<Session, &Session::appName>("appName"),
    optional<Session, &Session::appRuleId>("appRuleId"),
    optional<Session, &Session::browserName>("browserName"),
    optional<Session, &Session::bundleIdentifier>("bundleIdentifier"),
    optional<Session, &Session::domain>("domain"),
    required<Session, &Session::endedAt>("endedAt"),
    optional<Session, &Session::firstReminderShownAt>("firstReminderShownAt"),
    required<Session, &Session::id>("id"),
    optional<Session, &Session::sourceIdentifier>("sourceIdentifier"),
    required<Session, &Session::sourceType>("sourceType"),
    required<Session, &Session::startedAt>("startedAt"),
};

using Event = ReminderEvent;
constexpr Field<Event> reminderFields[] = {
    required<Event, &Event::action>("action"),   required<Event, &Event::id>("id"),
    required<Event, &Event::kind>("kind"),       optional<Event, &Event::sessionId>("sessionId"),
    required<Event, &Event::shownAt>("shownAt"),
};

using Settings = AppSettings;
constexpr Field<Settings> settingsFields[] = {
    setting<&Settings::appearanceMode>("appearanceMode"),
    setting<&Settings::browserDomainRules>("browserDomainRules"),
    setting<&Settings::dailySummaryEnabled>("dailySummaryEnabled"),
    setting<&Settings::dailySummaryHour>("dailySummaryHour"),
    setting<&Settings::dailySummaryMinute>("dailySummaryMinute"),
    setting<&Settings::desktopMonitoringEnabled>("desktopMonitoringEnabled"),
    setting<&Settings::desktopWidgetEnabled>("desktopWidgetEnabled"),
    setting<&Settings::monitoredApps>("monitoredApps"),
    setting<&Settings::quietHoursEnabled>("quietHoursEnabled"),
    setting<&Settings::quietHoursEndHour>("quietHoursEndHour"),
    setting<&Settings::quietHoursEndMinute>("quietHoursEndMinute"),
    setting<&Settings::quietHoursStartHour>("quietHoursStartHour"),
    setting<&Settings::quietHoursStartMinute>("quietHoursStartMinute"),
    setting<&Settings::realtimeRemindersEnabled>("realtimeRemindersEnabled"),
    setting<&Settings::webMonitoringEnabled>("webMonitoringEnabled"),
};

using State = StoredState;
constexpr Field<State> stateFields[] = {
    optional<State, &State::lastDailySummaryDayKey>("lastDailySummaryDayKey"),
    optional<State, &State::mutedReminderDayKey>("mutedReminderDayKey"),
    required<State, &State::reminderEvents>("reminderEvents"),
    required<State, &State::sessions>("sessions"),
    required<State, &State::settings>("settings"),
};

template <typename Record>
constexpr std::span<const Field<Record>> fieldsOf()
{
    if constexpr (std::is_same_v<Record, Rule>)
        return desktopRuleFields;
    else if constexpr (std::is_same_v<Record, WebRule>)
        return webRuleFields;
    else if constexpr (std::is_same_v<Record, Session>)
        return sessionFields;
    else
        return reminderFields;
}

// Records are read in place at the end of the list, so nothing is copied.
template <typename Record>
std::optional<QList<Record>> readList(JsonReader& reader)
{
    if (!reader.enterArray())
        return std::nullopt;
    QList<Record> list;
    while (reader.nextElement()) {
        if (!readRecord(reader, list.emplace_back(), fieldsOf<Record>()))
            return std::nullopt;
    }
    return reader.failed() ? std::nullopt : std::optional(std::move(list));
}

template <typename Record>
std::optional<QList<Record>> readValue(JsonReader& reader, Tag<QList<Record>>)
{
    return readList<Record>(reader);
}

std::optional<Settings> readValue(JsonReader& reader, Tag<Settings>)
{
    Settings settings = Settings::defaults();
    if (!readRecord<Settings>(reader, settings, settingsFields))
        return std::nullopt;
    return settings;
}

} // namespace

std::optional<StoredState> decode(const QByteArray& document)
{
    // Checked once for the whole text; the reader relies on it inside strings.
    if (!QByteArrayView(document).isValidUtf8())
        return std::nullopt;
    JsonReader reader(document);
    StoredState state;
    if (!readRecord<State>(reader, state, stateFields) || !reader.atEnd())
        return std::nullopt;
    return state;
}

} // namespace kelvo::StateCodec
