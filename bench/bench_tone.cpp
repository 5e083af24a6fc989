// The tone operations on a 6000 × 4000 RGB frame: the gamma curve in both modes (through the
// engine, as the command runs it), level correction of the three planes and the
// dynamic-range correction with its default settings. The floor next to them is a plain
// copy of the same three planes: a point operation through a lookup table should cost
// little more.
//
// Every pass starts from the same frame; restoring it is outside the timed part.
// Real time is reported: CPU time would only count the calling thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "bench_support.h"
#include "core/engine.h"
#include "core/workbench.h"
#include "filters/tone.h"
#include "ui/tone_commands.h"

namespace {

using vora::ImageRecord;

void gamma_on_frame(benchmark::State& state, int curve_mode) {
    const ImageRecord& frame = vora::bench::shared_frame();
    auto wb = std::make_unique<vora::Workbench>();
    wb->settings.gamma.curve_mode = curve_mode;
    wb->settings.gamma.points[0] = {{{16, 0}, {96, 150}, {240, 255}}};
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(wb->table[0], frame);
        state.ResumeTiming();
        vora::fill_gamma_params(wb->settings.gamma, wb->params);
        vora::apply_operation(*wb, 0, 1);
        benchmark::DoNotOptimize(wb->table[0].red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}

void BM_ToneGammaStraight(benchmark::State& state) {
    gamma_on_frame(state, vora::kCurveStraight);
}
BENCHMARK(BM_ToneGammaStraight)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToneGammaSmooth(benchmark::State& state) {
    gamma_on_frame(state, vora::kCurveSmooth);
}
BENCHMARK(BM_ToneGammaSmooth)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToneLevel(benchmark::State& state) {
    const ImageRecord& frame = vora::bench::shared_frame();
    ImageRecord work;
    vora::LevelSettings settings;
    settings.sets[0] = {10, 240, 5, 20, 150, 0, 255};
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(work, frame);
        state.ResumeTiming();
        vora::apply_level_settings(work, settings);
        benchmark::DoNotOptimize(work.red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}
BENCHMARK(BM_ToneLevel)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToneDynamicRange(benchmark::State& state) {
    const ImageRecord& frame = vora::bench::shared_frame();
    ImageRecord work;
    vora::DynamicRangeSettings settings;
    settings.radius = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(work, frame);
        state.ResumeTiming();
        vora::dynamic_range(work, settings);
        benchmark::DoNotOptimize(work.red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}
BENCHMARK(BM_ToneDynamicRange)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: copying the three planes into planes of the same size, on one thread.
void BM_ToneCopyFloor(benchmark::State& state) {
    const ImageRecord& frame = vora::bench::shared_frame();
    ImageRecord work;
    vora::bench::reset_picture(work, frame);
    for (auto _ : state) {
        for (int c = 0; c < 3; ++c)
            std::copy(frame.plane(c).begin(), frame.plane(c).end(), work.plane(c).begin());
        benchmark::DoNotOptimize(work.red.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}
BENCHMARK(BM_ToneCopyFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
