// Form4, the finish page: the new table's name, "Finish" running the job, and the result.
#pragma once

#include "page.h"

#include "dedupe/job.h"
#include "shell/page_controls.h"
#include "shell/wrapped_label.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>

namespace rowlark::shell {
class Trap;
}

namespace rowlark::pages {

class PageJobEvents;

class Form4 : public Page {
    Q_OBJECT
public:
    explicit Form4(Wizard& wizard);

    void Form_Load();
    void PushButton2_Click(); // "< Back"
    void PushButton4_Click(); // "Finish", then "Exit"

    bool jobRunning() const { return running_; }
    // Asks "Stop the job? ..."; on Yes the running statement is cancelled, the job cleans up, and
    // the program ends, unless the new table was made before the stop took effect: then the page
    // says so. When the server does not answer the cancel, its connection is cut on Linux; on
    // Windows, where it cannot be, the program ends without waiting for the job. A job that ends
    // while the question is open closes it.
    void askToStopJob();
    // The counts of the last job.
    const dedupe::Progress& lastCounts() const { return counts_; }

    shell::WrappedLabel* Label1;    // the intro, then what the job did (wrapped, never cut)
    QGroupBox* Frame1;              // "Please choose a name for this table:"
    QLineEdit* Text1;               // the new table's name
    shell::DataGrid* DataGrid1;     // the new table, once made
    QProgressBar* Progress;         // the job's phase and counts, while it runs
    shell::PushButton* PushButton2; // "< Back"
    shell::PushButton* PushButton4; // "Finish", then "Exit"

protected:
    // The proposed name: the chosen table's and "2"; once a job has run, the name it used stays.
    void fillFromChoices() override;

private:
    friend class PageJobEvents;
    dedupe::JobSettings jobSettings(const std::string& newName);
    void showEnding(shell::Trap& trap, const dedupe::JobOutcome& outcome,
                    const PageJobEvents& events, const std::string& newName);
    void showProgress(const dedupe::Progress& p);
    void setRunning(bool running);
    // Gives the outcome line the height its text needs; the name and the grid move down for it.
    void fitOutcomeLine();
    bool running_ = false;
    bool jobRan_ = false; // one job per run: afterwards the page only says how it went
    bool endAfterJob_ = false;
    bool asking_ = false;                      // "Stop the job?" is open
    std::shared_ptr<db::CancelSwitch> cancel_; // the running job's
    dedupe::Progress counts_;
};

inline const QString kIntroText = QStringLiteral(
    " You are about to create a new table with duplicates rows removed except for the first. ");

} // namespace rowlark::pages
