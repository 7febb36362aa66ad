// Form3, the field page: which fields define a duplicate, with a preview of the table.
#pragma once

#include "page.h"

#include "shell/page_controls.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>

namespace rowlark::pages {

class Form3 : public Page {
    Q_OBJECT
public:
    explicit Form3(Wizard& wizard);

    void Form_Load();
    void PushButton5_Click(); // ">"
    void PushButton6_Click(); // ">>"
    void PushButton7_Click(); // "<"
    void PushButton8_Click(); // "<<"
    void PushButton3_Click(); // "Next >"
    void PushButton2_Click(); // "< Back"
    void List1_DblClick(QListWidgetItem* item);
    void List2_DblClick(QListWidgetItem* item);

    // ">" and ">>" follow the available list, "<", "<<" and "Next >" the chosen one.
    void updateButtons();
    // Takes out of target every entry whose text stands in reference.
    static void RemoveItemsListedIn(QListWidget& target, const QListWidget& reference);

    QLabel* Label2;                 // "Preview:"
    shell::DataGrid* DataGrid1;     // the first 100 rows of the table
    QLabel* Label1;                 // "Which field(s) contain duplicate information?"
    QListWidget* List1;             // the available fields
    QListWidget* List2;             // the chosen fields, in the order they define a duplicate
    QFrame* Line1;                  // the rule above the page's buttons
    shell::PushButton* PushButton5; // ">": the selected field to the chosen list
    shell::PushButton* PushButton6; // ">>": every field to the chosen list
    shell::PushButton* PushButton7; // "<": the selected field back
    shell::PushButton* PushButton8; // "<<": every field back
    shell::PushButton* PushButton2; // "< Back"
    shell::PushButton* PushButton3; // "Next >"

protected:
    // The preview and the available fields of the chosen table; the chosen fields that it has.
    void fillFromChoices() override;
    QWidget* firstFocus() override;

private:
    void moveOne(const QString& handler, QListWidget& from, QListWidget& to);
    void moveAll(const QString& handler, QListWidget& from, QListWidget& to);
};

} // namespace rowlark::pages
