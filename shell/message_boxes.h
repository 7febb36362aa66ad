// Every message box of the program goes through this interface, so tests can answer and record.
#pragma once

#include <QString>

#include <deque>
#include <memory>
#include <vector>

namespace rowlark::shell {

// Buttons values and answers, by the numbers the pages' handlers use for them. A value adds up a
// set of buttons (the low bits), an icon (kQuestion, kExclamation) and which button Enter presses
// (kDefaultButton2: the second, No of Yes and No).
enum MsgBoxButtons : int {
    kOkOnly = 0,
    kYesNo = 4,
    kQuestion = 32,
    kExclamation = 48,
    kDefaultButton2 = 256
};
enum MsgBoxAnswer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows a modal box and returns the answer.
    virtual int show(const QString& text, int buttons, const QString& caption) = 0;
    // Closes the box that is open now, if any, as if No (or OK) had been pressed: a question
    // that what happened meanwhile has answered.
    virtual void dismissOpen() {}
};

// For tests and runs without a screen: records each box and answers from a queue
// (OK, or No for a question, when the queue is empty).
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        int buttons;
        QString caption;
    };
    int show(const QString& text, int buttons, const QString& caption) override;
    void setNextAnswer(int answer) { answers_.push_back(answer); }
    // The next question stays open, as one the user has not answered yet, until dismissOpen()
    // (its answer is then No) or ten seconds have passed.
    void holdNextQuestion() { holdNext_ = true; }
    void dismissOpen() override { dismissed_ = true; }

    std::vector<Shown> shown;
    bool dismissed() const { return dismissed_; }

private:
    std::deque<int> answers_;
    bool holdNext_ = false;
    bool dismissed_ = false;
};

MessageBoxes& messageBoxes();
void setMessageBoxes(std::unique_ptr<MessageBoxes> boxes);

// A box captioned with the caption given, or with the application title when none is.
int MsgBox(const QString& text, int buttons = kOkOnly, const QString& caption = {});

// The application title: the caption of every box that has none of its own.
QString applicationTitle();
// Derives the title from the product name: cut before the last blank until at most 40
// characters remain; a name without a blank stays whole.
void SetApplicationTitle(const QString& productName);
QString ShortenedTitle(const QString& productName);

} // namespace rowlark::shell
