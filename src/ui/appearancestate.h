#pragma once

#include "model/enums.h"
#include "theme.h"

#include <QObject>

namespace kelvo {

// The appearance Kelvo draws with: the user's choice, or the desktop's preference when the
// choice is to follow the system.
class AppearanceState final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    static Appearance resolve(AppearanceMode mode, bool systemPrefersDark);

    void setMode(AppearanceMode mode);
    void setSystemPrefersDark(bool dark);
    Appearance appearance() const { return resolve(m_mode, m_systemPrefersDark); }

signals:
    // Only when the resolved appearance changed.
    void appearanceChanged(Appearance appearance);

private:
    void update(AppearanceMode mode, bool systemPrefersDark);

    AppearanceMode m_mode = AppearanceMode::system;
    bool m_systemPrefersDark = false;
};

} // namespace kelvo
