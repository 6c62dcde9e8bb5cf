// Lookups per second in a 10,000-entry catalogue, hits and misses: TDomain (binary search in the
// mapped file) beside glibc's dgettext (hash table) on the same .mo file in the same run.
#include "i18n/TDomain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <libintl.h>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int EntryCount = 10000;
const char* const DomainName = "tarvelbench";

std::filesystem::path Root;
std::vector<std::string> HitKeys;
std::vector<std::string> MissKeys;

// Keys that look like program texts: a few words of varying length.
std::vector<std::string> MakeKeys()
{
    static const char* const words[] = {"file",    "port",  "open",    "cannot",  "device",
                                        "error",   "the",   "serial",  "failed",  "settings",
                                        "reply",   "line",  "waiting", "flash",   "name",
                                        "invalid", "value", "status",  "timeout", "buffer"};
    std::mt19937 random(12345);
    std::vector<std::string> keys;
    for (int i = 0; i < EntryCount; ++i) {
        std::string key;
        const int count = 2 + static_cast<int>(random() % 6);
        for (int w = 0; w < count; ++w) {
            key += words[random() % std::size(words)];
            key += ' ';
        }
        key += std::to_string(i);
        keys.push_back(key);
    }
    return keys;
}

std::string PoQuoted(const std::string& text)
{
    return "\"" + text + "\"";
}

bool PrepareCatalogue()
{
    char pattern[] = "/tmp/tarvel-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return false;
    Root = pattern;
    const auto messages = Root / "locale/xx/LC_MESSAGES";
    std::filesystem::create_directories(messages);
    const auto po = Root / "bench.po";
    {
        std::ofstream out(po);
        out << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
        for (const std::string& key : HitKeys)
            out << "msgid " << PoQuoted(key) << "\nmsgstr " << PoQuoted("[xx] " + key) << "\n\n";
    }
    const std::string command =
        "msgfmt -o '" + (messages / DomainName).string() + ".mo' '" + po.string() + "'";
    return std::system(command.c_str()) == 0;
}

void TDomainLookup(benchmark::State& state, const std::vector<std::string>& keys)
{
    TDomain domain;
    domain.SetDomainName(DomainName);
    domain.SetCatalogueDir((Root / "locale").string());
    domain.SetLanguage("xx");
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(domain.Lookup(keys[i]));
        if (++i == keys.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void DgettextLookup(benchmark::State& state, const std::vector<std::string>& keys)
{
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dgettext(DomainName, keys[i].c_str()));
        if (++i == keys.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_TDomainHit(benchmark::State& state)
{
    TDomainLookup(state, HitKeys);
}
void BM_TDomainMiss(benchmark::State& state)
{
    TDomainLookup(state, MissKeys);
}
void BM_DgettextHit(benchmark::State& state)
{
    DgettextLookup(state, HitKeys);
}
void BM_DgettextMiss(benchmark::State& state)
{
    DgettextLookup(state, MissKeys);
}

BENCHMARK(BM_TDomainHit);
BENCHMARK(BM_DgettextHit);
BENCHMARK(BM_TDomainMiss);
BENCHMARK(BM_DgettextMiss);

} // namespace

int main(int argc, char** argv)
{
    HitKeys = MakeKeys();
    for (const std::string& key : HitKeys)
        MissKeys.push_back(key + " (missing)");
    // Shuffle so that neither search walks the table in order.
    std::mt19937 random(7);
    std::shuffle(HitKeys.begin(), HitKeys.end(), random);
    std::shuffle(MissKeys.begin(), MissKeys.end(), random);
    if (!PrepareCatalogue()) {
        std::fprintf(stderr, "cannot build the benchmark catalogue (msgfmt missing?)\n");
        return 1;
    }

    // glibc reads the same file: language "xx" through LANGUAGE, which needs a locale other
    // than plain "C".
    ::setenv("LANGUAGE", "xx", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    bindtextdomain(DomainName, (Root / "locale").c_str());
    if (std::string(dgettext(DomainName, HitKeys[0].c_str())) != "[xx] " + HitKeys[0])
        std::fprintf(stderr, "warning: dgettext does not see the catalogue\n");

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(Root);
    return 0;
}
