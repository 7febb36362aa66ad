// Times the duplicate finder on keys read from a tab-separated file, one row a line: the same
// input that bench/finder_vs_pandas.py gives to pandas. Prints the median of three runs.
#include "dedupe/keys.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: finder_file_bench FILE.tsv\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    rowlark::dedupe::TextList keys;
    std::string line;
    while (std::getline(in, line)) {
        std::string& key = keys.open();
        std::size_t at = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', at);
            rowlark::dedupe::appendKeyValue(key, line.substr(at, tab - at));
            if (tab == std::string::npos) break;
            at = tab + 1;
        }
        keys.push();
    }
    std::vector<double> times;
    std::size_t repeats = 0;
    for (int run = 0; run < 3; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        repeats = rowlark::dedupe::FindDuplicatePositions(keys).size();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    std::cout << times[1] << " " << repeats << "\n";
}
