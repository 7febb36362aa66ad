// Form2, the table page: the tables of the database; "Next >" reads the chosen table's preview
// and columns for the field page.
#pragma once

#include "page.h"

#include "shell/page_controls.h"

#include <QGroupBox>
#include <QListWidget>

namespace rowlark::pages {

class Form2 : public Page {
    Q_OBJECT
public:
    explicit Form2(Wizard& wizard);

    void Form_Load();
    void PushButton2_Click(); // "< Back"
    void PushButton3_Click(); // "Next >"

    QGroupBox* Frame1;  // "Which table do you want to search for duplicate field values?"
    QListWidget* List1; // the tables of the database, in the catalogue's order
    shell::PushButton* PushButton2; // "< Back"
    shell::PushButton* PushButton3; // "Next >"

protected:
    void fillFromChoices() override; // the database's tables
};

} // namespace rowlark::pages
