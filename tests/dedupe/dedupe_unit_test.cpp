// The job's statements, keys, finder and name checks, without a server.
#include "dedupe/finder.h"
#include "dedupe/fingerprints.h"
#include "dedupe/job.h"
#include "dedupe/keys.h"
#include "dedupe/list_dedupe.h"
#include "dedupe/spill_files.h"
#include "dedupe/sql_text.h"
#include "dedupe/work_reads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <random>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rowlark;
using namespace rowlark::dedupe;

namespace {

std::string keyOf(const std::vector<db::Value>& values) {
    std::string k;
    for (const auto& v : values)
        appendKeyValue(k, v);
    return k;
}

// The finder as first written: every key against every earlier key.
std::vector<std::int32_t> quadratic(const std::vector<std::string>& keys) {
    std::vector<std::int32_t> out;
    for (std::size_t k = keys.size(); k-- > 0;) {
        bool duplicate = false;
        for (std::size_t e = 0; e < k; ++e)
            if (keys[e] == keys[k]) duplicate = true;
        if (duplicate) out.push_back(static_cast<std::int32_t>(k + 1));
    }
    return out;
}

} // namespace

TEST(Names, TheWorkColumnNeverTakesTheNameOfAColumnOfTheTable) {
    EXPECT_EQ(workColumnName({"a", "b"}), "TEMP_COLUMN_CREATED_BY_ORVANDEL");
    EXPECT_EQ(workColumnName({"temp_column_created_by_orvandel"}),
              "TEMP_COLUMN_CREATED_BY_ORVANDEL_2");
    EXPECT_EQ(
        workColumnName({"TEMP_COLUMN_CREATED_BY_ORVANDEL", "TEMP_COLUMN_CREATED_BY_ORVANDEL_2"}),
        "TEMP_COLUMN_CREATED_BY_ORVANDEL_3");
}

TEST(Names, AreQuotedSafely) {
    EXPECT_EQ(bracketed("a]b"), "[a]]b]");
    EXPECT_EQ(bracketList({"x", "we]ird", "sp ace"}), "[x], [we]]ird], [sp ace]");
    EXPECT_EQ(objectIdLiteral("O'Brien"), "N'O''Brien'");
    EXPECT_EQ(objectIdLiteral("a.b"), "N'[a.b]'") << "a dot would otherwise read as schema.table";
    EXPECT_EQ(objectIdLiteral("x]'y"), "N'[x]]''y]'");
    EXPECT_EQ(objectIdLiteral("\u00e9t\u00e9"), "N'\u00e9t\u00e9'");
}

TEST(Keys, ValuesStayApart) {
    EXPECT_NE(keyOf({std::string("a,b"), std::string("c")}),
              keyOf({std::string("a"), std::string("b,c")}));
    EXPECT_NE(keyOf({std::string("1:a"), std::string("")}),
              keyOf({std::string(""), std::string("1:a")}));
    EXPECT_EQ(keyOf({std::nullopt, std::string("x")}), keyOf({std::string(""), std::string("x")}))
        << "NULL and empty text count as equal";
    EXPECT_NE(keyOf({std::string("Abc")}), keyOf({std::string("abc")}));
    EXPECT_NE(keyOf({std::string("x")}), keyOf({std::string("x ")}));
}

TEST(Keys, NullToValue) {
    EXPECT_EQ(NullToValue(std::nullopt, ""), "");
    EXPECT_EQ(NullToValue(std::string("0"), ""), "0");
    EXPECT_EQ(NullToValue(std::string(""), "r"), "");
}

TEST(FindDuplicatePositions, EdgeCases) {
    using V = std::vector<std::int32_t>;
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{}), V{});
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{"a"}), V{});
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{"a", "b", "c"}), V{});
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{"x", "x", "x", "x"}), (V{4, 3, 2}));
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{"Abc", "abc"}), V{});
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{"x", "x "}), V{});
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{"", ""}), V{2});
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{"a", "b", "a", "c", "b", "a"}),
              (V{6, 5, 3}));
    EXPECT_EQ(FindDuplicatePositions(std::vector<std::string>{"k", "1", "2", "k", "3", "k"}),
              (V{6, 4}));
}

TEST(FindDuplicatePositions, AgreesWithEveryPairCompared) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::string> keys(rng() % 300);
        for (auto& k : keys)
            k = std::string(rng() % 3, 'a') + std::to_string(rng() % 40);
        TextList packed;
        for (const auto& k : keys)
            packed.push(k);
        EXPECT_EQ(FindDuplicatePositions(keys), quadratic(keys));
        EXPECT_EQ(FindDuplicatePositions(packed), quadratic(keys));
    }
}

// What the finder answers from memory, it answers the same once its keys went to files: the same
// rows, in the same order, for keys short and long (one larger than a whole block of memory).
TEST(RepeatFinder, KeysThatSpillToFilesGiveTheSameRepeats) {
    std::mt19937_64 rng(11);
    std::vector<std::pair<std::int64_t, std::string>> rows;
    const std::string huge(3 << 20, 'h');
    for (int i = 0; i < 40000; ++i) {
        std::string key = std::to_string(rng() % 25000) + std::string(rng() % 4 ? 3 : 300, 'k');
        if (i == 100 || i == 30000) key = huge;
        rows.emplace_back(-i * 7, key); // any numbers, in read order
    }
    RepeatFinder memory(UINT64_MAX);
    for (const auto& [n, k] : rows)
        memory.push(n, k);
    const auto expected = memory.repeats();
    ASSERT_FALSE(memory.spilled());
    EXPECT_NE(std::find(expected.begin(), expected.end(), -30000 * 7), expected.end())
        << "the huge key's repeat";

    for (std::uint64_t budget :
         {std::uint64_t{1}, std::uint64_t{4} << 20, std::uint64_t{7} << 20}) {
        SCOPED_TRACE(budget);
        RepeatFinder files(budget, rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (i % 2)
                files.push(rows[i].first, rows[i].second);
            else
                files.add(rows[i].first, rows[i].second);
        EXPECT_EQ(files.repeats(), expected);
        EXPECT_TRUE(files.spilled());
        EXPECT_GE(files.partitions(), 2u);
    }
}

// Key files hold the user's data: private to the user, in the folder asked for (else TMPDIR),
// unlinked with their folder as soon as they are open, so nothing is left to find or to clean.
TEST(SpillFiles, ArePrivateUnlinkedAndWhereTheyAreAsked) {
    char base[] = "/tmp/rowlark-spill-test-XXXXXX";
    ASSERT_NE(::mkdtemp(base), nullptr);
    auto entries = [](const std::string& dir) {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            out.push_back(e.path().string());
        return out;
    };
    for (const bool viaTmpdir : {false, true}) {
        SCOPED_TRACE(viaTmpdir ? "TMPDIR" : "the folder given");
        if (viaTmpdir) ::setenv("TMPDIR", base, 1);
        auto files = OpenSpillFiles(3, viaTmpdir ? std::string() : std::string(base));
        ::unsetenv("TMPDIR");
        ASSERT_EQ(files.size(), 3u);
        EXPECT_EQ(entries(base), std::vector<std::string>{}) << "no file or folder is left";
        for (auto& f : files) {
            struct stat st {};
            ASSERT_EQ(::fstat(::fileno(f.get()), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
            EXPECT_EQ(st.st_nlink, 0u) << "unlinked while open";
            EXPECT_EQ(std::fputs("key", f.get()), 1);
        }
    }
    EXPECT_THROW(OpenSpillFiles(1, std::string(base) + "/missing"), std::runtime_error);
    // The finder puts its files there too, and still gives the same answer.
    RepeatFinder finder(1);
    finder.setSpillDir(std::string(base) + "/missing");
    EXPECT_THROW(
        {
            for (int i = 0; i < 100; ++i)
                finder.push(i, std::to_string(i % 7));
            finder.repeats();
        },
        std::runtime_error);
    ::rmdir(base);
}

// What the folder sees while key files are made: on a file system with unnamed files, nothing at
// all, so a kill at any moment leaves nothing; elsewhere, a private folder made and removed.
TEST(SpillFiles, NeverHaveANameWhereTheFileSystemAllowsIt) {
    char base[] = "/tmp/rowlark-spill-names-XXXXXX";
    ASSERT_NE(::mkdtemp(base), nullptr);
    const int probe = ::open(base, O_TMPFILE | O_RDWR, 0600);
    if (probe < 0) {
        ::rmdir(base);
        GTEST_SKIP() << "this file system makes no unnamed files";
    }
    ::close(probe);
    auto seen = [&](auto open) {
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(watch, base, IN_CREATE | IN_MOVED_TO | IN_DELETE);
        auto files = open();
        EXPECT_EQ(files.size(), 2u);
        for (auto& f : files) {
            struct stat st {};
            EXPECT_EQ(::fstat(::fileno(f.get()), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
            EXPECT_EQ(st.st_nlink, 0u);
        }
        alignas(inotify_event) char events[4096];
        const auto n = ::read(watch, events, sizeof events);
        ::close(watch);
        return n > 0 ? static_cast<std::size_t>(n) : 0u;
    };
    EXPECT_EQ(seen([&] { return OpenSpillFiles(2, base); }), 0u) << "no name ever appeared";
    EXPECT_GT(seen([&] { return OpenSpillFilesInPrivateFolder(2, base); }), 0u)
        << "the way for other file systems makes a folder for a moment";
    EXPECT_TRUE(std::filesystem::is_empty(base));
    ::rmdir(base);
}

TEST(RepeatFinder, AnswersEachRowAtOnceUntilTheKeysSpill) {
    RepeatFinder f(UINT64_MAX);
    f.setSpilling(false);
    EXPECT_EQ(f.add(1, "a"), RepeatFinder::Verdict::First);
    EXPECT_EQ(f.add(2, "b"), RepeatFinder::Verdict::First);
    EXPECT_EQ(f.add(3, "a"), RepeatFinder::Verdict::Repeat);
    EXPECT_EQ(f.add(4, ""), RepeatFinder::Verdict::First);
    EXPECT_EQ(f.add(5, ""), RepeatFinder::Verdict::Repeat);
    EXPECT_EQ(f.repeats(), (std::vector<std::int64_t>{5, 3}));
    RepeatFinder small(1);
    small.setSpilling(false);
    small.add(1, "a");
    EXPECT_TRUE(small.overBudget()) << "without spilling it only says so";
    EXPECT_FALSE(small.spilled());
}

// Repeats as runs of neighbouring rows: numbered 1, 2, 3 ... in the copy, or neighbours among the
// identity values read, holes and all; too many runs give none.
TEST(RunsOf, NeighboursFormOneRunAndTooManyRunsNone) {
    auto pairs = [](const std::vector<NumberRange>& runs) {
        std::vector<std::pair<std::int64_t, std::int64_t>> out;
        for (const auto& r : runs)
            out.emplace_back(r.from, r.to);
        return out;
    };
    using P = std::vector<std::pair<std::int64_t, std::int64_t>>;
    EXPECT_EQ(pairs(runsOf({10, 7, 5, 6}, nullptr, 64)), (P{{5, 7}, {10, 10}}));
    const std::vector<std::int64_t> identity = {1, 3, 5, 8, 9};
    EXPECT_EQ(pairs(runsOf({9, 5, 3}, &identity, 64)), (P{{3, 5}, {9, 9}}));
    EXPECT_EQ(pairs(runsOf({1, 8}, &identity, 64)), (P{{1, 1}, {8, 8}}));
    EXPECT_TRUE(runsOf({1, 3}, nullptr, 1).empty());
    EXPECT_TRUE(runsOf({}, nullptr, 64).empty());
}

TEST(RefuseNewName, EmptySourceAndWorkTableNamesAreRefused) {
    EXPECT_TRUE(RefuseNewName("", "Orders"));
    EXPECT_TRUE(RefuseNewName("   ", "Orders"));
    EXPECT_TRUE(RefuseNewName("Orders", "Orders"));
    EXPECT_TRUE(RefuseNewName("oRDERS", "Orders")) << "the server ignores letter case";
    EXPECT_TRUE(RefuseNewName("Orders  ", "Orders")) << "and trailing blanks";
    EXPECT_TRUE(RefuseNewName("\u00c9T\u00c9", "\u00e9t\u00e9"));
    EXPECT_TRUE(RefuseNewName("temp_table_created_by_orvandel", "Orders"));
    EXPECT_TRUE(RefuseNewName("TEMP_TABLE_CREATED_BY_ORVANDEL_20260101000000_000000", "Orders"));
    EXPECT_FALSE(RefuseNewName("Orders2", "Orders"));
    EXPECT_FALSE(RefuseNewName(" Orders", "Orders")) << "a leading blank makes another name";
    EXPECT_TRUE(RefuseNewName("cafe\u0301", "caf\u00e9")) << "one name in two Unicode forms";
    EXPECT_TRUE(RefuseNewName("#Orders", "Customers")) << "a temporary table would vanish";
}

TEST(ListDedupe, DistinctValuesKeepsTheLastOfEachInOrder) {
    using V = std::vector<int>;
    EXPECT_EQ(DistinctValues(V{3, 1, 3, 2, 1}), (V{3, 2, 1}));
    EXPECT_EQ(DistinctValues(V{1, 1, 2}), (V{1, 2}));
    EXPECT_EQ(DistinctValues(V{2, 1, 2}), (V{1, 2}));
    EXPECT_EQ(DistinctValues(V{}), V{});
    V many(100000);
    for (int i = 0; i < 100000; ++i)
        many[static_cast<std::size_t>(i)] = i % 40000;
    EXPECT_EQ(DistinctValues(many).size(), 40000u) << "no 32,767-element limit";
}

TEST(ListDedupe, PositionsListedInCompareExactly) {
    using S = std::vector<std::string>;
    using P = std::vector<std::size_t>;
    EXPECT_EQ(PositionsListedIn(S{"a", "b", "c", "d"}, S{"c", "a"}), (P{0, 2}));
    EXPECT_EQ(PositionsListedIn(S{"a", "b"}, S{"A"}), P{});
    EXPECT_EQ(PositionsListedIn(S{"x", "y"}, S{"y", "y"}), P{1});
    EXPECT_EQ(PositionsListedIn(S{"x", "x"}, S{"x"}), (P{0, 1}));
    EXPECT_EQ(PositionsListedIn(S{}, S{"x"}), P{});
    EXPECT_EQ(PositionsListedIn(S{"x"}, S{}), P{});
}

// The fingerprint sort pairs each fingerprint's rows with its first by rank, whatever order they
// came in and however many share the top bytes; the pairs come group by group, in rank order.
TEST(FingerprintSort, PairsEachGroupsRowsWithItsFirstByRank) {
    std::mt19937_64 random(7);
    FingerprintSort sorted;
    std::map<std::uint64_t, std::vector<std::int64_t>> groups;
    std::vector<std::pair<std::uint64_t, std::int64_t>> rows;
    for (std::int64_t rank = 1; rank <= 5000; ++rank) {
        // Few distinct values, alike in every byte but one, and some wholly random.
        const std::uint64_t fp = rank % 3 ? (random() % 700) << 8 : random();
        rows.emplace_back(fp, rank);
        groups[fp].push_back(rank);
    }
    std::shuffle(rows.begin(), rows.end(), random);
    for (const auto& [fp, rank] : rows)
        sorted.add(fp, rank);
    const auto pairs = sorted.pairs([](std::int64_t r) { return r * 10; });
    std::vector<NumberPair> expected;
    for (const auto& [fp, ranks] : groups)
        for (std::size_t i = 1; i < ranks.size(); ++i)
            expected.push_back({ranks[i] * 10, ranks[0] * 10});
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        return a.kept != b.kept ? a.kept < b.kept : a.repeat < b.repeat;
    });
    auto got = pairs;
    // Group by group, each in rank order: the kept number changes only between groups.
    for (std::size_t i = 1; i < got.size(); ++i)
        if (got[i].kept == got[i - 1].kept) {
            EXPECT_LT(got[i - 1].repeat, got[i].repeat);
        }
    std::sort(got.begin(), got.end(), [](const auto& a, const auto& b) {
        return a.kept != b.kept ? a.kept < b.kept : a.repeat < b.repeat;
    });
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].repeat, expected[i].repeat);
        EXPECT_EQ(got[i].kept, expected[i].kept);
    }
    EXPECT_EQ(keptBits(0xffff, 3), 7u);
    EXPECT_EQ(keptBits(0xffff, 0), 0u);
    EXPECT_EQ(keptBits(0xffff, 64), 0xffffu);
}

// Pairs at one distance from their kept rows make one run while their repeats are neighbours; a
// run more than allowed means none.
TEST(FingerprintSort, PairRunsFollowNeighboursAtOneDistance) {
    const std::vector<NumberPair> appended = {{6, 2}, {4, 0}, {5, 1}, {9, 1}, {10, 2}, {12, 3}};
    const auto runs = pairRunsOf(appended, 64);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].from, 4);
    EXPECT_EQ(runs[0].to, 6);
    EXPECT_EQ(runs[0].distance, 4);
    EXPECT_EQ(runs[1].from, 9);
    EXPECT_EQ(runs[1].to, 10);
    EXPECT_EQ(runs[1].distance, 8);
    EXPECT_EQ(runs[2].from, 12);
    EXPECT_EQ(runs[2].distance, 9);
    EXPECT_TRUE(pairRunsOf(appended, 2).empty());
    EXPECT_TRUE(pairRunsOf(appended, 0).empty());
}

// Types without a form here leave the job to the key reads; the rest have one, NULL as 0x.
TEST(FingerprintSql, TypesWithoutAFormAreNamedSo) {
    db::ColumnMeta c;
    c.name = "k";
    for (const SQLSMALLINT t : {-150, -151, -152, 0})
        EXPECT_FALSE(valueForm({"k", t}, "[k]")) << t;
    c.sqlType = SQL_WVARCHAR;
    c.size = 10;
    EXPECT_EQ(*valueForm(c, "[k]"), "ISNULL(CAST([k] AS varbinary(max)), 0x)");
    EXPECT_FALSE(hashInputMayPass8000({c}));
    c.size = 0;
    EXPECT_TRUE(hashInputMayPass8000({c}));
    c.sqlType = SQL_FLOAT;
    EXPECT_NE(valueForm(c, "x.[k]")->find("CASE WHEN x.[k] = 0 THEN 0x00"), std::string::npos);
}

// The server's CONCAT takes at most 254 values: many chosen columns go in several, one inside
// another, and each column once.
TEST(FingerprintSql, ManyColumnsGoInSeveralConcats) {
    std::vector<db::ColumnMeta> columns(250);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        columns[i].name = "c" + std::to_string(i);
        columns[i].sqlType = SQL_INTEGER;
    }
    const std::string input = *hashInput(columns);
    std::size_t concats = 0, at = 0;
    while ((at = input.find("CONCAT(", at)) != std::string::npos)
        ++concats, ++at;
    EXPECT_EQ(concats, 4u) << "three of up to a hundred columns, and one around them";
    for (const auto& c : columns)
        EXPECT_NE(input.find("[" + c.name + "]"), std::string::npos) << c.name;
}
