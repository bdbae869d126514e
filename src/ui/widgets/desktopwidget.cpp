#include "desktopwidget.h"

#include "cardviews.h"
#include "symbolview.h"
#include "ui/typography.h"
#include "wrappinglabel.h"

#include <QApplication>
#include <QBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

namespace kelvo {

using namespace Qt::StringLiterals;

namespace {

constexpr int shadowMargin = 14;
constexpr qreal cornerRadius = 18;
constexpr int inset = 16;

} // namespace

DesktopWidget::DesktopWidget(bool translucent, QWidget* parent)
    : ThemedView(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                             Qt::WindowDoesNotAcceptFocus)
    , m_margin(translucent ? shadowMargin : 0)
{
    setWindowTitle(u"Kelvo"_s);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setFocusPolicy(Qt::NoFocus);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new SymbolView(u"leaf.circle.fill"_s, 22, ThemeRole::healthGreen), 0,
                      Qt::AlignVCenter);
    header->addWidget(new WrappingLabel(u"今日 AI 使用"_s, systemFont(12, QFont::Medium),
                                        ThemeRole::secondaryText, 1),
                      1, Qt::AlignVCenter);

    m_duration =
        new WrappingLabel(u"0秒"_s, systemFont(28, QFont::Bold), ThemeRole::healthGreen, 1);
    m_suggestion = new WrappingLabel({}, systemFont(12), ThemeRole::secondaryText, 2);
    m_button = new QPushButton(u"查看今日总结"_s);
    m_button->setFont(systemFont(12));
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::PointingHandCursor);
    connect(m_button, &QPushButton::clicked, this, &DesktopWidget::openSummaryRequested);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(m_margin + inset, m_margin + inset, m_margin + inset,
                              m_margin + inset);
    stack->setSpacing(10);
    stack->addLayout(header);
    stack->addWidget(m_duration);
    stack->addWidget(m_suggestion);
    stack->addWidget(m_button, 0, Qt::AlignLeft);
    stack->addStretch(1);
    fitHeight();
    applyTheme();
}

void DesktopWidget::setContent(const DesktopWidgetContent& content)
{
    if (content == m_content)
        return;
    m_content = content;
    m_duration->setText(content.duration);
    m_suggestion->setText(content.suggestion);
    fitHeight();
}

QRect DesktopWidget::cardRect() const
{
    return rect().adjusted(m_margin, m_margin, -m_margin, -m_margin);
}

std::optional<QPoint> DesktopWidget::topRightOrigin(const QRect& available, const QSize& window,
                                                    int margin)
{
    if (available.width() <= 0 || available.height() <= 0)
        return std::nullopt;
    const int cardWidth = window.width() - 2 * margin;
    return QPoint(available.x() + available.width() - rightGap - cardWidth - margin,
                  available.y() + topGap - margin);
}

void DesktopWidget::placeTopRight()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    if (const auto origin = topRightOrigin(screen->availableGeometry(), size(), m_margin))
        move(*origin);
}

// The card is 150 high unless its text needs more (a large system font, say): nothing is cut.
void DesktopWidget::fitHeight()
{
    const int width = cardSize.width() + 2 * m_margin;
    const int needed = layout()->totalHeightForWidth(width);
    setFixedSize(width, qMax(cardSize.height() + 2 * m_margin, needed));
}

void DesktopWidget::applyTheme()
{
    QPalette palette = m_button->palette();
    palette.setColor(QPalette::ButtonText, themeColor(ThemeRole::healthGreen));
    m_button->setPalette(palette);
    update();
}

void DesktopWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(cardRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_margin > 0) {
        // A soft shadow: rings of falling opacity around the card, a little lower than it.
        painter.setPen(Qt::NoPen);
        for (int ring = m_margin; ring > 0; --ring) {
            const qreal alpha = 0.10 * (1.0 - qreal(ring) / m_margin);
            QPainterPath path;
            path.addRoundedRect(card.adjusted(-ring, -ring + 3, ring, ring + 3),
                                cornerRadius + ring, cornerRadius + ring);
            painter.fillPath(path, QColor::fromRgbF(0, 0, 0, float(alpha * alpha * 4)));
        }
    }
    QPainterPath path;
    path.addRoundedRect(card, cornerRadius, cornerRadius);
    painter.fillPath(path, themeColor(ThemeRole::elevatedBackground));
    painter.setPen(QPen(themeColor(ThemeRole::borderColor), 1));
    painter.drawPath(path);
}

void DesktopWidget::resizeEvent(QResizeEvent* event)
{
    ThemedView::resizeEvent(event);
    if (m_margin > 0)
        return;
    // Without a compositor the window is opaque: its rounded corners are cut out instead.
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void DesktopWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !cardRect().contains(event->position().toPoint())) {
        event->ignore();
        return;
    }
    m_pressOffset = event->position().toPoint();
    m_dragging = false;
}

void DesktopWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressOffset)
        return;
    const QPoint global = event->globalPosition().toPoint();
    if (!m_dragging && (event->position().toPoint() - *m_pressOffset).manhattanLength() <
                           QApplication::startDragDistance())
        return;
    m_dragging = true;
    move(global - *m_pressOffset);
}

void DesktopWidget::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressOffset && !m_dragging && event->button() == Qt::LeftButton;
    m_pressOffset.reset();
    m_dragging = false;
    if (click)
        emit openSummaryRequested();
}

} // namespace kelvo
