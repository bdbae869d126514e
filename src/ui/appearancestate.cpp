#include "appearancestate.h"

namespace kelvo {

Appearance AppearanceState::resolve(AppearanceMode mode, bool systemPrefersDark)
{
    switch (mode) {
    case AppearanceMode::light:
        return Appearance::light;
    case AppearanceMode::dark:
        return Appearance::dark;
    case AppearanceMode::system:
        break;
    }
    return systemPrefersDark ? Appearance::dark : Appearance::light;
}

void AppearanceState::setMode(AppearanceMode mode)
{
    update(mode, m_systemPrefersDark);
}

void AppearanceState::setSystemPrefersDark(bool dark)
{
    update(m_mode, dark);
}

void AppearanceState::update(AppearanceMode mode, bool systemPrefersDark)
{
    const Appearance before = appearance();
    m_mode = mode;
    m_systemPrefersDark = systemPrefersDark;
    if (appearance() != before)
        emit appearanceChanged(appearance());
}

} // namespace kelvo
