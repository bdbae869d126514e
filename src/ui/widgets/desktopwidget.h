#pragma once

#include "themedview.h"
#include "ui/summarypresentation.h"

#include <optional>

class QPushButton;

namespace kelvo {

class WrappingLabel;

// The small floating card with today's time and suggestion: above other windows, never taking
// the keyboard focus, dragged by its background; a click on it asks for the summary window.
class DesktopWidget final : public ThemedView {
    Q_OBJECT

public:
    static constexpr QSize cardSize{280, 150};
    static constexpr int rightGap = 24;
    static constexpr int topGap = 32;

    // With `translucent` (a compositing window manager runs) the card has soft corners and a
    // shadow around it; without, it is drawn opaque and its corners are cut by a window mask.
    explicit DesktopWidget(bool translucent, QWidget* parent = nullptr);

    void setContent(const DesktopWidgetContent& content);
    const DesktopWidgetContent& content() const { return m_content; }
    bool isTranslucent() const { return m_margin > 0; }
    // The card within the window (the rest is its shadow).
    QRect cardRect() const;

    // Where the window goes so that the card sits at the top right of `available`; none for an
    // empty area, where the window stays where it is.
    static std::optional<QPoint> topRightOrigin(const QRect& available, const QSize& window,
                                                int margin);
    // Moves the window to the top right of the primary screen's available area.
    void placeTopRight();

signals:
    void openSummaryRequested();

protected:
    void applyTheme() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void fitHeight();

    int m_margin;
    DesktopWidgetContent m_content;
    WrappingLabel* m_duration = nullptr;
    WrappingLabel* m_suggestion = nullptr;
    QPushButton* m_button = nullptr;
    std::optional<QPoint> m_pressOffset; // pointer within the window, while pressed
    bool m_dragging = false;
};

} // namespace kelvo
