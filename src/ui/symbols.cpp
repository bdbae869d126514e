#include "symbols.h"

#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

namespace kelvo::Symbols {

namespace {

const QString fontFile = QStringLiteral(
    "/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf");

// Each symbol of the designs and the Material icon closest to it.
const QHash<QString, char32_t>& table()
{
    static const QHash<QString, char32_t> symbols{
        {QStringLiteral("brain.head.profile"), 0xea4a}, // psychology
        {QStringLiteral("brain"), 0xea4a},
        {QStringLiteral("clock"), 0xe8b5},                 // schedule
        {QStringLiteral("arrow.up.circle"), 0xf182},       // arrow_circle_up
        {QStringLiteral("leaf.arrow.circlepath"), 0xe863}, // autorenew
        {QStringLiteral("leaf.circle.fill"), 0xea35},      // eco
        {QStringLiteral("leaf"), 0xea35},
        {QStringLiteral("chart.bar"), 0xe26b}, // bar_chart
        {QStringLiteral("chart.bar.xaxis"), 0xe26b},
        {QStringLiteral("checkmark.circle.fill"), 0xe86c},       // check_circle
        {QStringLiteral("circle.fill"), 0xef4a},                 // circle
        {QStringLiteral("globe"), 0xe894},                       // language
        {QStringLiteral("macwindow"), 0xe30c},                   // desktop_windows
        {QStringLiteral("paintpalette"), 0xe40a},                // palette
        {QStringLiteral("scope"), 0xe1b3},                       // gps_fixed
        {QStringLiteral("square.stack.3d.up"), 0xe53b},          // layers
        {QStringLiteral("tray"), 0xe156},                        // inbox
        {QStringLiteral("message.circle"), 0xe0cb},              // chat_bubble_outline
        {QStringLiteral("text.bubble"), 0xe0b7},                 // chat
        {QStringLiteral("bell.badge"), 0xe7f7},                  // notifications_active
        {QStringLiteral("circle.lefthalf.filled"), 0xeb37},      // contrast
        {QStringLiteral("clock.badge.checkmark"), 0xea5d},       // more_time
        {QStringLiteral("moon.stars"), 0xef44},                  // bedtime
        {QStringLiteral("paintbrush.pointed"), 0xe3ae},          // brush
        {QStringLiteral("rectangle.badge.person.crop"), 0xea67}, // badge
        {QStringLiteral("sun.max"), 0xe518},                     // light_mode
        {QStringLiteral("waveform.path.ecg"), 0xeaa2},           // monitor_heart
        {QStringLiteral("sparkles"), 0xe65f},                    // auto_awesome
        {QStringLiteral("flame"), 0xe80e},                       // whatshot
        {QStringLiteral("calendar"), 0xe935},                    // calendar_today
    };
    return symbols;
}

// The icon font, loaded once from the file its Debian package installs; an invalid font when
// the package is missing.
const QRawFont& iconFont()
{
    static const QRawFont font(fontFile, 64);
    return font;
}

} // namespace

QStringList names()
{
    return table().keys();
}

char32_t glyph(const QString& symbolName)
{
    return table().value(symbolName, 0);
}

QPixmap pixmap(const QString& symbolName, int points, const QColor& colour, qreal devicePixelRatio)
{
    const QSize device(qCeil(points * devicePixelRatio), qCeil(points * devicePixelRatio));
    QPixmap image(device);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    const char32_t code = glyph(symbolName);
    QRawFont font = iconFont();
    if (code == 0 || !font.isValid() || !font.supportsCharacter(code))
        return image;

    // The glyph's em square fills the pixmap; Material icons are drawn on a 24-unit grid with
    // a 2-unit margin, so the visible symbol is the requested size.
    font.setPixelSize(device.height() * 24.0 / 20.0);
    const QList<quint32> indexes = font.glyphIndexesForString(QString::fromUcs4(&code, 1));
    if (indexes.isEmpty())
        return image;
    QPainterPath path = font.pathForGlyph(indexes.first());
    const QRectF bounds = path.boundingRect();
    const QRectF box{QPointF(), QSizeF(device)};
    path.translate(box.center() - bounds.center());

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(1 / devicePixelRatio, 1 / devicePixelRatio);
    painter.fillPath(path, colour);
    return image;
}

} // namespace kelvo::Symbols
