#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

namespace kelvo {

// The desktop's light or dark preference from org.freedesktop.portal.Settings.
class AppearancePortal final : public QObject {
    Q_OBJECT

public:
    explicit AppearancePortal(QDBusConnection bus = QDBusConnection::sessionBus(),
                              QObject* parent = nullptr);

    // Reads org.freedesktop.appearance color-scheme (ReadOne, falling back to Read for older
    // portals), asynchronously, and follows SettingChanged. Without a portal: light.
    void start();
    // color-scheme 1 = prefer dark; 0, 2, anything else or nothing = light
    bool prefersDark() const { return m_dark; }

signals:
    void prefersDarkChanged(bool dark); // only on a change

private slots:
    void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void read(const QString& method);
    void setDark(bool dark);

    QDBusConnection m_bus;
    bool m_started = false;
    bool m_dark = false;
    // Counts reads and changes, so that a late answer never overrides a newer change.
    quint64 m_generation = 0;
};

} // namespace kelvo
