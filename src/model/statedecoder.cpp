#include "statecodec.h"

#include "storedvalues.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <span>
#include <type_traits>

namespace kelvo::StateCodec {

namespace {

using namespace Qt::Literals::StringLiterals;

// Reading one value of a model type, chosen by the tag. Each yields nothing when the value has
// the wrong JSON type or form.

template <typename T>
using Tag = std::type_identity<T>;

std::optional<QString> readValue(QJsonValueConstRef value, Tag<QString>)
{
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

std::optional<bool> readValue(QJsonValueConstRef value, Tag<bool>)
{
    return value.isBool() ? std::optional(value.toBool()) : std::nullopt;
}

// Any number whose value is whole and fits in 64 bits: 20, 20.0 and 2e1 alike. Qt keeps such
// values as integers and others as doubles; toInteger() gives 0 for a double that has no
// integer value, which toDouble() then tells apart from a real 0.
std::optional<qint64> readValue(QJsonValueConstRef value, Tag<qint64>)
{
    if (!value.isDouble())
        return std::nullopt;
    const qint64 number = value.toInteger();
    if (number == 0 && value.toDouble() != 0)
        return std::nullopt;
    return number;
}

std::optional<QUuid> readValue(QJsonValueConstRef value, Tag<QUuid>)
{
    return value.isString() ? StoredValues::parseUuid(value.toString()) : std::nullopt;
}

std::optional<QDateTime> readValue(QJsonValueConstRef value, Tag<QDateTime>)
{
    return value.isString() ? StoredValues::parseTimestamp(value.toString()) : std::nullopt;
}

template <typename E>
requires std::is_enum_v<E> std::optional<E> readValue(QJsonValueConstRef value, Tag<E>)
{
    if (!value.isString())
        return std::nullopt;
    const QString text = value.toString();
    for (const auto& [candidate, stored] : EnumTexts<E>::cases) {
        if (QStringView(stored.data(), qsizetype(stored.size())) == text)
            return candidate;
    }
    return std::nullopt;
}

template <typename Record>
std::optional<QList<Record>> readValue(QJsonValueConstRef value, Tag<QList<Record>>);
std::optional<AppSettings> readValue(QJsonValueConstRef value, Tag<AppSettings>);

// One member of a record: `read` reads a value other than null into the record.
template <typename Record>
struct Field {
    QLatin1StringView key;
    bool required;
    bool (*read)(QJsonValueConstRef, Record&);
};

// Reads an object member by member; unknown keys are passed over. A member that is missing or
// null fails the record when it is required and otherwise leaves the record's own value: absent
// for an optional field, the default for a setting. (Going through the members once, keys as
// QString, costs less than a binary search for every field, whose key comparisons are slow.)
template <typename Record>
bool readRecord(const QJsonObject& object, Record& record, std::span<const Field<Record>> fields)
{
    quint32 seen = 0;
    for (auto member = object.constBegin(), end = object.constEnd(); member != end; ++member) {
        const QString key = member.key();
        const auto field = std::find_if(fields.begin(), fields.end(),
                                        [&key](const Field<Record>& f) { return f.key == key; });
        if (field == fields.end() || member.value().isNull())
            continue;
        if (!field->read(member.value(), record))
            return false;
        seen |= 1u << (field - fields.begin());
    }
    for (qsizetype i = 0; i < qsizetype(fields.size()); ++i) {
        if (fields[i].required && !(seen & (1u << i)))
            return false;
    }
    return true;
}

template <typename M>
struct MemberTraits;
template <typename R, typename T>
struct MemberTraits<T R::*> {
    using Record = R;
    using Type = T;
};

template <typename T>
struct ValueOf {
    using Type = T;
};
template <typename T>
struct ValueOf<std::optional<T>> {
    using Type = T;
};

template <auto member>
bool readMember(QJsonValueConstRef value, typename MemberTraits<decltype(member)>::Record& record)
{
    using Type = typename ValueOf<typename MemberTraits<decltype(member)>::Type>::Type;
    std::optional<Type> read = readValue(value, Tag<Type>());
    if (read)
        record.*member = std::move(*read);
    return read.has_value();
}

template <typename Record, auto member>
constexpr Field<Record> required(QLatin1StringView key)
{
    return {key, true, readMember<member>};
}

// Optional fields and settings alike: the record already holds what a missing key means.
template <typename Record, auto member>
constexpr Field<Record> optional(QLatin1StringView key)
{
    return {key, false, readMember<member>};
}

using Rule = MonitoredAppRule;
constexpr Field<Rule> desktopRuleFields[] = {
    required<Rule, &Rule::displayName>("displayName"_L1),
    required<Rule, &Rule::id>("id"_L1),
    required<Rule, &Rule::matchValue>("matchValue"_L1),
    required<Rule, &Rule::strategy>("strategy"_L1),
};

using WebRule = BrowserDomainRule;
constexpr Field<WebRule> webRuleFields[] = {
    required<WebRule, &WebRule::displayName>("displayName"_L1),
    required<WebRule, &WebRule::host>("host"_L1),
    required<WebRule, &WebRule::symbolName>("symbolName"_L1),
};

using Session = AiUsageSession;
constexpr Field<Session> sessionFields[] = {
    required<Session, &Session::appName>("appName"_L1),
    optional<Session, &Session::appRuleId>("appRuleId"_L1),
    optional<Session, &Session::browserName>("browserName"_L1),
    optional<Session, &Session::bundleIdentifier>("bundleIdentifier"_L1),
    optional<Session, &Session::domain>("domain"_L1),
    required<Session, &Session::endedAt>("endedAt"_L1),
    optional<Session, &Session::firstReminderShownAt>("firstReminderShownAt"_L1),
    required<Session, &Session::id>("id"_L1),
    optional<Session, &Session::sourceIdentifier>("sourceIdentifier"_L1),
    required<Session, &Session::sourceType>("sourceType"_L1),
    required<Session, &Session::startedAt>("startedAt"_L1),
};

using Event = ReminderEvent;
constexpr Field<Event> reminderFields[] = {
    required<Event, &Event::action>("action"_L1),
    required<Event, &Event::id>("id"_L1),
    required<Event, &Event::kind>("kind"_L1),
    optional<Event, &Event::sessionId>("sessionId"_L1),
    required<Event, &Event::shownAt>("shownAt"_L1),
};

using Settings = AppSettings;
constexpr Field<Settings> settingsFields[] = {
    optional<Settings, &Settings::appearanceMode>("appearanceMode"_L1),
    optional<Settings, &Settings::browserDomainRules>("browserDomainRules"_L1),
    optional<Settings, &Settings::dailySummaryEnabled>("dailySummaryEnabled"_L1),
    optional<Settings, &Settings::dailySummaryHour>("dailySummaryHour"_L1),
    optional<Settings, &Settings::dailySummaryMinute>("dailySummaryMinute"_L1),
    optional<Settings, &Settings::desktopMonitoringEnabled>("desktopMonitoringEnabled"_L1),
    optional<Settings, &Settings::desktopWidgetEnabled>("desktopWidgetEnabled"_L1),
    optional<Settings, &Settings::monitoredApps>("monitoredApps"_L1),
    optional<Settings, &Settings::quietHoursEnabled>("quietHoursEnabled"_L1),
    optional<Settings, &Settings::quietHoursEndHour>("quietHoursEndHour"_L1),
    optional<Settings, &Settings::quietHoursEndMinute>("quietHoursEndMinute"_L1),
    optional<Settings, &Settings::quietHoursStartHour>("quietHoursStartHour"_L1),
    optional<Settings, &Settings::quietHoursStartMinute>("quietHoursStartMinute"_L1),
    optional<Settings, &Settings::realtimeRemindersEnabled>("realtimeRemindersEnabled"_L1),
    optional<Settings, &Settings::webMonitoringEnabled>("webMonitoringEnabled"_L1),
};

using State = StoredState;
constexpr Field<State> stateFields[] = {
    optional<State, &State::lastDailySummaryDayKey>("lastDailySummaryDayKey"_L1),
    optional<State, &State::mutedReminderDayKey>("mutedReminderDayKey"_L1),
    required<State, &State::reminderEvents>("reminderEvents"_L1),
    required<State, &State::sessions>("sessions"_L1),
    required<State, &State::settings>("settings"_L1),
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
std::optional<QList<Record>> readValue(QJsonValueConstRef value, Tag<QList<Record>>)
{
    if (!value.isArray())
        return std::nullopt;
    const QJsonArray array = value.toArray();
    QList<Record> list;
    list.reserve(array.size());
    for (const QJsonValueConstRef element : array) {
        if (!element.isObject() ||
            !readRecord(element.toObject(), list.emplace_back(), fieldsOf<Record>())) {
            return std::nullopt;
        }
    }
    return list;
}

std::optional<Settings> readValue(QJsonValueConstRef value, Tag<Settings>)
{
    Settings settings = Settings::defaults();
    if (!value.isObject() || !readRecord<Settings>(value.toObject(), settings, settingsFields))
        return std::nullopt;
    return settings;
}

} // namespace

// Qt's parser skips a leading UTF-8 byte order mark, which some editors write, and of a key
// given twice in one object keeps the last.
std::optional<StoredState> decode(const QByteArray& document)
{
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(document, &error);
    StoredState state;
    if (error.error != QJsonParseError::NoError || !json.isObject() ||
        !readRecord<State>(json.object(), state, stateFields)) {
        return std::nullopt;
    }
    return state;
}

} // namespace kelvo::StateCodec
