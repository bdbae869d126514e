#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

// The one vocabulary of time in the user interface: every duration text and every day key.
namespace kelvo::Formatting {

// Hours and minutes, minutes, or seconds ("2小时5分", "59分", "0秒"); negative reads as 0秒.
QString duration(double seconds);
// The compact form for the tray title ("2时", "1时5分", "10分"); below one second reads "0分".
QString shortDuration(double seconds);
// "+" or "-" followed by duration() of the magnitude, or "持平" for zero.
QString signedDurationDelta(double seconds);
// The local day of `date` in `calendar` as "%04d-%02d-%02d"; unknown components read as 0.
QString dayKey(const QDateTime& date, const QTimeZone& calendar);

} // namespace kelvo::Formatting
