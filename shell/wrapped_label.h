// A label whose text wraps inside its width wherever it must: at a blank where it can, inside a
// word (a long table name) where it cannot, so no part of it ever lies beyond the label's edge.
#pragma once

#include <QLabel>

namespace rowlark::shell {

class WrappedLabel : public QLabel {
    Q_OBJECT
public:
    explicit WrappedLabel(const QString& text, QWidget* parent = nullptr);
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace rowlark::shell
