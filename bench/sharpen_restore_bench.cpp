// Sharpen/smooth (code 0) and blur restoration (code 102) on a 6000 × 4000 RGB frame
// through the engine, as the commands run them: at the default settings and at the
// heaviest (radius 10 with falloff 1.0: 21 × 21 taps; spread 10.0 with five iterations:
// six 21 × 21 passes per plane).
//
// Every pass starts from the same frame; restoring it is outside the timed part.
// Real time is reported: CPU time would only count the calling thread.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_support.h"
#include "core/engine.h"
#include "core/workbench.h"
#include "ui/restore_command.h"
#include "ui/sharpen_command.h"

namespace {

using vora::ImageRecord;

template <class Fill>
void run_on_frame(benchmark::State& state, int code, Fill fill) {
    const ImageRecord& frame = vora::bench::shared_frame();
    auto wb = std::make_unique<vora::Workbench>();
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(wb->table[0], frame);
        state.ResumeTiming();
        fill(*wb);
        vora::apply_operation(*wb, 0, code);
        benchmark::DoNotOptimize(wb->table[0].red.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(frame.sample_count()) * 3 * 2);
}

void sharpen_on_frame(benchmark::State& state, int radius, int falloff) {
    run_on_frame(state, 0, [&](vora::Workbench& wb) {
        wb.settings.sharp.radius = radius;
        wb.settings.sharp.falloff = falloff;
        vora::fill_sharpen_params(wb.settings.sharp, wb.params);
    });
}

void restore_on_frame(benchmark::State& state, int spread, int iterations) {
    run_on_frame(state, 102, [&](vora::Workbench& wb) {
        wb.settings.restore.spread = spread;
        wb.settings.restore.iterations = iterations;
        vora::fill_restore_params(wb.settings.restore, wb.params);
    });
}

void BM_SharpenDefault(benchmark::State& state) {
    sharpen_on_frame(state, 1, 50);
}
BENCHMARK(BM_SharpenDefault)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SharpenRadius10Falloff1(benchmark::State& state) {
    sharpen_on_frame(state, 10, 10);
}
BENCHMARK(BM_SharpenRadius10Falloff1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RestoreDefault(benchmark::State& state) {
    restore_on_frame(state, 10, 3);
}
BENCHMARK(BM_RestoreDefault)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RestoreSpread10Iterations5(benchmark::State& state) {
    restore_on_frame(state, 100, 5);
}
BENCHMARK(BM_RestoreSpread10Iterations5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
