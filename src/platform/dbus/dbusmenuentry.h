#pragma once

#include <QString>
#include <QStringList>

namespace kelvo {

// One entry of the menu that a tray host shows, as published over com.canonical.dbusmenu.
struct DBusMenuEntry {
    enum class Kind { action, separator, checkmark };
    int id = 0; // > 0 and unique in one menu; 0 is the root
    Kind kind = Kind::action;
    QString label; // plain text as shown; an underscore is shown as it is, never as a mnemonic
    bool enabled = true;
    bool checked = false; // only for checkmark
    QStringList shortcut; // dbusmenu form, e.g. {"Control", "comma"}; empty for none
    bool operator==(const DBusMenuEntry&) const = default;
};

} // namespace kelvo
