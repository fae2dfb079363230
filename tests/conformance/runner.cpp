// runner.cpp - runs the platform tests built against a real Win32 and
// compares each test's outcome with the list of expected differences.
//
//     conformance.exe EXPECTED-LIST [gtest options]
//
// The list has one row a line, four fields separated by "|" (the last one
// takes the rest of the line):
//     skip    | Suite.Test |                        | why it is not run here
//     differs | Suite.Test | text of the difference | why it differs
// A failure of a test that no "differs" row of that test matches (its text a
// part of the failure, locations left out, hexadecimal numbers as <hex>) is a
// new difference; a "differs" row that nothing matched is stale, and so is a
// row of a test that does not exist. Either fails the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "normalize.h"

namespace {

using conformance::Normalize;

struct Row {
    std::string kind, test, text, reason;
    int line = 0;
    bool met = false;
};

std::string Trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Split by hand: std::regex recurses once a character and would overflow
// the stack on a long row.
bool ReadList(const char *path, std::vector<Row> &rows, std::string &error)
{
    std::ifstream in(path);
    if (!in) {
        error = std::string("cannot read ") + path;
        return false;
    }
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (Trim(line).empty() || Trim(line)[0] == '#')
            continue;
        Row r;
        std::string *fields[] = {&r.kind, &r.test, &r.text, &r.reason};
        size_t at = 0, k = 0;
        for (size_t bar; k < 3 && (bar = line.find('|', at)) != std::string::npos; at = bar + 1)
            *fields[k++] = Trim(line.substr(at, bar - at));
        *fields[k] = Trim(line.substr(at));
        r.line = n;
        if (k != 3 || (r.kind != "skip" && r.kind != "differs") || r.test.empty() || r.reason.empty() ||
            (r.kind == "differs" && r.text.empty())) {
            error = std::string(path) + ":" + std::to_string(n) +
                    ": expected \"skip|differs | Suite.Test | text | reason\" with a reason";
            return false;
        }
        rows.push_back(r);
    }
    return true;
}

struct Outcome {
    std::vector<std::string> failures;
    bool finished = false;
};

class Recorder : public testing::EmptyTestEventListener {
public:
    std::map<std::string, Outcome> outcomes;
    std::vector<std::string> order;

private:
    std::string current_;
    void OnTestStart(const testing::TestInfo &t) override
    {
        current_ = std::string(t.test_suite_name()) + "." + t.name();
        order.push_back(current_);
        outcomes[current_];
        std::printf("[ RUN      ] %s\n", current_.c_str());
        std::fflush(stdout);
    }
    void OnTestPartResult(const testing::TestPartResult &r) override
    {
        if (r.failed())
            outcomes[current_].failures.push_back(Normalize(r.message()));
    }
    void OnTestEnd(const testing::TestInfo &) override
    {
        outcomes[current_].finished = true;
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s EXPECTED-LIST [gtest options]\n", argv[0]);
        return 2;
    }
    std::vector<Row> rows;
    std::string error;
    if (!ReadList(argv[1], rows, error)) {
        std::fprintf(stderr, "conformance: %s\n", error.c_str());
        return 2;
    }

    std::string filter = GTEST_FLAG_GET(filter), skipped;
    std::set<std::string> skipNames;
    int skipRows = 0;
    for (const Row &r : rows) {
        skipRows += r.kind == "skip";
        if (r.kind == "skip" && skipNames.insert(r.test).second)
            skipped += (skipped.empty() ? "" : ":") + r.test;
    }
    if (!skipped.empty())
        GTEST_FLAG_SET(filter, filter + (filter.find('-') == std::string::npos ? "-" : ":") + skipped);

    // Only this runner's summary lines are printed, with the failures that
    // matter; gtest's own printer would report expected differences as
    // failures.
    testing::TestEventListeners &listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    auto *recorder = new Recorder;
    listeners.Append(recorder);
    (void)RUN_ALL_TESTS();

    int agree = 0, expected = 0, fresh = 0;
    for (const std::string &test : recorder->order) {
        const Outcome &o = recorder->outcomes[test];
        bool allListed = o.finished;
        for (const std::string &f : o.failures) {
            bool listed = false;
            for (Row &r : rows) {
                if (r.kind == "differs" && r.test == test && f.find(r.text) != std::string::npos)
                    r.met = listed = true;
            }
            if (!listed) {
                allListed = false;
                std::printf("NEW DIFFERENCE %s: %s\n", test.c_str(), f.c_str());
            }
        }
        if (o.failures.empty() && o.finished)
            ++agree;
        else if (allListed)
            ++expected;
        else
            ++fresh;
    }
    int stale = 0;
    // A row of a test that no longer exists (renamed or removed) would
    // stand for nothing, and a skip row would hide the test's new name.
    std::set<std::string> known;
    const testing::UnitTest &unit = *testing::UnitTest::GetInstance();
    for (int i = 0; i < unit.total_test_suite_count(); ++i) {
        const testing::TestSuite &suite = *unit.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j)
            known.insert(std::string(suite.name()) + "." + suite.GetTestInfo(j)->name());
    }
    for (const Row &r : rows) {
        if (!known.count(r.test)) {
            ++stale;
            std::printf("LISTED TEST DOES NOT EXIST (line %d) %s\n", r.line, r.test.c_str());
        }
    }
    std::set<std::string> ran(recorder->order.begin(), recorder->order.end());
    for (const Row &r : rows) {
        if (r.kind == "differs" && !r.met && known.count(r.test) && (filter == "*" || ran.count(r.test))) {
            ++stale;
            std::printf("LISTED DIFFERENCE DID NOT OCCUR (line %d) %s: %s\n", r.line, r.test.c_str(), r.text.c_str());
        }
    }
    std::printf("conformance: %zu tests run, %d agreeing, %d with expected differences only (%zu listed differences), "
                "%d not run on Win32 (listed), %d with new differences, %d stale list rows\n",
                recorder->order.size(), agree, expected, rows.size() - skipRows, skipRows, fresh, stale);
    return fresh == 0 && stale == 0 ? 0 : 1;
}
