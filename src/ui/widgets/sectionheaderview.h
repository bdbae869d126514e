#pragma once

#include <QWidget>

namespace kelvo {

// The heading of a card: a symbol and a bold title in a row, and a wrapping subtitle below.
class SectionHeaderView final : public QWidget {
    Q_OBJECT

public:
    SectionHeaderView(const QString& symbolName, const QString& title, const QString& subtitle,
                      QWidget* parent = nullptr);
};

// What a list shows when it has nothing: a symbol, a title and a subtitle of at most two lines,
// centred.
class EmptyStateView final : public QWidget {
    Q_OBJECT

public:
    EmptyStateView(const QString& symbolName, const QString& title, const QString& subtitle,
                   QWidget* parent = nullptr);
};

} // namespace kelvo
