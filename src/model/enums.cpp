#include "enums.h"

namespace kelvo {

ReminderUserAction reminderUserActionFromIdentifier(QStringView identifier)
{
    return fromStoredText<ReminderUserAction>(identifier).value_or(ReminderUserAction::dismissed);
}

} // namespace kelvo
