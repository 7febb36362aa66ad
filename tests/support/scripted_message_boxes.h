// The message boxes tests answer: each box is recorded and answered from a queue (OK, or No for a
// question, when the queue is empty); a question can be held open as one the user has not
// answered yet.
#pragma once

#include "shell/message_boxes.h"

#include <QEventLoop>
#include <QTimer>

#include <deque>
#include <vector>

namespace rowlark::test {

class ScriptedMessageBoxes : public shell::MessageBoxes {
public:
    struct Shown {
        QString text;
        int buttons;
        QString caption;
    };
    int show(const QString& text, int buttons, const QString& caption) override {
        shown.push_back({text, buttons, caption});
        const bool question = (buttons & 0x7) == shell::kYesNo;
        if (holdNext_ && question) {
            // Open, as a modal box is, until dismissOpen() (its answer is then No) or ten seconds.
            holdNext_ = false;
            dismissed_ = false;
            QEventLoop open;
            open_ = &open;
            QTimer::singleShot(10000, &open, &QEventLoop::quit);
            open.exec();
            open_ = nullptr;
            return shell::kAnswerNo;
        }
        if (!answers_.empty()) {
            const int a = answers_.front();
            answers_.pop_front();
            return a;
        }
        return question ? shell::kAnswerNo : shell::kAnswerOk;
    }
    void setNextAnswer(int answer) { answers_.push_back(answer); }
    void holdNextQuestion() { holdNext_ = true; }
    void dismissOpen() override {
        dismissed_ = true;
        if (open_) open_->quit();
    }

    std::vector<Shown> shown;
    bool dismissed() const { return dismissed_; }

private:
    std::deque<int> answers_;
    bool holdNext_ = false;
    bool dismissed_ = false;
    QEventLoop* open_ = nullptr;
};

} // namespace rowlark::test
