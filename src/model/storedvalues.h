#pragma once

#include <QDateTime>
#include <QStringView>
#include <QUuid>

#include <limits>
#include <optional>

namespace kelvo::StoredValues {

constexpr qsizetype timestampLength = 20; // "YYYY-MM-DDTHH:MM:SSZ"
constexpr qsizetype uuidLength = 36;

// "YYYY-MM-DDTHH:MM:SS", an optional fraction of a second and "Z" or a "±HH:MM" offset, naming
// a real date and time whose UTC form lies in the years 1 to 9999. The result is in UTC; the
// fraction is kept to the millisecond, further digits cut off rather than rounded.
std::optional<QDateTime> parseTimestamp(QStringView text);

// Writes times as "YYYY-MM-DDTHH:MM:SSZ" in UTC, the fraction of a second dropped. It keeps the
// text of the last day it wrote, since the times of one record mostly fall on the same day.
class TimestampWriter final {
public:
    // False for an invalid time or one outside the years 1 to 9999, which the form cannot hold.
    bool write(const QDateTime& value, char* out);

private:
    qint64 m_day = std::numeric_limits<qint64>::min(); // days since 1970-01-01
    char m_dayText[10] = {};
};

// Exactly 36 characters, 8-4-4-4-12 hexadecimal digits in either case, no braces.
std::optional<QUuid> parseUuid(QStringView text);

} // namespace kelvo::StoredValues
