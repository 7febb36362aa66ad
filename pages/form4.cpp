#include "form4.h"

#include "form1.h"
#include "form3.h"
#include "look.h"
#include "page_loads.h"
#include "wizard.h"

#include "shell/background.h"
#include "shell/error_report.h"
#include "shell/message_boxes.h"

#include <QThread>

namespace rowlark::pages {

using namespace shell;

namespace {

const QString kLocation = HandlerLocation("Form4", "PushButton4_Click");

// Runs f on the page's thread and waits for it: message boxes and the grid belong to that thread.
template <class F> void onPageThread(QObject* page, F&& f) {
    if (QThread::currentThread() == page->thread())
        f();
    else
        QMetaObject::invokeMethod(page, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

} // namespace

// The job's events, delivered to the page from the thread the job runs on.
class PageJobEvents : public dedupe::JobEvents {
public:
    explicit PageJobEvents(Form4& page) : page_(page) {}
    void progress(const dedupe::Progress& p) override {
        if (QThread::currentThread() == page_.thread()) return page_.showProgress(p);
        QMetaObject::invokeMethod(
            &page_, [this, p] { page_.showProgress(p); }, Qt::QueuedConnection);
    }
    void report(int line, const std::string& description) override {
        onPageThread(&page_,
                     [&] { ErrorReport(kLocation, line, QString::fromStdString(description)); });
    }
    void noDuplicates() override {
        onPageThread(&page_, [&] { MsgBox("No duplicates found."); });
    }
    void showResult(std::shared_ptr<db::RecordSet> table) override {
        onPageThread(&page_, [&] { page_.DataGrid1->setDataSource(table); });
    }
    bool replaceExisting(const std::string& name) override {
        bool yes = false;
        onPageThread(&page_, [&] {
            yes = MsgBox(QString("A table named %1 already exists. Replace it?")
                             .arg(QString::fromStdString(name)),
                         kYesNo) == kAnswerYes;
        });
        declined = !yes;
        return yes;
    }

    bool declined = false; // the user chose to keep the existing table

private:
    Form4& page_;
};

Form4::Form4(Wizard& wizard) : Page(wizard, 8040, 4020) {
    setFont(Arial(9, true));
    Label1 = new QLabel(kIntroText, this);
    Label1->setGeometry(twips(120, 120, 7800, 315));
    Frame1 = new QGroupBox("Please choose a name for this table:", this);
    Frame1->setGeometry(twips(120, 420, 7800, 795));
    Text1 = new QLineEdit("Text1", Frame1);
    Text1->setGeometry(twips(240, 300, 7320, 330));
    DataGrid1 = new DataGrid(this);
    DataGrid1->setGeometry(twips(120, 1320, 7800, 2055));
    Progress = new QProgressBar(this);
    Progress->setGeometry(twips(600, 2160, 6840, 375));
    Progress->setTextVisible(true);
    Progress->hide();
    PushButton2 = new PushButton("< Back", this);
    PushButton2->setGeometry(twips(120, 3510, 3840, 405));
    PushButton4 = new PushButton("Finish", this);
    PushButton4->setGeometry(twips(4080, 3510, 3840, 405));
    setTabOrder(Label1, DataGrid1);
    setTabOrder(DataGrid1, PushButton2);
    setTabOrder(PushButton2, PushButton4);
    setTabOrder(PushButton4, Text1);
    paintWhite(*this);
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    hoverAsButton(PushButton2);
    hoverAsButton(PushButton4);
    hoverLeavesPointer(DataGrid1);
    for (QWidget* w : std::initializer_list<QWidget*>{Frame1, Label1, Text1})
        hoverAsBackground(w);
}

void Form4::Form_Load() {
    LoadLaterPage(*this, "Form4");
    centre();
}

void Form4::PushButton2_Click() {
    Trap trap(HandlerLocation("Form4", "PushButton2_Click"));
    trap.step(100, [&] { wizard_.form3().show(); });
    trap.step(102, [&] { hide(); });
}

void Form4::showProgress(const dedupe::Progress& p) {
    counts_ = p;
    if (p.phase == dedupe::Phase::Deleting && p.duplicates > 0) {
        Progress->setRange(0, static_cast<int>(std::min<std::uint64_t>(p.duplicates, INT32_MAX)));
        Progress->setValue(static_cast<int>(std::min<std::uint64_t>(p.deleted, INT32_MAX)));
    } else {
        Progress->setRange(0, 0); // busy
    }
    Progress->setFormat(QString("%1: %2 rows read, %3 duplicates, %4 removed")
                            .arg(QString::fromUtf8(dedupe::phaseName(p.phase)))
                            .arg(p.rowsRead)
                            .arg(p.duplicates)
                            .arg(p.deleted));
}

void Form4::setRunning(bool running) {
    // While the job runs, nothing on the page can start a second one or change its name.
    running_ = running;
    PushButton4->setEnabled(!running);
    PushButton2->setEnabled(!running);
    Text1->setReadOnly(running);
    Progress->setVisible(running);
}

// What the job did, in one line above the name: the counts only when the new table was made.
QString Form4::resultText(const dedupe::JobOutcome& outcome, const std::string& newName) {
    const QString name = QString::fromStdString(newName);
    if (outcome.newTableMade)
        return QString(" Read %1 rows and removed %2 %3 into %4. ")
            .arg(outcome.counts.rowsRead)
            .arg(outcome.counts.deleted)
            .arg(outcome.counts.deleted == 1 ? "duplicate" : "duplicates")
            .arg(name);
    if (!outcome.notMade.empty())
        return QString(" %1 was not made: a step failed (see the error shown). ").arg(name);
    return kIntroText;
}

void Form4::PushButton4_Click() {
    if (running_) return;
    Trap trap(kLocation);
    if (PushButton4->text() == "Exit") {
        endProgram();
        return;
    }
    const std::string newName = Text1->text().toStdString();
    Globals& g = wizard_.globals;
    if (auto why = dedupe::RefuseNewName(newName, g.SelectedTable.toStdString())) {
        MsgBox(QString::fromStdString(*why));
        return;
    }
    trap.step(112, [&] { MousePointer.set(kPointerBusy); });
    dedupe::JobSettings s;
    Form1& f1 = wizard_.form1();
    s.connectionString = f1.connectionString().toStdString();
    s.localConnection = f1.Check7->isChecked();
    s.selectedTable = g.SelectedTable.toStdString();
    s.duplicateColumns = g.DuplicateColumns.toStdString();
    s.newName = [newName] { return newName; };
    PageJobEvents events(*this);
    dedupe::JobOutcome outcome;
    DataGrid1->setDataSource(nullptr);
    setRunning(true);
    showProgress({});
    trap.step(196, [&] { outcome = RunInBackground([&] { return dedupe::RunJob(s, events); }); });
    setRunning(false);
    counts_ = outcome.counts;
    if (outcome.refusal) {
        // Nothing was changed: the user may choose another name and press "Finish" again.
        if (!events.declined) MsgBox(QString::fromStdString(*outcome.refusal));
        MousePointer.set(kPointerDefault);
        Text1->setFocus();
        Text1->selectAll();
        return;
    }
    Label1->setText(resultText(outcome, newName));
    trap.step(244, [&] { PushButton4->setText("Exit"); });
    trap.step(246, [&] {
        if (isMinimized()) showNormal();
    });
    trap.step(248, [&] { MousePointer.set(kPointerDefault); });
}

} // namespace rowlark::pages
