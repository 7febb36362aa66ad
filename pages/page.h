// What the four wizard pages share: a fixed window laid out in twips, the pointer setting with
// its hover rules, the hand cursor, and unloading that ends the program.
#pragma once

#include "shell/page_pointer.h"

#include <QCursor>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace rowlark::pages {

class Wizard;

class Page : public QWidget {
    Q_OBJECT
public:
    Page(Wizard& wizard, int clientWidthTwips, int clientHeightTwips);

    // Twips of the layouts to pixels: 15 twips a pixel.
    static QRect twips(int left, int top, int width, int height);

    // The page's mouse-pointer setting: 0 default, 11 busy, 99 the custom hand.
    shell::PagePointer MousePointer;
    void setMouseIcon(const QCursor& cursor) { mouseIcon_ = cursor; }
    bool hasMouseIcon() const { return mouseIcon_.has_value(); }

    // The pointer a user sees now over the page.
    Qt::CursorShape shownShape() const { return cursor().shape(); }

    // Going on to this page: it fills its controls from the wizard's choices, then shows.
    void enter();
    // A page that is shown comes to the front and takes the keyboard, also where no window
    // manager raises a window that is shown again.
    void setVisible(bool visible) override;

    // What ends the program when a page's window closes; tests replace it.
    static std::function<void()> endProgram;

protected:
    // Fills the page's controls from the wizard's choices; going back to a page keeps them.
    virtual void fillFromChoices() {}
    // The control that takes the focus when the page is entered.
    virtual QWidget* firstFocus() { return nullptr; }
    // Hover rules: over a push button the hand, over the background the arrow; the busy
    // pointer stays until its operation ends.
    void hoverAsButton(QWidget* w);
    void hoverAsBackground(QWidget* w);
    // A control with no hover rule of its own (a label, a check box): a move over it leaves the
    // pointer as it was, rather than reaching the background behind it.
    void hoverLeavesPointer(QWidget* w);
    void centre();
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

    Wizard& wizard_;

private:
    void showPointer(int value);
    std::vector<QObject*> neutral_;
    std::optional<QCursor> mouseIcon_;
};

} // namespace rowlark::pages
