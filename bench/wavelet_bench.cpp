// Wavelet processing (engine code 101) as the command runs it: the difference pyramid on a
// 6000 × 4000 RGB frame at the default gains, and the 2× enlargement with order 10 and the
// "強" preset (five levels) on a 3000 × 2000 frame, which becomes 6000 × 4000.
//
// Every pass starts from the same frame; restoring it is outside the timed part.
// Real time is reported: CPU time would only count the calling thread.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_support.h"
#include "core/engine.h"
#include "core/workbench.h"
#include "ui/wavelet_command.h"

namespace {

using vora::ImageRecord;

void wavelet_on(benchmark::State& state, const ImageRecord& frame, vora::Workbench& wb) {
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(wb.table[0], frame);
        state.ResumeTiming();
        vora::fill_wavelet_params(wb.settings.wavelet, wb.settings.wavelet_filter, wb.params);
        vora::apply_operation(wb, 0, 101);
        benchmark::DoNotOptimize(wb.table[0].red.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(frame.sample_count()) * 3 * 2);
}

void BM_WaveletPyramidDefault(benchmark::State& state) {
    auto wb = std::make_unique<vora::Workbench>();
    wavelet_on(state, vora::bench::shared_frame(), *wb);
}
BENCHMARK(BM_WaveletPyramidDefault)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WaveletPyramidStrong(benchmark::State& state) {
    auto wb = std::make_unique<vora::Workbench>();
    vora::wavelet_preset(3, wb->settings.wavelet);
    wavelet_on(state, vora::bench::shared_frame(), *wb);
}
BENCHMARK(BM_WaveletPyramidStrong)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WaveletEnlargeOrder10(benchmark::State& state) {
    static const ImageRecord frame = vora::bench::make_frame(3000, 2000);
    auto wb = std::make_unique<vora::Workbench>();
    vora::wavelet_preset(3, wb->settings.wavelet);
    wb->settings.wavelet_filter = {10, 1};
    wavelet_on(state, frame, *wb);
}
BENCHMARK(BM_WaveletEnlargeOrder10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
