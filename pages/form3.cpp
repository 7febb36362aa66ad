#include "form3.h"

#include "form2.h"
#include "form4.h"
#include "look.h"
#include "page_loads.h"
#include "wizard.h"

#include "dedupe/list_dedupe.h"
#include "shell/error_report.h"
#include "shell/message_boxes.h"

namespace rowlark::pages {

using namespace shell;

namespace {

std::vector<std::string> texts(const QListWidget& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count(); ++i)
        out.push_back(list.item(i)->text().toStdString());
    return out;
}

// Moves the entry at row to the end of the other list; afterwards no entry of the source is
// selected.
void moveRow(QListWidget& from, QListWidget& to, int row) {
    to.addItem(from.item(row)->text());
    delete from.takeItem(row);
    from.setCurrentRow(-1);
    from.clearSelection();
}

} // namespace

Form3::Form3(Wizard& wizard) : Page(wizard, 5880, 5085) {
    setFont(Arial(9, true));
    Label2 = new QLabel(" Preview:", this);
    Label2->setGeometry(twips(120, 120, 3840, 255));
    DataGrid1 = new DataGrid(this);
    DataGrid1->setGeometry(twips(120, 480, 5640, 1360));
    Label1 = new QLabel(" Which field(s) contain duplicate information?", this);
    // Wider than laid out: at this font the question would otherwise lose its last word.
    Label1->setGeometry(twips(120, 2040, 5640, 255));
    List1 = new QListWidget(this);
    List1->setGeometry(twips(120, 2400, 2535, 1860));
    PushButton5 = new PushButton(">", this);
    PushButton5->setGeometry(twips(2737, 2400, 420, 400));
    PushButton6 = new PushButton(">>", this);
    PushButton6->setGeometry(twips(2737, 2880, 420, 405));
    PushButton7 = new PushButton("<", this);
    PushButton7->setGeometry(twips(2737, 3360, 420, 400));
    PushButton8 = new PushButton("<<", this);
    PushButton8->setGeometry(twips(2737, 3840, 420, 400));
    List2 = new QListWidget(this);
    List2->setGeometry(twips(3240, 2400, 2520, 1860));
    for (QListWidget* l : {List1, List2}) {
        l->setSelectionMode(QAbstractItemView::SingleSelection);
        l->setSortingEnabled(false);
    }
    Line1 = new QFrame(this);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setGeometry(twips(120, 4440, 5640, 15));
    PushButton2 = new PushButton("< Back", this);
    PushButton2->setGeometry(twips(120, 4560, 2775, 405));
    PushButton3 = new PushButton("Next >", this);
    PushButton3->setGeometry(twips(3000, 4560, 2760, 405));
    paintWhite(*this);

    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(List1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* i) { List1_DblClick(i); });
    connect(List2, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* i) { List2_DblClick(i); });
    for (QWidget* b : std::initializer_list<QWidget*>{PushButton2, PushButton3, PushButton5,
                                                      PushButton6, PushButton7, PushButton8})
        hoverAsButton(b);
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, Label2, List1, List2, DataGrid1})
        hoverAsBackground(w);
}

void Form3::Form_Load() {
    LoadLaterPage(*this, "Form3");
    centre();
}

void Form3::fillFromChoices() {
    // These steps are the table page's "Next >" going on to this page: their failures are
    // reported under that handler's location and numbers, which the reports users send name.
    Trap trap(HandlerLocation("Form2", "PushButton3_Click"));
    const Globals& g = wizard_.globals;
    trap.step(112, [&] { List1->clear(); });
    trap.step(114, [&] { DataGrid1->setDataSource(g.Preview); });
    trap.step(122, [&] { List1->addItems(g.AllColumns); });
    // The chosen list keeps only columns of this table: after "< Back" and another table, a
    // column of the one before would name nothing.
    trap.step(124, [&] {
        for (int i = List2->count() - 1; i >= 0; --i)
            if (!g.AllColumns.contains(List2->item(i)->text())) delete List2->takeItem(i);
    });
    trap.step(126, [&] { updateButtons(); });
    trap.step(128, [&] {
        if (List1->count() > 0) List1->setCurrentRow(0);
    });
    trap.step(132, [&] { RemoveItemsListedIn(*List1, *List2); });
}

QWidget* Form3::firstFocus() {
    return DataGrid1;
}

void Form3::updateButtons() {
    const bool available = List1->count() > 0, chosen = List2->count() > 0;
    PushButton5->setEnabled(available);
    PushButton6->setEnabled(available);
    PushButton7->setEnabled(chosen);
    PushButton8->setEnabled(chosen);
    PushButton3->setEnabled(chosen);
}

void Form3::RemoveItemsListedIn(QListWidget& target, const QListWidget& reference) {
    const auto positions = dedupe::PositionsListedIn(texts(target), texts(reference));
    for (auto it = positions.rbegin(); it != positions.rend(); ++it)
        delete target.takeItem(static_cast<int>(*it));
}

void Form3::moveOne(const QString& handler, QListWidget& from, QListWidget& to) {
    Trap trap(HandlerLocation("Form3", handler));
    const int row = from.currentRow();
    if (row < 0 || !from.item(row)->isSelected()) {
        MsgBox("Please select a field first.");
        return;
    }
    trap.step(102, [&] { moveRow(from, to, row); });
    trap.step(106, [&] { updateButtons(); });
}

void Form3::moveAll(const QString& handler, QListWidget& from, QListWidget& to) {
    Trap trap(HandlerLocation("Form3", handler));
    trap.step(100, [&] {
        for (int i = 0; i < from.count(); ++i)
            to.addItem(from.item(i)->text());
    });
    trap.step(102, [&] {
        for (int i = from.count() - 1; i >= 0; --i)
            delete from.takeItem(i);
    });
    trap.step(104, [&] { updateButtons(); });
}

void Form3::PushButton5_Click() {
    moveOne("PushButton5_Click", *List1, *List2);
}
void Form3::PushButton6_Click() {
    moveAll("PushButton6_Click", *List1, *List2);
}
void Form3::PushButton7_Click() {
    moveOne("PushButton7_Click", *List2, *List1);
}
void Form3::PushButton8_Click() {
    moveAll("PushButton8_Click", *List2, *List1);
}

void Form3::List1_DblClick(QListWidgetItem* item) {
    if (!item) return;
    moveRow(*List1, *List2, List1->row(item));
    updateButtons();
}

void Form3::List2_DblClick(QListWidgetItem* item) {
    if (!item) return;
    moveRow(*List2, *List1, List2->row(item));
    updateButtons();
}

void Form3::PushButton3_Click() {
    Trap trap(HandlerLocation("Form3", "PushButton3_Click"));
    Globals& g = wizard_.globals;
    // The chosen names, in the chosen list's order.
    trap.step(100, [&] {
        g.DuplicateColumns.clear();
        for (int i = 0; i < List2->count(); ++i)
            g.DuplicateColumns.append(List2->item(i)->text());
    });
    trap.step(106, [&] { wizard_.form4().enter(); });
    trap.step(110, [&] { hide(); });
}

void Form3::PushButton2_Click() {
    Trap trap(HandlerLocation("Form3", "PushButton2_Click"));
    trap.step(100, [&] { wizard_.form2().show(); });
    trap.step(102, [&] { hide(); });
}

} // namespace rowlark::pages
