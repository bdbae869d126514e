#pragma once

#include <QStringList>

// The calls that the fakes received, in order, shared between them so that a test can assert
// the sequence the engine produced across collaborators.
struct CallLog {
    QStringList calls;

    void record(const QString& call) { calls.append(call); }
    qsizetype count(const QString& call) const { return calls.count(call); }
};
