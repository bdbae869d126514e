#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

namespace kelvo {

// One icon image as a tray host takes it, (iiay): ARGB32, each pixel in network byte order.
struct TrayPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
    bool operator==(const TrayPixmap&) const = default;
};

// A tooltip, (sa(iiay)ss): icon name, icon images, title, body.
struct TrayToolTip {
    QString iconName;
    QList<TrayPixmap> pixmaps;
    QString title;
    QString text;
};

// The images in the form above; null images are left out.
QList<TrayPixmap> trayPixmaps(const QList<QImage>& images);

QDBusArgument& operator<<(QDBusArgument& argument, const TrayPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, TrayPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const TrayToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, TrayToolTip& toolTip);

} // namespace kelvo

Q_DECLARE_METATYPE(kelvo::TrayPixmap)
Q_DECLARE_METATYPE(kelvo::TrayToolTip)

namespace kelvo {

// The org.kde.StatusNotifierItem object that a tray host reads: icon, title and tooltip, with
// the Ayatana label beside the icon, and the path of the menu.
class StatusNotifierObject final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ none)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QList<kelvo::TrayPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ none)
    Q_PROPERTY(QList<kelvo::TrayPixmap> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ none)
    Q_PROPERTY(QList<kelvo::TrayPixmap> AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ none)
    Q_PROPERTY(kelvo::TrayToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString XAyatanaLabel READ title)
    Q_PROPERTY(QString XAyatanaLabelGuide READ none)
    Q_PROPERTY(uint XAyatanaOrderingIndex READ orderingIndex)

public:
    explicit StatusNotifierObject(const QString& menuPath, QObject* parent = nullptr);

    // Each returns whether anything changed, and tells the hosts only then.
    bool setTitle(const QString& title);
    bool setIcon(const QString& iconName, const QList<QImage>& pixmaps);

    QString category() const;
    QString id() const;
    QString title() const { return m_title; }
    QString status() const;
    int windowId() const { return 0; }
    QString iconName() const { return m_iconName; }
    QList<TrayPixmap> iconPixmap() const { return m_pixmaps; }
    TrayToolTip toolTip() const { return {m_iconName, m_pixmaps, m_title, {}}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return m_menuPath; }
    uint orderingIndex() const { return 0; }
    QString none() const { return {}; }
    QList<TrayPixmap> noPixmaps() const { return {}; }

public slots:
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

signals:
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewAttentionIcon();
    Q_SCRIPTABLE void NewOverlayIcon();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString& status);
    Q_SCRIPTABLE void XAyatanaNewLabel(const QString& label, const QString& guide);

    // The host's primary click, sent after the host has had its answer.
    void activated(QPoint position);

private:
    const QDBusObjectPath m_menuPath;
    QString m_title;
    QString m_iconName;
    QList<TrayPixmap> m_pixmaps;
};

} // namespace kelvo
