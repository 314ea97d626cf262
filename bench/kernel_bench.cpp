// Kernel benchmarks: float text against the bare standard conversions it is
// built on, and the stable sort against std::stable_sort.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kernel/floattext.h"
#include "kernel/sort.h"

using namespace zel;

namespace {

std::vector<double> sample_doubles() {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::vector<double> v(4096);
    for (double& x : v) x = mantissa(rng) * std::pow(10.0, exponent(rng));
    return v;
}

std::vector<std::string> sample_texts() {
    std::vector<std::string> texts;
    char buf[64];
    for (double x : sample_doubles()) texts.emplace_back(buf, std::to_chars(buf, buf + 64, x).ptr);
    return texts;
}

void BM_FormatDouble(benchmark::State& state) {
    std::vector<double> v = sample_doubles();
    char out[float_::TEXT_SIZE];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(float_::format_double(v[i++ & 4095], 0, true, out));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FormatDouble);

void BM_StdToChars(benchmark::State& state) {
    std::vector<double> v = sample_doubles();
    char out[64];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::to_chars(out, out + 64, v[i++ & 4095]).ptr);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StdToChars);

void BM_FormIntoFloat(benchmark::State& state) {
    std::vector<double> v = sample_doubles();
    char out[float_::TEXT_SIZE];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(float_::form_into(v[i++ & 4095], float_::KIND_FLOAT, out));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FormIntoFloat);

void BM_FromText(benchmark::State& state) {
    std::vector<std::string> texts = sample_texts();
    size_t i = 0;
    int32_t unconsumed;
    for (auto _ : state) {
        const std::string& t = texts[i++ & 4095];
        benchmark::DoNotOptimize(float_::from_text(t.data(), t.data() + t.size(), 0, &unconsumed));
    }
}
BENCHMARK(BM_FromText);

void BM_StdFromChars(benchmark::State& state) {
    std::vector<std::string> texts = sample_texts();
    size_t i = 0;
    double v;
    for (auto _ : state) {
        const std::string& t = texts[i++ & 4095];
        benchmark::DoNotOptimize(std::from_chars(t.data(), t.data() + t.size(), v).ptr);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_StdFromChars);

// Cell-sized records keyed by their first word.
struct Record {
    uint32_t key, a, b, c;
};

int32_t compare_keys(const void* x, const void* y, uintptr_t, uintptr_t) {
    uint32_t kx, ky;
    std::memcpy(&kx, x, 4);
    std::memcpy(&ky, y, 4);
    return (kx > ky) - (kx < ky);
}

std::vector<Record> sample_records(size_t n, bool presorted) {
    std::mt19937 rng(7);
    std::vector<Record> v(n);
    for (size_t i = 0; i < n; i++) v[i] = {presorted ? uint32_t(i) : uint32_t(rng() % n), 0, 0, uint32_t(i)};
    if (presorted)
        for (size_t i = 0; i < n / 20; i++) std::swap(v[rng() % n], v[rng() % n]);
    return v;
}

void BM_SortStable(benchmark::State& state) {
    std::vector<Record> data = sample_records(size_t(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        std::vector<Record> v = data;
        sort::stable(v.data(), uint32_t(v.size()), sizeof(Record), 0, 0, compare_keys);
        benchmark::DoNotOptimize(v.data());
    }
}
BENCHMARK(BM_SortStable)->ArgsProduct({{1000, 100000}, {0, 1}});

void BM_StdStableSort(benchmark::State& state) {
    std::vector<Record> data = sample_records(size_t(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        std::vector<Record> v = data;
        std::stable_sort(v.begin(), v.end(),
                         [](const Record& x, const Record& y) { return compare_keys(&x, &y, 0, 0) < 0; });
        benchmark::DoNotOptimize(v.data());
    }
}
BENCHMARK(BM_StdStableSort)->ArgsProduct({{1000, 100000}, {0, 1}});

void BM_SortQuick(benchmark::State& state) {
    std::vector<Record> data = sample_records(size_t(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        std::vector<Record> v = data;
        sort::quick(v.data(), uint32_t(v.size()), sizeof(Record), 0, 0, compare_keys);
        benchmark::DoNotOptimize(v.data());
    }
}
BENCHMARK(BM_SortQuick)->ArgsProduct({{1000, 100000}, {0, 1}});

}  // namespace
