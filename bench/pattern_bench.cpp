// Pattern engine timings: the worst case of the name matcher, and the per-entry
// cost of IsEntrySelected for an empty and for a realistic pattern set.
#include "engine/Patterns.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace kovrel;

// Twelve "*a" and a final "*b" against a run of "a"s: a literal backtracking
// search would try every way of placing twelve stars.
std::string PathologicalPattern() {
    std::string s;
    for (int i = 0; i < 12; ++i)
        s += "*a";
    return s + "*b";
}

void BM_MatchNamePathological(benchmark::State& state) {
    const std::string strName(static_cast<std::size_t>(state.range(0)), 'a');
    const std::string strPat = PathologicalPattern();
    for (auto _ : state)
        benchmark::DoNotOptimize(MatchName(strName, strPat));
}
BENCHMARK(BM_MatchNamePathological)->Arg(200)->Arg(4095)->Unit(benchmark::kMicrosecond);

void BM_MatchNameTypical(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(MatchName("pattern_engine.cpp", "*.cpp"));
        benchmark::DoNotOptimize(MatchName("pattern_engine.cpp", "*.h"));
    }
}
BENCHMARK(BM_MatchNameTypical);

struct Entry {
    std::string strHolder;
    std::string strName;
    bool bDir;
};

// 100,000 entries of a source tree, in the order a walk tests them: directory
// by directory, all entries of one directory in a row. About one entry in ten is
// a directory; files carry the usual extensions.
std::vector<Entry> MakeEntries() {
    const std::vector<std::string> vecTop = {"src",   "include", "docs",        "tests",
                                             "build", ".git",    "third_party", "tools"};
    const std::vector<std::string> vecSub = {"core", "engine", "app",     "obj", "unit",
                                             "api",  "zlib",   "objects", "kov", "x"};
    const std::vector<std::string> vecExt = {".c",  ".h",   ".cpp", ".hpp", ".o",   ".txt",
                                             ".md", ".bak", "~",    "",     ".tmp", ".json"};
    std::mt19937 rng(1);
    std::uniform_int_distribution<std::size_t> top(0, vecTop.size() - 1);
    std::uniform_int_distribution<std::size_t> sub(0, vecSub.size() - 1);
    std::uniform_int_distribution<std::size_t> ext(0, vecExt.size() - 1);
    std::uniform_int_distribution<int> depth(0, 3);
    std::uniform_int_distribution<int> count(1, 100);
    std::uniform_int_distribution<int> stem(0, 99999);
    std::uniform_int_distribution<int> dir(0, 9);
    std::vector<Entry> vec;
    vec.reserve(100000);
    bool bFirst = true;
    while (vec.size() < 100000) {
        std::string strHolder;
        if (!bFirst) {
            strHolder = "/" + vecTop[top(rng)];
            for (int d = depth(rng); d > 0; --d)
                strHolder += "/" + vecSub[sub(rng)];
        }
        bFirst = false;
        for (int n = count(rng); n > 0 && vec.size() < 100000; --n) {
            Entry e;
            e.strHolder = strHolder;
            e.bDir = dir(rng) == 0;
            e.strName = "name_" + std::to_string(stem(rng));
            if (!e.bDir)
                e.strName += vecExt[ext(rng)];
            if (vec.size() % 97 == 0)
                e.strName += "_test.cpp";
            vec.push_back(std::move(e));
        }
    }
    return vec;
}

// Twenty patterns: four from the item path's wildcard list, sixteen from the text.
CPatternSet MakeRealisticSet() {
    CPatternSet ps;
    ps.m_strFiles = "*.c\n*.h\n*.cpp\n*.hpp";
    ParsePatternText(ps, "*.txt\n*.md\nMakefile\nCMakeLists.txt\n"
                         "!*.o\n!*.obj\n!*~\n!*.bak\n!#*#\n!*.tmp\n"
                         "\\src\\\n\\include\\\n\\docs\\*.md|*.txt\n\\tests\\*\\*_test.cpp\n"
                         "!\\build\\\n!\\.git\\");
    return ps;
}

void RunEntries(benchmark::State& state, const CPatternSet& ps) {
    static const std::vector<Entry> vecEntries = MakeEntries();
    std::size_t nSelected = 0;
    for (auto _ : state) {
        nSelected = 0;
        for (const Entry& e : vecEntries)
            nSelected += IsEntrySelected(e.strHolder, e.strName, e.bDir, ps);
        benchmark::DoNotOptimize(nSelected);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * vecEntries.size()));
    state.counters["selected"] = static_cast<double>(nSelected);
}

void BM_IsEntrySelectedEmpty100k(benchmark::State& state) {
    const CPatternSet ps;
    RunEntries(state, ps);
}
BENCHMARK(BM_IsEntrySelectedEmpty100k)->Unit(benchmark::kMillisecond);

void BM_IsEntrySelected20Patterns100k(benchmark::State& state) {
    const CPatternSet ps = MakeRealisticSet();
    RunEntries(state, ps);
}
BENCHMARK(BM_IsEntrySelected20Patterns100k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
