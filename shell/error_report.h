// The uniform report of a failing step, and the runner that numbers a handler's steps.
#pragma once

#include "common/step_runner.h"

#include <QString>

#include <functional>

namespace rowlark::shell {

// The address the build names (CMake's ROWLARK_SUPPORT_ADDRESS); empty in a developer build.
QString SupportAddress();
// Whom the report asks the user to write to: the support address, or, in a developer build, words
// that say there is none.
QString SupportContact();
inline const QString kErrorCaption = QStringLiteral("Application Error");

// "in Tessaly2021/08/31.Form1.PushButton3_Click " for form "Form1", handler "PushButton3_Click".
QString HandlerLocation(const QString& form, const QString& handler);
// description CR LF location "at line " N CR CR "Please email screenshot of this message to "
// SupportContact().
QString ErrorReportText(const QString& description, const QString& location, int line);
// Shows the report (OK, exclamation, "Application Error") and waits for OK.
void ErrorReport(const QString& location, int line, const QString& description);

// Runs a trapped handler's numbered steps: a failing step is reported and the next one runs.
// Nothing is undone. Lets handlers read as
//     Trap trap(HandlerLocation("Form1", "PushButton3_Click"));
//     if (!trap.step(100, [&] { ... })) return;
class Trap : public StepRunner {
public:
    explicit Trap(QString location);
    const QString& location() const { return location_; }

private:
    QString location_;
};

} // namespace rowlark::shell
