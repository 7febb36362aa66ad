// Every message box of the program goes through this interface, so tests can answer and record
// (tests/support/scripted_message_boxes.h).
#pragma once

#include <QString>

#include <memory>

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

// Nobody to ask (a run before the program installs its boxes, or one without a screen): OK, and
// No to a question, so that nothing is dropped or replaced on a guess.
class UnattendedMessageBoxes : public MessageBoxes {
public:
    int show(const QString&, int buttons, const QString&) override {
        return (buttons & 0x7) == kYesNo ? kAnswerNo : kAnswerOk;
    }
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
