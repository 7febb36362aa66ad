#include "error_report.h"

#include "message_boxes.h"

#include <exception>

namespace rowlark::shell {

QString HandlerLocation(const QString& form, const QString& handler) {
    return "in Tessaly2021/08/31." + form + "." + handler + " ";
}

QString ErrorReportText(const QString& description, const QString& location, int line) {
    return description + "\r\n" + location + "at line " + QString::number(line) + "\r\r" +
           "Please email screenshot of this message to " + kSupportAddress;
}

void ErrorReport(const QString& location, int line, const QString& description) {
    messageBoxes().show(ErrorReportText(description, location, line), kExclamation, kErrorCaption);
}

template <class F> bool Trap::guarded(int line, F&& f, bool onFailure) {
    QString description;
    try {
        return f();
    } catch (const std::exception& e) {
        description = QString::fromUtf8(e.what());
    } catch (...) {
        description = QStringLiteral("Unknown error");
    }
    ++failures_;
    ErrorReport(location_, line, description);
    return onFailure;
}

bool Trap::step(int line, const std::function<void()>& work) {
    return guarded(
        line,
        [&] {
            work();
            return true;
        },
        false);
}

bool Trap::condition(int line, const std::function<bool()>& test) {
    return guarded(line, test, true);
}

bool Trap::loopTest(int line, const std::function<bool()>& test) {
    return guarded(line, test, false);
}

} // namespace rowlark::shell
