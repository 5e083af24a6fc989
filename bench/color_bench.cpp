// Distortion correction (code 60), monochrome conversion (code 20), saturation/hue (code 22)
// and the two colour replacements on a 6000 × 4000 RGB frame.
//
// Every pass starts from the same frame; restoring it is outside the timed part.
// Real time is reported: CPU time would only count the calling thread.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

#include "bench_support.h"
#include "core/engine.h"
#include "core/workbench.h"
#include "filters/color_replace.h"

namespace {

using vora::ImageRecord;
using vora::Workbench;

void run_on_frame(benchmark::State& state, const std::function<void(Workbench&)>& op) {
    const ImageRecord& frame = vora::bench::shared_frame();
    auto wb = std::make_unique<Workbench>();
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(wb->table[0], frame);
        state.ResumeTiming();
        op(*wb);
        benchmark::DoNotOptimize(wb->table[0].red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}

void BM_Distortion(benchmark::State& state) {
    run_on_frame(state, [](Workbench& wb) {
        wb.params[0] = 40;
        vora::apply_operation(wb, 0, 60);
    });
}
BENCHMARK(BM_Distortion)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MonochromeLuminance(benchmark::State& state) {
    run_on_frame(state, [](Workbench& wb) {
        wb.params[0] = 2;
        wb.params[1] = 299;
        wb.params[2] = 587;
        wb.params[3] = 114;
        vora::apply_operation(wb, 0, 20);
    });
}
BENCHMARK(BM_MonochromeLuminance)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaturationHue(benchmark::State& state) {
    run_on_frame(state, [](Workbench& wb) {
        wb.params[0] = 30;
        wb.params[1] = -45;
        vora::apply_operation(wb, 0, 22);
    });
}
BENCHMARK(BM_SaturationHue)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReplaceRgb(benchmark::State& state) {
    run_on_frame(state, [](Workbench& wb) {
        vora::replace_rgb(wb.table[0], {{128, 128, 128}, {255, 0, 0}, 80});
    });
}
BENCHMARK(BM_ReplaceRgb)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReplaceHsv(benchmark::State& state) {
    run_on_frame(state, [](Workbench& wb) {
        vora::replace_hsv(wb.table[0], {{30, 128, 128}, {200, 200, 200}, 240});
    });
}
BENCHMARK(BM_ReplaceHsv)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
