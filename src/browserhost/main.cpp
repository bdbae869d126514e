#include "browserhost/browserkey.h"
#include "browserhost/framereader.h"
#include "browserhost/hostloop.h"
#include "browserhost/standardinput.h"
#include "browserhost/tabfilekeeper.h"

#include <QStringList>

#include <unistd.h>

using namespace kelvo::browserhost;

// Started by the browser for Kelvo's extension: reads the active tab's origin from standard input
// and keeps $XDG_RUNTIME_DIR/kelvo/tabs/<browser>.json. Standard output stays open and unused:
// the browser takes its end as the host going away.
int main(int argc, char* argv[])
{
    // First, so a termination signal that comes during start-up is not lost.
    StandardInput input;

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    std::optional<QString> key = browserKeyForArguments(arguments);
    if (!key) {
        const QString parent = parentExecutable();
        key = browserKeyForExecutable(parent);
        if (!key) {
            reportProblem(QStringLiteral("not started by Chrome, Chromium or Firefox (parent: %1)")
                              .arg(parent.isEmpty() ? QStringLiteral("unknown") : parent));
            return 1;
        }
    }

    FrameReader reader(input);
    TabFileKeeper keeper(*key, ::getpid());
    return runHost(reader, keeper);
}
