// Rotation (code 10) on a 6000 × 4000 RGB frame through the kernels: a turn by 45° (the
// interpolating path, 7071 × 7071 result), the exact quarter and half turns, and the two
// flips. Every pass starts from the same frame; restoring it is outside the timed part.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "filters/flip.h"
#include "filters/rotate.h"

namespace {

using vora::ImageRecord;

template <class Op>
void run_on_frame(benchmark::State& state, Op op) {
    const ImageRecord& frame = vora::bench::shared_frame();
    ImageRecord r;
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(r, frame);
        state.ResumeTiming();
        op(r);
        benchmark::DoNotOptimize(r.red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}

void BM_Rotate45(benchmark::State& state) {
    run_on_frame(state, [](ImageRecord& r) { vora::rotate_any(r, 45000, -1, nullptr); });
}
BENCHMARK(BM_Rotate45)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rotate90(benchmark::State& state) {
    run_on_frame(state, [](ImageRecord& r) { vora::rotate_quarter(r, 90000); });
}
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rotate180(benchmark::State& state) {
    run_on_frame(state, [](ImageRecord& r) { vora::rotate_quarter(r, 180000); });
}
BENCHMARK(BM_Rotate180)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FlipLeftRight(benchmark::State& state) {
    run_on_frame(state, [](ImageRecord& r) { vora::flip(r, 1); });
}
BENCHMARK(BM_FlipLeftRight)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FlipTopBottom(benchmark::State& state) {
    run_on_frame(state, [](ImageRecord& r) { vora::flip(r, 2); });
}
BENCHMARK(BM_FlipTopBottom)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
