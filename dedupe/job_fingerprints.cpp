#include "job_run.h"

#include "finder.h"
#include "fingerprints.h"
#include "work_reads.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace rowlark::dedupe::detail {
namespace {

// Calls take(values) for each row of a result of whole numbers (its first `columns` columns),
// until it says false.
template <class Take> void forEachWholeRow(db::Statement& st, std::size_t columns, Take&& take) {
    std::array<std::int64_t, 2> v{};
    if (db::BlockReader::CanRead(st)) {
        db::BlockReader rows(st);
        for (std::size_t n; (n = rows.next()) > 0;)
            for (std::size_t r = 0; r < n; ++r) {
                for (std::size_t c = 0; c < columns; ++c) {
                    if (rows.null(c, r) || rows.kind(c) != db::BlockReader::Kind::Integer) {
                        if (rows.null(c, r)) v[c] = rowNumber(std::nullopt);
                        const auto text = rows.text(c, r);
                        v[c] = rowNumber(db::fromWide(text.data(), text.size()));
                    } else {
                        v[c] = rows.integer(c, r);
                    }
                }
                if (!take(v)) return;
            }
        return;
    }
    std::vector<db::Value> row;
    while (st.fetch(row)) {
        for (std::size_t c = 0; c < columns; ++c)
            v[c] = rowNumber(row.at(c));
        if (!take(v)) return;
    }
}

template <class Each>
void inBatches(const std::vector<std::int64_t>& numbers, std::size_t batch, Each&& each) {
    batch = std::max<std::size_t>(1, batch);
    for (std::size_t at = 0; at < numbers.size(); at += batch)
        each(std::vector<std::int64_t>(
            numbers.begin() + static_cast<std::ptrdiff_t>(at),
            numbers.begin() + static_cast<std::ptrdiff_t>(std::min(numbers.size(), at + batch))));
}

} // namespace

// The server reduces the chosen values to their forms only where it can do so for every chosen
// column and hash them whole; otherwise the keys are read as they are, and the user is told why
// once.
void Job::chooseFingerprints() {
    form_.clear();
    if (keyColumns_.empty() || keyColumns_.size() != s_.duplicateColumns.size()) return;
    const auto form = hashInput(keyColumns_);
    const auto same = sameRows(keyColumns_);
    if (!form || !same) return;
    const bool wide = hashInputMayPass8000(keyColumns_);
    bool hashes = false;
    try {
        db::Statement st(connection());
        st.execute(hashProbe(wide));
        std::vector<db::Value> row;
        hashes = st.fetch(row) && !row.empty() && row[0];
    } catch (const std::exception&) {
        // An older server: answered below.
    }
    if (!hashes) {
        if (!cancelled())
            events_.notice(wide ? "This server hashes at most 8,000 bytes, and the chosen columns "
                                  "may hold more: their values are read in full instead."
                                : "This server does not hash with SHA-256: the chosen columns' "
                                  "values are read in full instead.");
        return;
    }
    form_ = *form, same_ = *same;
}

// As the key read's first look, with the server's fingerprints in the hashes' place: equal keys
// always share one, so a table it finds no repeat in has none.
bool Job::anyFingerprintRepeats() {
    return firstReadRepeats(fingerprintQuery(form_, s_.selectedTable),
                            [&](db::Statement& st, RepeatProbe& probe, const auto& next) {
                                forEachWholeRow(st, 1, [&](const auto& v) {
                                    return next(probe.addHash(keptBits(
                                        static_cast<std::uint64_t>(v[0]), s_.fingerprintBits)));
                                });
                            });
}

// The copy's rows by fingerprint: each fingerprint's first row by rank is paired with the others,
// each pair is compared on the server by the rows' forms, and groups where some pair differs are
// decided key by key. No row is left out on its fingerprint alone.
std::optional<JobPlan> Job::findRepeatsByFingerprints() {
    phase(Phase::Numbering);
    // Past the memory budget the key search decides instead: its keys go to files.
    const bool ordered = !s_.orderBy.empty() || s_.keepLast;
    const std::uint64_t perRow = 16 + (ordered ? 8 : 0) + (identity_.empty() ? 0 : 8);
    const std::uint64_t budget = s_.memoryBudget ? s_.memoryBudget : DefaultMemoryBudget();
    if (perRow * static_cast<std::uint64_t>(std::max(0LL, workRows_)) > budget)
        return findRepeatsInWorkTable();
    std::vector<NumberPair> pairs;
    std::vector<std::int64_t> identities;
    must(210, [&] { pairs = readWorkFingerprints(identities); });
    if (pairs.empty()) return std::nullopt;
    bool listed = false;
    const std::vector<std::int64_t> unequal = unequalPairs(pairs, listed);
    std::vector<std::int64_t> repeats, backToFirst;
    must(210, [&] { repeats = decideByKeys(pairs, unequal, backToFirst); });
    pairs = {};
    if (listed)
        must(232, [&] {
            inBatches(backToFirst, s_.deleteBatch, [&](const std::vector<std::int64_t>& part) {
                const long long gone = connection().execute(deleteListed(kNumberList, part));
                if (gone != static_cast<long long>(part.size()))
                    throw std::runtime_error("The list of the rows to leave out lost " +
                                             std::to_string(gone) + " rows where " +
                                             std::to_string(part.size()) +
                                             " were named. No new table was made.");
            });
        });
    counts_.duplicates = repeats.size();
    if (repeats.empty()) return std::nullopt;
    if (listed) return JobPlan{plan::ListNumbers{true}, std::move(repeats)};
    std::vector<NumberRange> runs;
    must(210, [&] {
        runs = runsOf(repeats, identity_.empty() ? nullptr : &identities, s_.maxLeftOutRuns);
    });
    return ChoosePlan(std::move(repeats), std::move(runs), !s_.removedInto.empty());
}

// One read of the copy's numbers and fingerprints. The rank is the number itself where the
// smallest number stays, else the place in the order read (a second array gives its number).
std::vector<NumberPair> Job::readWorkFingerprints(std::vector<std::int64_t>& identities) {
    const bool ordered = !s_.orderBy.empty() || s_.keepLast;
    db::Statement st(connection());
    st.execute(workFingerprintQuery(numberBy_, form_, work_, s_.orderBy, s_.keepLast));
    const auto expected = static_cast<std::size_t>(std::max(0LL, workRows_));
    FingerprintSort sorted;
    sorted.reserve(expected);
    std::vector<std::int64_t> byPlace, numbers;
    if (ordered) byPlace.reserve(expected);
    if (!identity_.empty()) numbers.reserve(expected);
    std::uint64_t rows = 0;
    counts_.keyBytes = 0;
    forEachWholeRow(st, 2, [&](const auto& v) {
        const auto fingerprint = keptBits(static_cast<std::uint64_t>(v[1]), s_.fingerprintBits);
        if (ordered) {
            sorted.add(fingerprint, static_cast<std::int64_t>(byPlace.size()));
            byPlace.push_back(v[0]);
        } else {
            sorted.add(fingerprint, v[0]);
        }
        if (!identity_.empty()) numbers.push_back(v[0]);
        counts_.rowsRead = std::max(counts_.rowsRead, ++rows);
        if ((rows & 4095) == 0) tick();
        return true;
    });
    if (!identity_.empty()) checkIdentities(numbers);
    identities = std::move(numbers);
    if (ordered)
        return sorted.pairs([&](std::int64_t place) { return byPlace[std::size_t(place)]; });
    return sorted.pairs([](std::int64_t number) { return number; });
}

// The repeats whose forms differ from their kept rows'. A few runs of pairs go as literals in the
// comparison itself; otherwise the pairs go to a session table first, which then also names the
// rows the new table leaves out.
std::vector<std::int64_t> Job::unequalPairs(const std::vector<NumberPair>& pairs, bool& listed) {
    const std::vector<PairRun> runs = pairRunsOf(pairs, s_.maxLeftOutRuns);
    std::string compare;
    if (!runs.empty()) {
        compare = unequalPairRuns(runs, work_, numberBy_, same_);
    } else {
        must(230, [&] { connection().execute(createPairList(kNumberList)); });
        listed = true;
        must(232, [&] {
            const std::size_t batch = std::max<std::size_t>(1, s_.deleteBatch);
            std::vector<NumberPair> part;
            for (std::size_t at = 0; at < pairs.size(); at += batch) {
                part.assign(pairs.begin() + static_cast<std::ptrdiff_t>(at),
                            pairs.begin() +
                                static_cast<std::ptrdiff_t>(std::min(pairs.size(), at + batch)));
                if (connection().execute(insertPairs(kNumberList, part)) !=
                    static_cast<long long>(part.size()))
                    throw std::runtime_error("The numbers of the rows to leave out did not all "
                                             "arrive. No new table was made.");
                tick();
            }
        });
        compare = unequalListedPairs(kNumberList, work_, numberBy_, same_);
    }
    std::vector<std::int64_t> unequal;
    must(210, [&] {
        db::Statement st(connection());
        st.execute(compare);
        forEachWholeRow(st, 1, [&](const auto& v) {
            unequal.push_back(v[0]);
            return true;
        });
    });
    return unequal;
}

// Every pair's repeat, except in groups (named by their kept row) where some pair differs: there
// the rows' keys are read, in rank order, and the key search decides. `backToFirst`: the
// candidates it found to be no repeat.
std::vector<std::int64_t> Job::decideByKeys(const std::vector<NumberPair>& pairs,
                                            const std::vector<std::int64_t>& unequal,
                                            std::vector<std::int64_t>& backToFirst) {
    std::vector<std::int64_t> repeats;
    repeats.reserve(pairs.size());
    const std::unordered_set<std::int64_t> differs(unequal.begin(), unequal.end());
    std::unordered_set<std::int64_t> mixed;
    for (const auto& p : pairs)
        if (differs.count(p.repeat)) mixed.insert(p.kept);
    // The mixed groups' rows in rank order: pairs come group by group, each in rank order.
    std::vector<std::int64_t> members;
    std::unordered_set<std::int64_t> candidates;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (!mixed.count(pairs[i].kept)) {
            repeats.push_back(pairs[i].repeat);
            continue;
        }
        if (i == 0 || pairs[i - 1].kept != pairs[i].kept) members.push_back(pairs[i].kept);
        members.push_back(pairs[i].repeat);
        candidates.insert(pairs[i].repeat);
    }
    if (members.empty()) return repeats;
    std::unordered_map<std::int64_t, std::string> keys;
    inBatches(members, 1000, [&](const std::vector<std::int64_t>& part) {
        db::Statement st(connection());
        st.execute(keysOfRows(numberBy_, s_.duplicateColumns, work_, part));
        forEachKey(st, true, [&](std::int64_t number, const std::string& key) {
            keys[number] = key;
            return true;
        });
    });
    RepeatFinder finder(s_.memoryBudget, members.size());
    finder.setSpillDir(s_.spillDir);
    for (const auto m : members) {
        const auto it = keys.find(m);
        if (it == keys.end())
            throw std::runtime_error("Row " + std::to_string(m) +
                                     " of the work table was not found again. No new table "
                                     "was made.");
        finder.push(m, it->second);
    }
    const std::vector<std::int64_t> decided = finder.repeats();
    const std::unordered_set<std::int64_t> repeat(decided.begin(), decided.end());
    for (const auto c : candidates)
        if (!repeat.count(c)) backToFirst.push_back(c);
    repeats.insert(repeats.end(), decided.begin(), decided.end());
    return repeats;
}

} // namespace rowlark::dedupe::detail
