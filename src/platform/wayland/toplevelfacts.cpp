#include "toplevelfacts.h"

#include <QString>

namespace kelvo {

namespace {

QString cleanAppId(const QByteArray& raw)
{
    QString id;
    for (const QChar character : QString::fromUtf8(raw)) {
        if (character.category() != QChar::Other_Control &&
            character != QChar::ReplacementCharacter)
            id.append(character);
    }
    id = id.trimmed();
    if (id.size() > maxAppIdLength) {
        id.truncate(maxAppIdLength);
        if (id.back().isHighSurrogate())
            id.chop(1); // half of a character that the cut split
    }
    return id;
}

} // namespace

WindowFacts toplevelFacts(std::uint32_t key, const QByteArray& appId)
{
    WindowFacts facts;
    facts.window = key;
    const QString id = cleanAppId(appId);
    if (!id.isEmpty())
        facts.instance = facts.windowClass = facts.gtkApplicationId = id;
    return facts;
}

} // namespace kelvo
