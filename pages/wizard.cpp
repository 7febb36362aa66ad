#include "wizard.h"

#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"

namespace rowlark::pages {

Wizard::Wizard() = default;
Wizard::~Wizard() = default;

void Wizard::start() {
    form1();
}

Form1& Wizard::form1() {
    if (!form1_) {
        form1_ = std::make_unique<Form1>(*this);
        form1_->Form_Load();
    }
    return *form1_;
}

Form2& Wizard::form2() {
    if (!form2_) {
        form2_ = std::make_unique<Form2>(*this);
        form2_->Form_Load();
    }
    return *form2_;
}

Form3& Wizard::form3() {
    if (!form3_) {
        form3_ = std::make_unique<Form3>(*this);
        form3_->Form_Load();
    }
    return *form3_;
}

Form4& Wizard::form4() {
    if (!form4_) {
        form4_ = std::make_unique<Form4>(*this);
        form4_->Form_Load();
    }
    return *form4_;
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
