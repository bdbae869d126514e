// Speed and size of the state file and the summaries with a full 90-day history:
// 90 days x 200 sessions and 5,000 reminder records. Prints medians; asserts nothing.

#include "busystate.h"
#include "model/persistencestore.h"
#include "model/statecodec.h"
#include "summary/summarycomposer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

using namespace kelvo;
using namespace kelvo::bench;

namespace {

void rawSave(const QString& folder, const QByteArray& bytes)
{
    const QByteArray temp = QFile::encodeName(folder + QStringLiteral("/raw.json.tmp"));
    const QByteArray target = QFile::encodeName(folder + QStringLiteral("/raw.json"));
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n <= 0)
            break;
        written += n;
    }
    ::fsync(fd);
    ::close(fd);
    ::rename(temp.constData(), target.constData());
}

} // namespace

int main()
{
    QTemporaryDir folder;
    const QTimeZone zone = QTimeZone::systemTimeZone();
    QDateTime now = QDateTime::currentDateTimeUtc();
    now = now.addMSecs(-now.time().msec()); // the file keeps whole seconds
    const StoredState state = fullState(now);
    PersistenceStore store(folder.path());

    const double saveMs = medianMs([&] { store.save(state); });
    const QByteArray bytes = StateCodec::encode(state);
    const double rawMs = medianMs([&] { rawSave(folder.path(), bytes); });
    StoredState loaded;
    const double loadMs = medianMs([&] { loaded = store.load(); });

    ActiveSession open;
    open.id = QUuid::createUuid();
    open.displayName = QStringLiteral("ChatGPT");
    open.sourceIdentifier = QStringLiteral("chatgpt");
    open.startedAt = now.addSecs(-300);
    const std::optional<ActiveSession> active = open;
    SummarySnapshot snapshot;
    const double snapshotMs = medianMs(
        [&] { snapshot = SummaryComposer::summarySnapshot(loaded.sessions, active, now, zone); });
    DailySummary today;
    const double todayMs = medianMs(
        [&] { today = SummaryComposer::todaySummary(loaded.sessions, active, now, zone); });

    std::printf("State file with %lld sessions and %lld reminder records (median of %d runs)\n",
                static_cast<long long>(state.sessions.size()),
                static_cast<long long>(state.reminderEvents.size()), runs);
    std::printf("  file size                      %10.2f MiB\n", double(bytes.size()) / 1048576.0);
    std::printf("  encode + atomic save           %10.2f ms\n", saveMs);
    std::printf("  raw write + fsync + rename     %10.2f ms\n", rawMs);
    std::printf("  save / raw                     %10.2f x    (goal <= 2.5)\n", saveMs / rawMs);
    std::printf("  read + decode                  %10.2f ms   (goal <= 60)\n", loadMs);
    std::printf("  summarySnapshot                %10.3f ms   (goal <= 10)\n", snapshotMs);
    std::printf("  todaySummary                   %10.3f ms   (goal <= 1)\n", todayMs);
    if (!(loaded == state))
        std::printf("  warning: the loaded state differs from the saved one\n");
    return 0;
}
