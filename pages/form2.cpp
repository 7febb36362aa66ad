#include "form2.h"

#include "form1.h"
#include "form3.h"
#include "look.h"
#include "page_loads.h"
#include "wizard.h"

#include "db/record_set.h"
#include "dedupe/columns.h"
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
    // The list takes the keyboard with no table chosen; the view would then make the first table
    // its current one, drawn like a choice the user never made. Only a chosen table stays current
    // (looked at once the event is done: a click makes its row current before it selects it).
    connect(
        List1->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this] {
            const QModelIndex current = List1->currentIndex();
            if (current.isValid() && !List1->selectionModel()->isSelected(current))
                List1->selectionModel()->clearCurrentIndex();
        },
        Qt::QueuedConnection);
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

void Form2::fillFromChoices() {
    List1->clear();
    List1->addItems(wizard_.globals.Tables);
}

void Form2::PushButton3_Click() {
    Trap trap(HandlerLocation("Form2", "PushButton3_Click"));
    auto connection = std::make_shared<db::Connection>();
    if (List1->currentRow() < 0 || !List1->currentItem() || !List1->currentItem()->isSelected()) {
        MsgBox("Please select a table");
        return;
    }
    Globals& g = wizard_.globals;
    trap.step(104, [&] { MousePointer.set(kPointerBusy); });
    trap.step(106, [&] { connection->setCursorLocation(db::CursorLocation::Client); });
    trap.step(108, [&] {
        const std::string cs = g.ConnectionString.toStdString();
        RunInBackground([&] { connection->open(cs); });
    });
    trap.step(110, [&] { g.SelectedTable = List1->currentItem()->text(); });
    // Never the preview or the columns of the table chosen before.
    g.Preview.reset();
    g.AllColumns.clear();
    trap.step(116, [&] {
        auto preview = std::make_shared<db::RecordSet>();
        const std::string sql = dedupe::previewQuery(g.SelectedTable.toStdString());
        // All of its hundred rows are read here, so the connection is free for the columns.
        RunInBackground([&] {
            preview->open(sql, *connection);
            preview->recordCount();
        });
        preview->holdConnection(connection);
        if (preview->state() == db::RecordSet::kOpen) g.Preview = preview;
    });
    trap.step(120, [&] {
        const std::string table = g.SelectedTable.toStdString();
        const auto columns =
            RunInBackground([&] { return dedupe::ReadColumnNames(*connection, table); });
        for (const auto& c : columns)
            g.AllColumns.append(QString::fromStdString(c));
    });
    trap.step(134, [&] { wizard_.form3().enter(); });
    trap.step(136, [&] { hide(); });
    trap.step(138, [&] { MousePointer.set(kPointerDefault); });
}

} // namespace rowlark::pages
