#include "foregroundsession.h"

namespace kelvo {

bool isWaylandSession(const QProcessEnvironment& environment)
{
    const QString type = environment.value(QStringLiteral("XDG_SESSION_TYPE")).trimmed();
    return type.compare(QLatin1StringView("wayland"), Qt::CaseInsensitive) == 0 ||
           !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

} // namespace kelvo
