#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <utility>

namespace kelvo {

enum class AppearanceMode { system, light, dark };
enum class AppMatchStrategy { bundleIdentifier, localizedNameContains };
enum class SessionSourceType { desktopApp, browserDomain };
enum class ReminderKind { sessionStart, sessionFollowUp, dailySummary };
enum class ReminderAction { shown, acknowledged, snoozed, muteToday, dismissed };
// The user's answer to a notification; its stored texts are the notification action identifiers.
enum class ReminderUserAction { acknowledge, snooze, muteToday, dismissed };
// Never stored, so it has no text form.
enum class NotificationAuthorizationState { unsupported, notDetermined, denied, authorized };

// Each enumeration with a stored text lists its cases in declaration order with their texts.
template <typename E>
struct EnumTexts;

template <>
struct EnumTexts<AppearanceMode> {
    static constexpr std::array<std::pair<AppearanceMode, std::u16string_view>, 3> cases{{
        {AppearanceMode::system, u"system"},
        {AppearanceMode::light, u"light"},
        {AppearanceMode::dark, u"dark"},
    }};
};

template <>
struct EnumTexts<AppMatchStrategy> {
    static constexpr std::array<std::pair<AppMatchStrategy, std::u16string_view>, 2> cases{{
        {AppMatchStrategy::bundleIdentifier, u"bundleIdentifier"},
        {AppMatchStrategy::localizedNameContains, u"localizedNameContains"},
    }};
};

template <>
struct EnumTexts<SessionSourceType> {
    static constexpr std::array<std::pair<SessionSourceType, std::u16string_view>, 2> cases{{
        {SessionSourceType::desktopApp, u"desktopApp"},
        {SessionSourceType::browserDomain, u"browserDomain"},
    }};
};

template <>
struct EnumTexts<ReminderKind> {
    static constexpr std::array<std::pair<ReminderKind, std::u16string_view>, 3> cases{{
        {ReminderKind::sessionStart, u"sessionStart"},
        {ReminderKind::sessionFollowUp, u"sessionFollowUp"},
        {ReminderKind::dailySummary, u"dailySummary"},
    }};
};

template <>
struct EnumTexts<ReminderAction> {
    static constexpr std::array<std::pair<ReminderAction, std::u16string_view>, 5> cases{{
        {ReminderAction::shown, u"shown"},
        {ReminderAction::acknowledged, u"acknowledged"},
        {ReminderAction::snoozed, u"snoozed"},
        {ReminderAction::muteToday, u"muteToday"},
        {ReminderAction::dismissed, u"dismissed"},
    }};
};

template <>
struct EnumTexts<ReminderUserAction> {
    static constexpr std::array<std::pair<ReminderUserAction, std::u16string_view>, 4> cases{{
        {ReminderUserAction::acknowledge, u"ACK"},
        {ReminderUserAction::snooze, u"SNOOZE"},
        {ReminderUserAction::muteToday, u"MUTE_TODAY"},
        {ReminderUserAction::dismissed, u"DISMISSED"},
    }};
};

template <typename E>
QString storedText(E value)
{
    for (const auto& [candidate, text] : EnumTexts<E>::cases) {
        if (candidate == value)
            return QString::fromUtf16(text.data(), qsizetype(text.size()));
    }
    return {};
}

// Exact, case-sensitive; an unknown text converts to nothing.
template <typename E>
std::optional<E> fromStoredText(QStringView text)
{
    for (const auto& [candidate, stored] : EnumTexts<E>::cases) {
        if (text == QStringView(stored.data(), qsizetype(stored.size())))
            return candidate;
    }
    return std::nullopt;
}

template <typename E>
constexpr auto allCases()
{
    std::array<E, EnumTexts<E>::cases.size()> result{};
    for (std::size_t i = 0; i < result.size(); ++i)
        result[i] = EnumTexts<E>::cases[i].first;
    return result;
}

// Total conversion from a notification action identifier: anything but the three answer
// identifiers (a click on the body, a dismissal, "DISMISSED", "ack") is a dismissal.
ReminderUserAction reminderUserActionFromIdentifier(QStringView identifier);

} // namespace kelvo
