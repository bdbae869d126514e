#include "crash/crashstates.h"
#include "model/persistencestore.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

// Usage: crashsaver FOLDER FIRST [COUNT]
// Saves the crash-test states FIRST, FIRST + 1, ... into FOLDER until it is killed, or COUNT of
// them. It writes one line to standard output once it has loaded and is about to save, and stops
// by itself after a minute in case nobody kills it.
int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4)
        return 2;
    kelvo::PersistenceStore store(QString::fromLocal8Bit(argv[1]));
    store.load();
    const quint64 first = std::strtoull(argv[2], nullptr, 10);
    const quint64 end = argc == 4 ? first + std::strtoull(argv[3], nullptr, 10) : ~quint64(0);
    std::puts("saving");
    std::fflush(stdout);
    QElapsedTimer running;
    running.start();
    for (quint64 k = first; k < end && running.elapsed() < 60'000; ++k)
        store.save(crashTestState(k));
    return 0;
}
