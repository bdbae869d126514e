#include "messagecheck.h"

#include "tabs/tabfile.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace kelvo::browserhost {

namespace {

CheckedMessage rejected(const QString& reason)
{
    return {false, std::nullopt, reason};
}

} // namespace

CheckedMessage checkMessage(const QByteArray& body)
{
    // Qt's parser refuses invalid UTF-8 and nesting deeper than it can take, so neither needs a
    // check of its own.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return rejected(QStringLiteral("not valid JSON (%1)").arg(error.errorString()));
    if (!document.isObject())
        return rejected(QStringLiteral("not a JSON object"));

    const QJsonValue origin = document.object().value(u"origin");
    if (origin.isNull())
        return {true, std::nullopt, {}};
    if (origin.isUndefined())
        return rejected(QStringLiteral("no origin"));
    if (!origin.isString())
        return rejected(QStringLiteral("the origin is neither text nor null"));
    std::optional<QString> reduced = tabs::originOf(origin.toString());
    if (!reduced)
        return rejected(QStringLiteral("the origin is not an http or https address"));
    return {true, std::move(reduced), {}};
}

} // namespace kelvo::browserhost
