#include "form2.h"

#include "form1.h"
#include "form3.h"
#include "look.h"
#include "page_loads.h"
#include "wizard.h"

#include "db/record_set.h"
#include "dedupe/columns.h"
#include "dedupe/list_dedupe.h"
#include "dedupe/sql_text.h"
#include "shell/background.h"
#include "shell/error_report.h"
#include "shell/message_boxes.h"

namespace rowlark::pages {

using namespace shell;

Form2::Form2(Wizard& wizard) : Page(wizard, 8040, 2595) {
    setFont(Arial(9, true));
    Frame1 = new QGroupBox(" Which table do you want to search for duplicate field values?", this);
    Frame1->setGeometry(twips(120, 120, 7800, 1875));
    List1 = new QListWidget(Frame1);
    List1->setGeometry(twips(240, 300, 7320, 1410));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setSortingEnabled(false);
    PushButton2 = new PushButton("< Back", this);
    PushButton2->setGeometry(twips(120, 2100, 3840, 405));
    PushButton3 = new PushButton("Next >", this);
    PushButton3->setGeometry(twips(4080, 2100, 3840, 405));
    paintWhite(*this);
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    hoverAsButton(PushButton2);
    hoverAsButton(PushButton3);
    hoverAsBackground(Frame1);
    hoverAsBackground(List1);
}

void Form2::Form_Load() {
    LoadLaterPage(*this, "Form2");
    centre();
}

void Form2::PushButton2_Click() {
    Trap trap(HandlerLocation("Form2", "PushButton2_Click"));
    trap.step(100, [&] { wizard_.form1().show(); });
}

void Form2::PushButton3_Click() {
    Trap trap(HandlerLocation("Form2", "PushButton3_Click"));
    auto connection = std::make_shared<db::Connection>();
    auto preview = std::make_shared<db::RecordSet>();
    if (List1->currentRow() < 0 || !List1->currentItem() || !List1->currentItem()->isSelected()) {
        MsgBox("Please select a table");
        return;
    }
    Form3& f3 = wizard_.form3();
    Globals& g = wizard_.globals;
    trap.step(104, [&] { MousePointer.set(kPointerBusy); });
    trap.step(106, [&] { connection->setCursorLocation(db::CursorLocation::Client); });
    trap.step(108, [&] {
        const std::string cs = wizard_.form1().connectionString().toStdString();
        RunInBackground([&] { connection->open(cs); });
    });
    trap.step(110, [&] { g.SelectedTable = List1->currentItem()->text(); });
    trap.step(112, [&] { f3.List1->clear(); });
    trap.step(114, [&] { f3.DataGrid1->setDataSource(nullptr); });
    trap.step(116, [&] {
        const std::string sql = dedupe::previewQuery(g.SelectedTable.toStdString());
        RunInBackground([&] { preview->open(sql, *connection); });
        preview->holdConnection(connection);
    });
    trap.step(118, [&] {
        if (preview->state() == db::RecordSet::kOpen) f3.DataGrid1->setDataSource(preview);
    });
    std::vector<std::string> columns;
    bool columnsRead = false;
    g.AllColumns.clear(); // never the columns of the table chosen before
    trap.step(120, [&] {
        const std::string table = g.SelectedTable.toStdString();
        columns = RunInBackground([&] { return dedupe::ReadColumnNames(*connection, table); });
        columnsRead = true;
    });
    // Without a column result there is nothing to list: the column steps are passed over.
    if (columnsRead) {
        trap.step(122, [&] {
            for (const auto& c : columns)
                f3.List1->addItem(QString::fromStdString(c));
            // Each name bracketed with ']' doubled, joined by ", ": [a], [b], [c].
            g.AllColumns = QString::fromStdString(dedupe::bracketList(columns));
        });
    }
    // The chosen list keeps only columns of this table: after "< Back" and another table, a
    // column of the one before would name nothing.
    trap.step(124, [&] {
        for (int i = f3.List2->count() - 1; i >= 0; --i) {
            const std::string name = f3.List2->item(i)->text().toStdString();
            if (!columnsRead || std::find(columns.begin(), columns.end(), name) == columns.end())
                delete f3.List2->takeItem(i);
        }
    });
    trap.step(126, [&] { f3.updateButtons(); });
    trap.step(128, [&] {
        if (f3.List1->count() > 0) f3.List1->setCurrentRow(0);
    });
    trap.step(132, [&] { f3.RemoveItemsListedIn(*f3.List1, *f3.List2); });
    trap.step(134, [&] {
        f3.show();
        f3.DataGrid1->setFocus();
    });
    trap.step(136, [&] { hide(); });
    trap.step(138, [&] { MousePointer.set(kPointerDefault); });
}

} // namespace rowlark::pages
