// What a widget shows on screen, for tests that look at colours the way a user sees them.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <map>

namespace rowlark::test {

// The colour that covers most of the widget as it paints itself, its children left out: its
// background, unless it paints none (then the transparent colour wins).
inline QColor shownColour(QWidget& w, bool withChildren = false) {
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QWidget::RenderFlags flags = QWidget::DrawWindowBackground;
    if (withChildren) flags |= QWidget::DrawChildren;
    w.render(&image, QPoint(), QRegion(), flags);
    std::map<QRgb, int> count;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++count[image.pixel(x, y)];
    QRgb best = 0;
    int most = -1;
    for (const auto& [rgb, n] : count)
        if (n > most) best = rgb, most = n;
    return QColor::fromRgba(best);
}

// Whether two colours look the same: the style may shade a surface by a few steps (a group box's
// panel, a check box's face), far less than the 16 steps between white and the button face.
inline bool looksLike(const QColor& shown, const QColor& wanted) {
    const int tolerance = 5;
    return shown.alpha() == 255 && std::abs(shown.red() - wanted.red()) <= tolerance &&
           std::abs(shown.green() - wanted.green()) <= tolerance &&
           std::abs(shown.blue() - wanted.blue()) <= tolerance;
}

} // namespace rowlark::test
