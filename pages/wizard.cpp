#include "wizard.h"

#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"

#include "shell/input_blocker.h"

namespace rowlark::pages {

Wizard::Wizard() {
    static shell::InputBlocker blocker;
    shell::setWaitGuard(&blocker);
}
Wizard::~Wizard() = default;

void Wizard::start() {
    form1();
}

namespace {

// A page is made and loaded on first use, and kept.
template <class Form> Form& loaded(std::unique_ptr<Form>& slot, Wizard& wizard) {
    if (!slot) {
        slot = std::make_unique<Form>(wizard);
        slot->Form_Load();
    }
    return *slot;
}

} // namespace

Form1& Wizard::form1() {
    return loaded(form1_, *this);
}
Form2& Wizard::form2() {
    return loaded(form2_, *this);
}
Form3& Wizard::form3() {
    return loaded(form3_, *this);
}
Form4& Wizard::form4() {
    return loaded(form4_, *this);
}

bool Wizard::mayEnd() {
    if (!form4_ || !form4_->jobRunning()) return true;
    form4_->askToStopJob();
    return false;
}

bool Wizard::isLoaded(int form) const {
    switch (form) {
    case 1:
        return form1_ != nullptr;
    case 2:
        return form2_ != nullptr;
    case 3:
        return form3_ != nullptr;
    case 4:
        return form4_ != nullptr;
    default:
        return false;
    }
}

} // namespace rowlark::pages
