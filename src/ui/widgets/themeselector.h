#pragma once

#include "model/enums.h"
#include "themedview.h"

#include <QAbstractButton>
#include <QMap>

#include <functional>

namespace kelvo {

// One card of the theme selector: a symbol over a label; its object name is the mode's stored
// text ("system", "light", "dark").
class ThemeModeCard final : public QAbstractButton {
    Q_OBJECT

public:
    ThemeModeCard(AppearanceMode mode, QWidget* parent = nullptr);

    AppearanceMode mode() const { return m_mode; }
    QSize sizeHint() const override { return {150, 92}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppearanceMode m_mode;
    QString m_symbolName;
};

// The three theme modes side by side as cards; the chosen one stands out in green.
class ThemeModeSelectorView final : public QWidget {
    Q_OBJECT

public:
    explicit ThemeModeSelectorView(QWidget* parent = nullptr);

    AppearanceMode selectedMode() const { return m_selectedMode; }
    void setSelectedMode(AppearanceMode mode);
    ThemeModeCard* card(AppearanceMode mode) const { return m_cards.value(mode); }

    // Called with the mode of a clicked card, after the card already shows it as chosen.
    std::function<void(AppearanceMode)> onSelectMode;

private:
    void handleSelect(const QString& identifier);
    void updateSelection();

    AppearanceMode m_selectedMode = AppearanceMode::system;
    QMap<AppearanceMode, ThemeModeCard*> m_cards;
};

// A fixed sample of the desktop widget, with no real figures.
class WidgetPreviewCardView final : public ThemedView {
    Q_OBJECT

public:
    explicit WidgetPreviewCardView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kelvo
