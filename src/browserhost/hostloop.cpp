#include "hostloop.h"

#include "browserhost/framereader.h"
#include "browserhost/messagecheck.h"
#include "browserhost/tabfilekeeper.h"

#include <unistd.h>

namespace kelvo::browserhost {

namespace {

void takeMessage(const QByteArray& body, TabFileKeeper& keeper)
{
    const CheckedMessage message = checkMessage(body);
    if (!message.accepted) {
        reportProblem(QStringLiteral("ignored a message: ") + message.reason);
        return;
    }
    QString error;
    if (!keeper.record(message.origin, &error))
        reportProblem(error);
}

} // namespace

int runHost(FrameReader& reader, TabFileKeeper& keeper)
{
    for (Frame frame = reader.next(); frame.kind != Frame::Kind::End; frame = reader.next()) {
        if (frame.kind == Frame::Kind::Oversized) {
            reportProblem(QStringLiteral("ignored a message: %1 bytes long, more than %2")
                              .arg(frame.declaredSize)
                              .arg(maximumFrameSize));
        } else {
            takeMessage(frame.body, keeper);
        }
    }
    keeper.removeIfOwn();
    return 0;
}

void reportProblem(const QString& text)
{
    // One write() per line, so lines of several hosts sharing the browser's standard error do not
    // interleave; a closed standard error is no reason to stop.
    const QByteArray line = "kelvo-browser-host: " + text.toUtf8() + '\n';
    [[maybe_unused]] const ssize_t written =
        ::write(STDERR_FILENO, line.constData(), size_t(line.size()));
}

} // namespace kelvo::browserhost
