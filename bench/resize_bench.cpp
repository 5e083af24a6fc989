// Resizing (code 6) of a 6000 × 4000 RGB frame with each method, down to 50 % and up to
// 200 %. Every pass starts from the same frame; restoring it is outside the timed part.
// Real time is reported: CPU time would only count the calling thread.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "filters/resize.h"

namespace {

void resize_frame(benchmark::State& state) {
    const vora::ImageRecord& frame = vora::bench::shared_frame();
    const auto method = int32_t(state.range(0));
    const auto scale = int32_t(state.range(1));  // percent
    vora::ImageRecord r;
    for (auto _ : state) {
        state.PauseTiming();
        vora::bench::reset_picture(r, frame);
        state.ResumeTiming();
        vora::resize_record(r, scale, 100, scale, 100, method);
        benchmark::DoNotOptimize(r.red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}

}  // namespace

// Arguments: method (0 nearest, 1 bilinear, 2 Lanczos), scale in percent.
BENCHMARK(resize_frame)
    ->ArgsProduct({{0, 1, 2}, {50, 200}})
    ->ArgNames({"method", "percent"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
