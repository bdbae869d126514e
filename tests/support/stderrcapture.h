#pragma once

#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

// Sends this process's standard error to a file until finish() or the end of its life.
class StderrCapture final {
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { finish(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // What was written so far; stops capturing.
    QByteArray finish()
    {
        const QByteArray written = bytes();
        if (m_saved >= 0) {
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        return written;
    }
    // What was written so far, capturing on.
    QString text() const { return QString::fromUtf8(bytes()); }

private:
    // Read through a file of its own: standard error shares m_file's position.
    QByteArray bytes() const
    {
        std::fflush(stderr);
        QFile file(m_file.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryFile m_file;
    int m_saved = ::dup(STDERR_FILENO);
};
