#include "statusnotifierobject.h"

#include <QDBusMetaType>
#include <QMetaObject>
#include <QtEndian>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

namespace {

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<TrayPixmap>();
        qDBusRegisterMetaType<QList<TrayPixmap>>();
        qDBusRegisterMetaType<TrayToolTip>();
        return true;
    }();
    Q_UNUSED(registered);
}

TrayPixmap trayPixmap(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    TrayPixmap pixmap{argb.width(), argb.height(), {}};
    pixmap.argb.resize(qsizetype(argb.width()) * argb.height() * 4);
    auto* out = reinterpret_cast<uchar*>(pixmap.argb.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x, out += 4)
            qToBigEndian<quint32>(line[x], out);
    }
    return pixmap;
}

} // namespace

QList<TrayPixmap> trayPixmaps(const QList<QImage>& images)
{
    QList<TrayPixmap> pixmaps;
    for (const QImage& image : images) {
        if (!image.isNull())
            pixmaps.append(trayPixmap(image));
    }
    return pixmaps;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TrayPixmap& pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TrayPixmap& pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TrayToolTip& toolTip)
{
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TrayToolTip& toolTip)
{
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.text;
    argument.endStructure();
    return argument;
}

StatusNotifierObject::StatusNotifierObject(const QString& menuPath, QObject* parent)
    : QObject(parent)
    , m_menuPath(menuPath)
{
    registerTypes();
}

bool StatusNotifierObject::setTitle(const QString& title)
{
    if (title == m_title)
        return false;
    m_title = title;
    emit NewTitle();
    emit XAyatanaNewLabel(m_title, none());
    emit NewToolTip();
    return true;
}

bool StatusNotifierObject::setIcon(const QString& iconName, const QList<QImage>& pixmaps)
{
    QList<TrayPixmap> converted = trayPixmaps(pixmaps);
    if (iconName == m_iconName && converted == m_pixmaps)
        return false;
    m_iconName = iconName;
    m_pixmaps = std::move(converted);
    emit NewIcon();
    emit NewToolTip();
    return true;
}

QString StatusNotifierObject::category() const
{
    return u"ApplicationStatus"_s;
}

QString StatusNotifierObject::id() const
{
    return u"kelvo"_s;
}

QString StatusNotifierObject::status() const
{
    return u"Active"_s;
}

void StatusNotifierObject::Activate(int x, int y)
{
    // Queued: whatever the click opens must not hold up the host's reply.
    QMetaObject::invokeMethod(
        this, [this, position = QPoint(x, y)] { emit activated(position); }, Qt::QueuedConnection);
}

// The menu is published through Menu, so a host shows it itself; the other gestures mean
// nothing to Kelvo.
void StatusNotifierObject::SecondaryActivate(int, int) {}

void StatusNotifierObject::ContextMenu(int, int) {}

void StatusNotifierObject::Scroll(int, const QString&) {}

} // namespace kelvo
