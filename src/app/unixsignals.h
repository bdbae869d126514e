#pragma once

#include <QObject>

class QSocketNotifier;

namespace kelvo {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread (a self-pipe: the handler
// only writes one byte, the event loop reads it).
class UnixSignals final : public QObject {
    Q_OBJECT

public:
    explicit UnixSignals(QObject* parent = nullptr);
    ~UnixSignals() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace kelvo
