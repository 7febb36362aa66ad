// A store function's arguments and result as text: what the sandbox's functions share.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

namespace sandbox {

inline std::string textOf(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

inline std::u16string utf16Of(sqlite3_value* v) {
    return {static_cast<const char16_t*>(sqlite3_value_text16(v)),
            static_cast<std::size_t>(sqlite3_value_bytes16(v)) / 2};
}

// An exact number's text as the store keeps a value: a number where a double holds it exactly
// enough (15 digits), so that it compares as one, and its text otherwise.
inline void resultExact(sqlite3_context* ctx, const std::string& text) {
    if (std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) <= 15)
        return sqlite3_result_double(ctx, std::strtod(text.c_str(), nullptr));
    sqlite3_result_text(ctx, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Bytes as a blob; none is an empty blob, not a NULL.
inline void resultBytes(sqlite3_context* ctx, const void* data, std::size_t n) {
    if (n == 0) return sqlite3_result_zeroblob(ctx, 0);
    sqlite3_result_blob(ctx, data, static_cast<int>(n), SQLITE_TRANSIENT);
}

inline void resultUtf16(sqlite3_context* ctx, const std::u16string& s) {
    sqlite3_result_text16(ctx, s.data(), static_cast<int>(s.size() * 2), SQLITE_TRANSIENT);
}

// Fails the call as the server fails: "Msg N: text", which the engine turns into error N.
inline void resultError(sqlite3_context* ctx, int number, const std::string& message) {
    const std::string text = "Msg " + std::to_string(number) + ": " + message;
    sqlite3_result_error(ctx, text.c_str(), -1);
}

// A store function of the sandbox's. Where an argument the mask names (bit i: argument i) is NULL,
// the result is NULL without a call.
struct StoreFunction {
    const char* name;
    int args; // -1: any number
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    unsigned nulls = 0;
};

// Registers each as deterministic; the array lives as long as the program (a static one).
template <std::size_t N> void registerFunctions(sqlite3* db, const StoreFunction (&fns)[N]) {
    const auto call = [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        const auto* f = static_cast<const StoreFunction*>(sqlite3_user_data(ctx));
        for (int i = 0; i < argc; ++i)
            if ((f->nulls >> i & 1) && sqlite3_value_type(argv[i]) == SQLITE_NULL)
                return sqlite3_result_null(ctx);
        // An exception must not pass through the store's C frames: it fails the call instead.
        try {
            f->fn(ctx, argc, argv);
        } catch (const std::bad_alloc&) {
            sqlite3_result_error_nomem(ctx);
        } catch (const std::exception&) {
            resultError(ctx, 40000, std::string("The sandbox could not evaluate ") + f->name + ".");
        }
    };
    for (const auto& f : fns)
        sqlite3_create_function(db, f.name, f.args, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                const_cast<StoreFunction*>(&f), call, nullptr, nullptr);
}

} // namespace sandbox
