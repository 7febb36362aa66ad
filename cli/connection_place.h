// Where rowlark-dedupe tried to connect, and where those values came from, for the words of a
// failed connection.
#pragma once

#include "shell/connection_profile.h"

#include <string>

namespace rowlark::cli {

// Which of the profile's values the command line gave; the rest came from the stored login.
struct GivenValues {
    bool server = false;
    bool port = false;
};

// "could not connect to HOST, port N (as given on the command line)", or "... to the local
// instance HOST (...)".
std::string connectionPlace(const shell::ConnectionProfile& profile, GivenValues given);

// The driver's words once: its diagnostic records, one a line, without lines that repeat.
std::string driverWords(const std::string& description);

} // namespace rowlark::cli
