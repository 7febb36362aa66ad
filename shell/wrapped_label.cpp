#include "wrapped_label.h"

#include <QPainter>
#include <QStyle>
#include <QTextLayout>

namespace rowlark::shell {

namespace {

// Lays the text out in lines of the width; returns the height they take.
qreal layOut(QTextLayout& layout, qreal width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

} // namespace

WrappedLabel::WrappedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
}

int WrappedLabel::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    QTextLayout layout(text(), font());
    return qCeil(layOut(layout, width - m.left() - m.right())) + m.top() + m.bottom();
}

void WrappedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect room = contentsRect();
    QTextLayout layout(text(), font());
    const qreal height = layOut(layout, room.width());
    // Vertically centred, as a label shows a single line.
    const qreal top = room.top() + std::max<qreal>(0, (room.height() - height) / 2);
    painter.setPen(palette().color(foregroundRole()));
    layout.draw(&painter, QPointF(room.left(), top));
}

} // namespace rowlark::shell
