#include "page_loads.h"

#include "look.h"
#include "page.h"

#include "shell/connection_profile.h"
#include "shell/error_report.h"

namespace rowlark::pages {

void LoadLaterPage(Page& page, const QString& form) {
    shell::Trap trap(shell::HandlerLocation(form, "Form_Load"));
    trap.step(100, [&] { ApplyPageColours(page); });
    trap.step(102, [&] { page.setWindowIcon(programIcon()); });
    const QString cursorFile = programFolder() + "/HAND-M.CUR";
    if (FileExists(cursorFile))
        trap.step(108, [&] { page.setMouseIcon(loadHandCursor(cursorFile)); });
    trap.step(110, [&] { page.setWindowTitle(shell::kProductName); });
}

} // namespace rowlark::pages
