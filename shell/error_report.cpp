#include "error_report.h"

#include "message_boxes.h"

#include "shell/support_address.h"

namespace rowlark::shell {

QString SupportAddress() {
    return QStringLiteral(ROWLARK_SUPPORT_ADDRESS).trimmed();
}

QString SupportContact() {
    const QString address = SupportAddress();
    if (!address.isEmpty()) return address;
    return QStringLiteral("whoever gave you this copy of Rowlark (it is a developer build, which "
                          "names no support address)");
}

QString HandlerLocation(const QString& form, const QString& handler) {
    return "in Tessaly2021/08/31." + form + "." + handler + " ";
}

QString ErrorReportText(const QString& description, const QString& location, int line) {
    return description + "\r\n" + location + "at line " + QString::number(line) + "\r\r" +
           "Please email screenshot of this message to " + SupportContact();
}

void ErrorReport(const QString& location, int line, const QString& description) {
    messageBoxes().show(ErrorReportText(description, location, line), kExclamation, kErrorCaption);
}

Trap::Trap(QString location)
    : StepRunner([this](int line, const std::string& description) {
          ErrorReport(location_, line, QString::fromStdString(description));
      }),
      location_(std::move(location)) {}

} // namespace rowlark::shell
