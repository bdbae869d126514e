#include "storedvalues.h"

#include <cstring>

namespace kelvo::StoredValues {

namespace {

constexpr int minYear = 1;
constexpr int maxYear = 9999;

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The value of `count` decimal digits at `position`, or -1 when any of them is not a digit.
int digitsAt(QStringView text, qsizetype position, qsizetype count)
{
    int value = 0;
    for (qsizetype i = position; i < position + count; ++i) {
        if (!isDigit(text[i]))
            return -1;
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return value;
}

// Milliseconds of the fraction whose digits start at `position`; moves `position` past them.
// -1 when there is no digit.
int fractionAt(QStringView text, qsizetype& position)
{
    const qsizetype start = position;
    int msec = 0;
    while (position < text.size() && isDigit(text[position])) {
        if (position - start < 3)
            msec = msec * 10 + (text[position].unicode() - u'0');
        ++position;
    }
    const qsizetype digits = position - start;
    if (digits == 0)
        return -1;
    for (qsizetype i = digits; i < 3; ++i)
        msec *= 10;
    return msec;
}

// Offset from UTC in seconds of "Z" or "±HH:MM"; nothing for any other text.
std::optional<int> zoneOffset(QStringView zone)
{
    if (zone == u"Z")
        return 0;
    if (zone.size() != 6 || (zone[0] != u'+' && zone[0] != u'-') || zone[3] != u':')
        return std::nullopt;
    const int hours = digitsAt(zone, 1, 2);
    const int minutes = digitsAt(zone, 4, 2);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
        return std::nullopt;
    const int seconds = hours * 3600 + minutes * 60;
    return zone[0] == u'-' ? -seconds : seconds;
}

bool hasDateTimeSeparators(QStringView text)
{
    return text[4] == u'-' && text[7] == u'-' && text[10] == u'T' && text[13] == u':' &&
           text[16] == u':';
}

void putDigits(char* out, int value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
}

} // namespace

std::optional<QDateTime> parseTimestamp(QStringView text)
{
    constexpr qsizetype wholeSecondsLength = 19; // "YYYY-MM-DDTHH:MM:SS"
    if (text.size() < wholeSecondsLength + 1 || !hasDateTimeSeparators(text))
        return std::nullopt;
    const int year = digitsAt(text, 0, 4);
    qsizetype position = wholeSecondsLength;
    const int msec = text[position] == u'.' ? fractionAt(text, ++position) : 0;
    const std::optional<int> offset = zoneOffset(text.sliced(position));
    // Any other component that is not all digits is -1 here, which QDate and QTime refuse just
    // as they refuse 02-30 or 24:00.
    const QDate date(year, digitsAt(text, 5, 2), digitsAt(text, 8, 2));
    const QTime time(digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2), msec);
    if (!offset || year < minYear || !date.isValid() || !time.isValid())
        return std::nullopt;
    if (*offset == 0)
        return QDateTime(date, time, Qt::UTC);
    const QDateTime utc = QDateTime(date, time, Qt::OffsetFromUTC, *offset).toUTC();
    const int utcYear = utc.date().year();
    if (!utc.isValid() || utcYear < minYear || utcYear > maxYear)
        return std::nullopt;
    return utc;
}

bool TimestampWriter::write(const QDateTime& value, char* out)
{
    if (!value.isValid())
        return false;
    constexpr qint64 msecsPerDay = 86'400'000;
    const qint64 msecs = value.toMSecsSinceEpoch();
    const qint64 day = msecs / msecsPerDay - (msecs % msecsPerDay < 0 ? 1 : 0);
    if (day != m_day) {
        int year = 0;
        int month = 0;
        int dayOfMonth = 0;
        QDate(1970, 1, 1).addDays(day).getDate(&year, &month, &dayOfMonth);
        if (year < minYear || year > maxYear)
            return false;
        std::memcpy(m_dayText, "0000-00-00", sizeof m_dayText);
        putDigits(m_dayText, year, 4);
        putDigits(m_dayText + 5, month, 2);
        putDigits(m_dayText + 8, dayOfMonth, 2);
        m_day = day;
    }
    const int secondOfDay = int(msecs - day * msecsPerDay) / 1000;
    std::memcpy(out, m_dayText, sizeof m_dayText);
    std::memcpy(out + sizeof m_dayText, "T00:00:00Z", 10);
    putDigits(out + 11, secondOfDay / 3600, 2);
    putDigits(out + 14, secondOfDay / 60 % 60, 2);
    putDigits(out + 17, secondOfDay % 60, 2);
    return true;
}

std::optional<QUuid> parseUuid(QStringView text)
{
    // The shape is checked here, as QUuid::fromString() would also take braces; the text is then
    // handed over as Latin-1, which spares QUuid a conversion of its own.
    if (text.size() != uuidLength)
        return std::nullopt;
    char latin1[uuidLength];
    int hyphens = 0;
    for (qsizetype i = 0; i < uuidLength; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'-')
            ++hyphens;
        else if (!isHexDigit(c))
            return std::nullopt;
        latin1[i] = char(c);
    }
    if (hyphens != 4 || latin1[8] != '-' || latin1[13] != '-' || latin1[18] != '-' ||
        latin1[23] != '-') {
        return std::nullopt;
    }
    return QUuid::fromString(QLatin1StringView(latin1, uuidLength));
}

} // namespace kelvo::StoredValues
