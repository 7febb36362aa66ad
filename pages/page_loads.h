// The load of the table, field and finish pages: colours, icon, hand cursor, caption.
#pragma once

class QString;

namespace rowlark::pages {

class Page;
// Runs the shared Form_Load steps under the page's own trap location.
void LoadLaterPage(Page& page, const QString& form);

} // namespace rowlark::pages
