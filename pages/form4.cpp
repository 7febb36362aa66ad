#include "form4.h"

#include "finish_outcome.h"
#include "form3.h"
#include "look.h"
#include "page_loads.h"
#include "wizard.h"

#include "shell/background.h"
#include "shell/error_report.h"
#include "shell/message_boxes.h"

#include <QLocale>
#include <QThread>

namespace rowlark::pages {

using namespace shell;

namespace {

const QString kLocation = HandlerLocation("Form4", "PushButton4_Click");
// Rows of the new table read before the grid shows it: more than the grid has room for.
constexpr std::size_t kFirstRows = 256;

// Runs f on the page's thread and waits for it: message boxes and the grid belong to that thread.
template <class F> void onPageThread(QObject* page, F&& f) {
    if (QThread::currentThread() == page->thread())
        f();
    else
        QMetaObject::invokeMethod(page, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

} // namespace

// The job's events, delivered to the page from the thread the job runs on. Failures and "No
// duplicates found." wait until the job has ended, so that they stand beside the counts it reached
// and no box holds the job's connection open.
class PageJobEvents : public dedupe::JobEvents {
public:
    explicit PageJobEvents(Form4& page) : page_(page) {}
    void progress(const dedupe::Progress& p) override {
        if (QThread::currentThread() == page_.thread()) return page_.showProgress(p);
        // The call may run after these events are gone: it holds the page, which stays loaded.
        Form4* page = &page_;
        QMetaObject::invokeMethod(
            page, [page, p] { page->showProgress(p); }, Qt::QueuedConnection);
    }
    void report(int line, const std::string& description) override {
        reports.emplace_back(line, QString::fromStdString(description));
    }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet> table) override {
        // The grid's first rows are read here, on the job's thread: the page's thread would
        // otherwise wait on the network for them. A read that fails is left to the grid, which
        // tries again and says so.
        try {
            table->fetchMore(kFirstRows);
        } catch (const std::exception&) {
        }
        onPageThread(&page_, [&] { page_.DataGrid1->setDataSource(table); });
    }
    bool replaceExisting(const std::string& name) override {
        bool yes = false;
        onPageThread(&page_, [&] {
            // Enter keeps the table: replacing it is the answer that cannot be taken back.
            yes = MsgBox(QString("A table named %1 already exists. Replace it?")
                             .arg(QString::fromStdString(name)),
                         kYesNo | kQuestion | kDefaultButton2) == kAnswerYes;
        });
        declined = !yes;
        return yes;
    }

    bool declined = false;                        // the user chose to keep the existing table
    bool none = false;                            // no row repeats another
    std::vector<std::pair<int, QString>> reports; // the failed steps, in order

private:
    Form4& page_;
};

Form4::Form4(Wizard& wizard) : Page(wizard, 8040, 4020) {
    setFont(Arial(9, true));
    Label1 = new WrappedLabel(kIntroText, this);
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

void Form4::fillFromChoices() {
    if (!jobRan_) Text1->setText(wizard_.globals.SelectedTable + "2");
}

void Form4::PushButton2_Click() {
    Trap trap(HandlerLocation("Form4", "PushButton2_Click"));
    trap.step(100, [&] { wizard_.form3().show(); });
    trap.step(102, [&] { hide(); });
}

// One short line in every phase, and a bar that moves through the phases; counters never go
// back, whatever order the reports come in.
void Form4::showProgress(const dedupe::Progress& p) {
    counts_.phase = p.phase;
    counts_.rowsRead = std::max(counts_.rowsRead, p.rowsRead);
    counts_.duplicates = std::max(counts_.duplicates, p.duplicates);
    counts_.deleted = std::max(counts_.deleted, p.deleted);
    const QLocale locale;
    auto n = [&](std::uint64_t v) { return locale.toString(static_cast<qulonglong>(v)); };
    QString text;
    double within = 0; // how far into the phase
    switch (p.phase) {
    case dedupe::Phase::Connecting:
        text = "Connecting";
        break;
    case dedupe::Phase::Reading:
        text = "Reading rows: " + n(counts_.rowsRead);
        break;
    case dedupe::Phase::Numbering:
        text = "Finding duplicates: " + n(counts_.rowsRead) + " rows";
        break;
    case dedupe::Phase::Copying:
        text = "Copying the table";
        break;
    case dedupe::Phase::Deleting:
        text = "Removing duplicates: " + n(counts_.deleted) + " of " + n(counts_.duplicates);
        within = counts_.duplicates ? double(counts_.deleted) / double(counts_.duplicates) : 0;
        break;
    case dedupe::Phase::Finishing:
        text = "Creating the new table";
        break;
    case dedupe::Phase::Done:
        text = "Done";
        within = 1;
        break;
    }
    constexpr int kSteps = static_cast<int>(dedupe::Phase::Done);
    Progress->setRange(0, 1000);
    Progress->setValue(
        std::max(Progress->value(),
                 static_cast<int>(1000 * (static_cast<int>(p.phase) + within) / (kSteps + 1))));
    Progress->setFormat(text);
}

void Form4::askToStopJob() {
    if (!running_ || endAfterJob_ || asking_) return;
    asking_ = true;
    // Enter lets the job go on: stopping throws away the work done so far.
    const int answer = MsgBox("Stop the job? The table you chose stays as it is.",
                              kYesNo | kQuestion | kDefaultButton2);
    asking_ = false;
    // The job may have ended while the question was open: then the page says how, instead.
    if (answer != kAnswerYes || !running_) return;
    endAfterJob_ = true;
    Progress->setFormat("Stopping");
    if (cancel_) cancel_->pull();
}

void Form4::setRunning(bool running) {
    // While the job runs, nothing on the page can start a second one or change its name; once a
    // job has run, the name stays the one it used.
    running_ = running;
    PushButton4->setEnabled(!running);
    PushButton2->setEnabled(!running);
    Text1->setReadOnly(running || jobRan_);
    Progress->setVisible(running);
}

void Form4::fitOutcomeLine() {
    const QRect line = twips(120, 120, 7800, 315);
    const int extra = std::max(0, Label1->heightForWidth(line.width()) - line.height());
    Label1->setGeometry(line.adjusted(0, 0, 0, extra));
    Frame1->setGeometry(twips(120, 420, 7800, 795).translated(0, extra));
    DataGrid1->setGeometry(twips(120, 1320, 7800, 2055).adjusted(0, extra, 0, 0));
    Progress->setGeometry(twips(600, 2160, 6840, 375).translated(0, extra / 2));
}

void Form4::PushButton4_Click() {
    if (running_) return;
    Trap trap(kLocation);
    if (PushButton4->text() == "Exit") {
        endProgram();
        return;
    }
    const std::string newName = Text1->text().toStdString();
    if (auto why = dedupe::RefuseNewName(newName, wizard_.globals.SelectedTable.toStdString())) {
        MsgBox(QString::fromStdString(*why));
        return;
    }
    trap.step(112, [&] { MousePointer.set(kPointerBusy); });
    const dedupe::JobSettings s = jobSettings(newName);
    PageJobEvents events(*this);
    dedupe::JobOutcome outcome;
    DataGrid1->setDataSource(nullptr);
    counts_ = {};
    Progress->setValue(0);
    setRunning(true);
    showProgress({});
    trap.step(196, [&] {
        outcome = RunInBackground([&] {
            auto out = dedupe::RunJob(s, events);
            // A "Stop the job?" still open has been answered by the job's end: it closes, and
            // the page says what happened.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (asking_) messageBoxes().dismissOpen();
                },
                Qt::QueuedConnection);
            return out;
        });
    });
    cancel_.reset();
    // From here a close ends the program at once: the job is over.
    running_ = false;
    if (endAfterJob_ && !outcome.newTableMade && !outcome.commitUnknown) {
        endProgram(); // the user closed the window and agreed to stop: the job has cleaned up
        return;
    }
    // A stop that came too late leaves the program open on what was made.
    endAfterJob_ = false;
    counts_ = outcome.counts;
    if (outcome.refusal) {
        // Nothing was changed: the user may choose another name and press "Finish" again.
        setRunning(false);
        if (!events.declined) MsgBox(QString::fromStdString(*outcome.refusal));
        MousePointer.set(kPointerDefault);
        Text1->setFocus();
        Text1->selectAll();
        return;
    }
    showEnding(trap, outcome, events, newName);
}

// The job's settings from the model and the name, with a fresh cancel switch for "Stop the job?".
dedupe::JobSettings Form4::jobSettings(const std::string& newName) {
    const Globals& g = wizard_.globals;
    dedupe::JobSettings s;
    s.connectionString = g.ConnectionString.toStdString();
    s.localConnection = g.LocalConnection;
    s.selectedTable = g.SelectedTable.toStdString();
    for (const QString& c : g.DuplicateColumns)
        s.duplicateColumns.push_back(c.toStdString());
    s.newName = newName;
    // A server that does not answer the cancel within a second has its connection cut: after
    // "Yes" the program ends within a few seconds, however the server holds the statement.
    cancel_ = std::make_shared<db::CancelSwitch>(std::chrono::seconds(1));
    // Where the system cannot cut a connection that stopped answering (Windows), the program ends
    // itself once that second has passed: the user asked for the end, nothing is committed
    // before the commit, and the work table goes with the session.
    cancel_->setUnanswered([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (endAfterJob_) endProgram();
            },
            Qt::QueuedConnection);
    });
    s.cancel = cancel_;
    return s;
}

// What the job did, once it is over: the counts, the reports, the outcome line, "Exit".
void Form4::showEnding(Trap& trap, const dedupe::JobOutcome& outcome, const PageJobEvents& events,
                       const std::string& newName) {
    const Globals& g = wizard_.globals;
    FinishedJob job{g.SelectedTable, QString::fromStdString(newName), outcome, events.none,
                    events.reports.empty() ? QString() : events.reports.front().second};
    // The boxes that end the job stand beside the counts it reached.
    Progress->setFormat(FinalCounts(job));
    if (outcome.newTableMade || events.none) Progress->setValue(Progress->maximum());
    for (const auto& [line, description] : events.reports)
        ErrorReport(kLocation, line, description);
    if (events.none) trap.step(242, [&] { MsgBox("No duplicates found."); });
    jobRan_ = true;
    setRunning(false);
    Label1->setText(OutcomeLine(job));
    fitOutcomeLine();
    if (outcome.newTableMade) Frame1->setTitle("The name given to the new table:");
    trap.step(244, [&] { PushButton4->setText("Exit"); });
    trap.step(246, [&] {
        if (isMinimized()) showNormal();
    });
    trap.step(248, [&] { MousePointer.set(kPointerDefault); });
}

} // namespace rowlark::pages
