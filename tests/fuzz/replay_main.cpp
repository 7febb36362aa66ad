// Runs a fuzz target on seeds and on deterministic random and mutated inputs, where libFuzzer is
// not at hand (the suite's compiler is g++). Usage: replay [iterations]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

const std::vector<std::string> kSeeds = {
    "",
    "a",
    "]",
    "']'",
    "a,b\0c",
    std::string("\x01\0\0", 3),
    "[x]]y]",
    "N'it''s'",
    std::string("\x12\x01\x00\x0f\x00\x00\x01\x00\x00\x00\x1a\x00\x06\xff", 14),
    std::string("\x01\x01\x00\x1c\x00\x00\x01\x00S\0E\0L\0E\0C\0T\0 \0*\0 \0F\0R\0", 28),
    "SELECT TOP 1 * INTO [x] FROM (SELECT 1 AS a) AS t; IF 1=1 BEGIN DROP TABLE y END",
    "CREATE TABLE t (id int IDENTITY(1,1), k nvarchar(5)); INSERT INTO t (k) VALUES (N'a'), (N'b')",
    "SELECT IDENTITY(bigint, 1, 1) AS n, * INTO [#w] From [t]; DELETE FROM [#w] WHERE [n] IN (1, "
    "2)",
    "if (object_id (N'x', N'U') is not null) drop table [x]; SELECT [k] INTO [x] FROM [#w]",
    "SANDBOX FAULT DELAY 5; SANDBOX FAULT CLEAR; BEGIN TRAN; COMMIT"};

} // namespace

int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::atol(argv[1]) : 20000;
    std::mt19937 rng(20261207);
    long runs = 0;
    for (const auto& s : kSeeds)
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), ++runs;
    for (long i = 0; i < iterations; ++i) {
        std::string input = kSeeds[rng() % kSeeds.size()];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = input.empty() ? 0 : rng() % (input.size() + 1);
            switch (rng() % 3) {
            case 0:
                input.insert(input.begin() + static_cast<long>(at), static_cast<char>(rng()));
                break;
            case 1:
                if (at < input.size()) input.erase(at, 1);
                break;
            default:
                if (at < input.size()) input[at] = static_cast<char>(rng());
                break;
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        ++runs;
    }
    std::printf("%ld passed, 0 failed\n", runs);
    return 0;
}
