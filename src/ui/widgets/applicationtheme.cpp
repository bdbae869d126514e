#include "applicationtheme.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

namespace kelvo {

namespace {

// Draws an item that has a detail run (the quiet-hours times) with that run in the secondary
// text colour after the title.
class KelvoStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        const auto* menu = qobject_cast<const QMenu*>(widget);
        if (element != CE_MenuItem || !item || !menu) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QAction* action = menu->actionAt(item->rect.center());
        const QString detail = action ? action->property(menuDetailProperty).toString() : QString();
        if (detail.isEmpty() || !item->text.endsWith(detail)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The title as the style draws it, then the detail right after it.
        QStyleOptionMenuItem titleOnly = *item;
        titleOnly.text = item->text.chopped(detail.size());
        QProxyStyle::drawControl(element, &titleOnly, painter, widget);

        const QFontMetrics metrics(item->font);
        const int left =
            item->rect.left() + menuTextLeft(item) + metrics.horizontalAdvance(titleOnly.text);
        const Appearance appearance = Theme::appearanceOf(item->palette);
        const bool selected = item->state & State_Selected;
        painter->save();
        painter->setFont(item->font);
        painter->setPen(selected ? item->palette.color(QPalette::HighlightedText)
                                 : Theme::color(ThemeRole::secondaryText, appearance));
        painter->drawText(
            QRect(left, item->rect.top(), item->rect.right() - left, item->rect.height()),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, detail);
        painter->restore();
    }

private:
    // Where Fusion starts an item's text within the item: after its check column and margins.
    static int menuTextLeft(const QStyleOptionMenuItem* item)
    {
        const int checkColumn =
            qMax(qRound(item->rect.height() * 0.79), qMax(item->maxIconWidth, 21));
        return 4 + checkColumn + 2;
    }
};

} // namespace

void applyApplicationTheme(Appearance appearance)
{
    if (!dynamic_cast<KelvoStyle*>(QApplication::style()))
        QApplication::setStyle(new KelvoStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    // Every widget takes the new palette from the event loop, and repaints.
    QApplication::setPalette(Theme::palette(appearance));
}

} // namespace kelvo
