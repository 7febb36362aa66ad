// The demo database: small tables full of duplicates.
#pragma once

#include "sql/database.h"

namespace sandbox {

// Creates database Demo with its tables unless it exists. Throws SqlError on failure.
void createDemo(Store& store);

} // namespace sandbox
