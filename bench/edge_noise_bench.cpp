// Edge enhancement and noise removal on a 6000 × 4000 RGB frame.
//
// Edge: the joint filter (all three planes selected, the default) and the single-plane
// filter on each of the three planes (the same amount of work), both through the engine as
// the command runs them. Noise: the default 5 × 5 neighbourhood, the 3 × 3 one, and the
// 5 × 5 one with tolerance 0, where every pixel takes the exact per-tap weights (the
// heaviest case; the bench frame's noise stays within the default tolerance).
//
// Every pass starts from the same frame; restoring it is outside the timed part.
// Real time is reported: CPU time would only count the calling thread.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_support.h"
#include "core/engine.h"
#include "core/workbench.h"
#include "filters/noise.h"
#include "ui/cleanup_commands.h"

namespace {

using vora::ImageRecord;

void edge_on_frame(benchmark::State& state, bool joint) {
    const ImageRecord& frame = vora::bench::shared_frame();
    auto wb = std::make_unique<vora::Workbench>();
    const int masks[3] = {vora::kMaskRed, vora::kMaskGreen, vora::kMaskBlue};
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(wb->table[0], frame);
        state.ResumeTiming();
        vora::fill_edge_params(wb->settings.edge, wb->params);
        if (joint) {
            vora::apply_operation(*wb, 0, 5);
        } else {
            for (int mask : masks) {
                wb->params[5] = mask;
                vora::apply_operation(*wb, 0, 5);
            }
        }
        benchmark::DoNotOptimize(wb->table[0].red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}

void BM_EdgeJoint(benchmark::State& state) {
    edge_on_frame(state, true);
}
BENCHMARK(BM_EdgeJoint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EdgeSinglePlane(benchmark::State& state) {
    edge_on_frame(state, false);
}
BENCHMARK(BM_EdgeSinglePlane)->Unit(benchmark::kMillisecond)->UseRealTime();

void noise_on_frame(benchmark::State& state, int area, int tolerance) {
    const ImageRecord& frame = vora::bench::shared_frame();
    ImageRecord image;
    const vora::NoiseSettings settings{area, tolerance, 3};
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(image, frame);
        state.ResumeTiming();
        vora::noise_reduction(image, settings, 6 - settings.noise_strength);
        benchmark::DoNotOptimize(image.red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}

void BM_Noise5x5(benchmark::State& state) {
    noise_on_frame(state, 5, 10);
}
BENCHMARK(BM_Noise5x5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Noise3x3(benchmark::State& state) {
    noise_on_frame(state, 3, 10);
}
BENCHMARK(BM_Noise3x3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Noise5x5NoTolerance(benchmark::State& state) {
    noise_on_frame(state, 5, 0);
}
BENCHMARK(BM_Noise5x5NoTolerance)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
