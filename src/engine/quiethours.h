#pragma once

#include "model/appsettings.h"

#include <QDateTime>
#include <QTimeZone>

namespace kelvo {

// Whether `now` lies in the quiet window of `settings`, read in `zone`: start minute included,
// end minute excluded, seconds ignored; a window whose start equals its end covers the whole day,
// and one whose start is later than its end runs past midnight.
bool isInQuietHours(const AppSettings& settings, const QDateTime& now, const QTimeZone& zone);

} // namespace kelvo
