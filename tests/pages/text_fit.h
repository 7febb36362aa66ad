// How much room each text of a page needs and has, as its widget's font and style measure it: the
// page tests run it offscreen, and a probe runs it under Wine with the fonts Windows offers.
#pragma once

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QWidget>

#include <vector>

namespace rowlark::test {

struct TextRoom {
    QString text;
    int need = 0;
    int room = 0;
};

// Every label, check box, button text and frame title of the page.
inline std::vector<TextRoom> textRooms(QWidget& page) {
    std::vector<TextRoom> out;
    for (QWidget* w : page.findChildren<QWidget*>()) {
        const QFontMetrics m(w->font());
        if (auto* l = qobject_cast<QLabel*>(w)) {
            // A label that wraps needs its lines' height, not one line's width.
            if (l->wordWrap())
                out.push_back({l->text(), l->heightForWidth(l->width()), l->height()});
            else
                out.push_back(
                    {l->text(), m.horizontalAdvance(l->text()), l->contentsRect().width()});
        } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
            out.push_back({c->text(),
                           m.horizontalAdvance(c->text()) +
                               c->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, c) +
                               c->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, c),
                           c->width()});
        } else if (auto* b = qobject_cast<QPushButton*>(w)) {
            // The style draws a button's text inside its frame.
            out.push_back(
                {b->text(),
                 m.horizontalAdvance(b->text()) +
                     2 * b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b),
                 b->width()});
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            out.push_back({g->title(), m.horizontalAdvance(g->title()) + 16, g->width()});
        }
    }
    return out;
}

} // namespace rowlark::test
