// A page's mouse-pointer setting: 0 default, 11 busy, 99 the custom hand.
#pragma once

#include <functional>

namespace rowlark::shell {

enum PointerValue : int { kPointerDefault = 0, kPointerBusy = 11, kPointerCustom = 99 };

class PagePointer {
public:
    int value() const { return value_; }
    void set(int value) {
        value_ = value;
        if (onChange) onChange(value);
    }
    // The page shows the pointer for the value (and lets the window repaint).
    std::function<void(int)> onChange;

private:
    int value_ = kPointerDefault;
};

} // namespace rowlark::shell
