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

    QLabel *Label1, *Label2;
    shell::DataGrid* DataGrid1;
    QListWidget *List1, *List2;
    QFrame* Line1;
    shell::PushButton *PushButton2, *PushButton3, *PushButton5, *PushButton6, *PushButton7,
        *PushButton8;

private:
    void moveOne(const QString& handler, QListWidget& from, QListWidget& to);
    void moveAll(const QString& handler, QListWidget& from, QListWidget& to);
};

} // namespace rowlark::pages
