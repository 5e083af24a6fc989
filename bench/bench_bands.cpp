// What the band runner costs: a trivial per-row kernel (invert every sample) over a
// 6000 × 4000 plane, through run_bands and as a plain loop on one thread, and the fixed
// cost of starting the threads on an image only 4 rows high.
//
// Real time is reported: CPU time would only count the calling thread.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bench_support.h"
#include "core/bands.h"

namespace {

using vora::bench::kFrameHeight;
using vora::bench::kFrameWidth;

struct PlaneImage {
    int width;
    int height;
    std::vector<uint16_t> samples;

    PlaneImage(int w, int h) : width(w), height(h), samples(std::size_t(w) * std::size_t(h)) {
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = uint16_t(i * 2654435761u);
    }
    void invert_rows(int begin, int end) {
        uint16_t* p = samples.data() + std::size_t(begin) * std::size_t(width);
        uint16_t* const stop = samples.data() + std::size_t(end) * std::size_t(width);
        for (; p != stop; ++p) *p = uint16_t(65535 - *p);
    }
};

// The samples' address escapes first, so ClobberMemory makes every pass's stores count.
void invert_with_bands(benchmark::State& state, PlaneImage& image) {
    benchmark::DoNotOptimize(image.samples.data());
    for (auto _ : state) {
        vora::run_bands(image.height,
                        [&](int, int begin, int end) { image.invert_rows(begin, end); });
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(image.samples.size() * 2));
}

void invert_on_one_thread(benchmark::State& state, PlaneImage& image) {
    benchmark::DoNotOptimize(image.samples.data());
    for (auto _ : state) {
        image.invert_rows(0, image.height);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(image.samples.size() * 2));
}

void BM_InvertFrameBands(benchmark::State& state) {
    PlaneImage image(kFrameWidth, kFrameHeight);
    invert_with_bands(state, image);
}
BENCHMARK(BM_InvertFrameBands)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InvertFrameOneThread(benchmark::State& state) {
    PlaneImage image(kFrameWidth, kFrameHeight);
    invert_on_one_thread(state, image);
}
BENCHMARK(BM_InvertFrameOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// The four bands one after another on the caller: the split and call overhead alone.
void BM_InvertFrameBandsSerial(benchmark::State& state) {
    PlaneImage image(kFrameWidth, kFrameHeight);
    vora::SerialBandsScope serial;
    invert_with_bands(state, image);
}
BENCHMARK(BM_InvertFrameBandsSerial)->Unit(benchmark::kMillisecond)->UseRealTime();

// Four rows: one per band, so the time is almost all thread start and join.
void BM_InvertTinyBands(benchmark::State& state) {
    PlaneImage image(kFrameWidth, 4);
    invert_with_bands(state, image);
}
BENCHMARK(BM_InvertTinyBands)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_InvertTinyOneThread(benchmark::State& state) {
    PlaneImage image(kFrameWidth, 4);
    invert_on_one_thread(state, image);
}
BENCHMARK(BM_InvertTinyOneThread)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
