#pragma once

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

// Gives a test its own XDG folders and state folder, so nothing touches the user's files.
class TestEnvironment {
public:
    TestEnvironment()
    {
        const QString root = m_root.path();
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
            const QString path = root + QLatin1Char('/') + QString::fromLatin1(name).toLower();
            QDir().mkpath(path);
            qputenv(name, path.toUtf8());
        }
        qputenv("KELVO_STORE_DIR", storeDir().toUtf8());
        qunsetenv("QUORRIN_STORE_DIR");
    }

    QString root() const { return m_root.path(); }
    QString storeDir() const { return m_root.path() + QStringLiteral("/store"); }

private:
    QTemporaryDir m_root;
};
