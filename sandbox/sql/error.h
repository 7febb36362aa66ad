// A server error as a client sees it: number, severity, message, and whether it ends the batch.
#pragma once

#include <string>

namespace sandbox {

struct SqlError {
    int number = 50000;
    int severity = 16;
    int state = 1;
    std::string message;
    bool abortsBatch = false;
    int line = 1;
};

inline SqlError unsupported(const std::string& what) {
    return {40000, 16, 1, "The sandbox does not support " + what + ".", true};
}
inline SqlError invalidObject(const std::string& name) {
    return {208, 16, 1, "Invalid object name '" + name + "'.", true};
}
inline SqlError invalidColumn(const std::string& name) {
    return {207, 16, 1, "Invalid column name '" + name + "'.", true};
}
inline SqlError unboundName(const std::string& written) {
    return {4104, 16, 1, "The multi-part identifier \"" + written + "\" could not be bound.", true};
}
inline SqlError undeclaredVariable(const std::string& name) {
    return {137, 15, 2, "Must declare the scalar variable \"" + name + "\".", true};
}
inline SqlError syntaxNear(const std::string& text) {
    return {102, 15, 1, "Incorrect syntax near '" + text + "'.", true};
}
inline SqlError cannotOpenDatabase(const std::string& name) {
    return {4060, 11, 1,
            "Cannot open database \"" + name + "\" requested by the login. The login failed."};
}
inline SqlError alreadyExists(const std::string& name) {
    return {2714, 16, 6, "There is already an object named '" + name + "' in the database."};
}

// Turns a message of the store into the error the server would give.
SqlError fromStore(const std::string& message, const std::string& table);

} // namespace sandbox
