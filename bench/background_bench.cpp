// Background work on a 6000 × 4000 RGB frame, through the engine as the commands run it:
// generating the background image (code 50, detection size 32, averaging size 16, zeros
// excluded), the pseudo-function correction (code 7 mode 0: centre 60, edge 20, curve 2.00)
// and the correction by a background image (code 7, mode 3 dividing, mode 4 subtracting).
//
// The corrections change the frame in place, so each pass starts from a fresh copy made
// outside the timed part. Real time is reported: the models are built on the band runner.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "bench_support.h"
#include "core/engine.h"
#include "core/image_table.h"
#include "core/workbench.h"

namespace {

using vora::ImageRecord;

// A workbench whose slot 0 holds the shared frame.
std::unique_ptr<vora::Workbench> workbench_with_frame() {
    auto wb = std::make_unique<vora::Workbench>();
    vora::init_image_table(wb->table);
    vora::copy_record(vora::bench::shared_frame(), wb->table[0]);
    return wb;
}

void restore(ImageRecord& target, const ImageRecord& source) {
    for (int c = 0; c < 3; ++c) target.plane(c) = source.plane(c);
}

// A smooth background of the frame's size: a bright centre falling off to the corners.
ImageRecord smooth_background() {
    const ImageRecord& frame = vora::bench::shared_frame();
    ImageRecord r;
    r.width = frame.width;
    r.height = frame.height;
    const int64_t cx = r.width / 2, cy = r.height / 2;
    const int64_t reach = cx * cx + cy * cy;
    for (int c = 0; c < 3; ++c) {
        vora::Plane& plane = r.plane(c);
        plane.resize(r.sample_count());
        std::size_t i = 0;
        for (int64_t row = 0; row < r.height; ++row) {
            for (int64_t x = 0; x < r.width; ++x, ++i) {
                const int64_t d = (x - cx) * (x - cx) + (row - cy) * (row - cy);
                plane[i] = uint16_t(6000 + 4000 * (reach - d) / reach + 500 * c);
            }
        }
    }
    return r;
}

// Code 50 from slot 0 into the empty slot 1, which is emptied again between passes.
void BM_BackgroundGenerate(benchmark::State& state) {
    if (!vora::built_operations().background_generation)
        return state.SkipWithError("engine code 50 has no kernel in built_operations()");
    auto wb = workbench_with_frame();
    ImageRecord& target = wb->table[1];
    for (auto _ : state) {
        vora::ParamVector& p = wb->params;
        p.fill(0);
        p[0] = 0;   // source slot
        p[1] = 32;  // detection size
        p[2] = 16;  // averaging size
        p[3] = 1;   // exclude zero
        vora::apply_operation(*wb, 1, 50);
        benchmark::DoNotOptimize(target.red.data());
        state.PauseTiming();
        vora::release_slot(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(wb->table[0]));
}
BENCHMARK(BM_BackgroundGenerate)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Code 7 mode 0: the radial model (centre 60, edge 20 on the 8-bit scale, exponent 2.00)
// divides every channel.
void BM_BackgroundPseudo(benchmark::State& state) {
    if (!vora::built_operations().background)
        return state.SkipWithError("engine code 7 has no kernel in built_operations()");
    auto wb = workbench_with_frame();
    const ImageRecord& frame = vora::bench::shared_frame();
    for (auto _ : state) {
        state.PauseTiming();
        restore(wb->table[0], frame);
        vora::ParamVector& p = wb->params;
        p.fill(0);
        p[0] = 0;
        for (int c = 0; c < 3; ++c) {
            p[std::size_t(2 + 2 * c)] = 60;  // centre
            p[std::size_t(3 + 2 * c)] = 20;  // edge
        }
        p[8] = 200;
        state.ResumeTiming();
        vora::apply_operation(*wb, 0, 7);
        benchmark::DoNotOptimize(wb->table[0].red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}
BENCHMARK(BM_BackgroundPseudo)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Code 7 with the background image in slot 1: mode 3 divides (shift 0), mode 4 subtracts
// (shift 30).
void BM_BackgroundReference(benchmark::State& state) {
    if (!vora::built_operations().background)
        return state.SkipWithError("engine code 7 has no kernel in built_operations()");
    const auto mode = int32_t(state.range(0));
    auto wb = workbench_with_frame();
    wb->table[1] = smooth_background();
    const ImageRecord& frame = vora::bench::shared_frame();
    for (auto _ : state) {
        state.PauseTiming();
        restore(wb->table[0], frame);
        vora::ParamVector& p = wb->params;
        p.fill(0);
        p[0] = mode;
        p[2] = p[4] = p[6] = mode == 4 ? 30 : 0;
        p[8] = 1;
        state.ResumeTiming();
        vora::apply_operation(*wb, 0, 7);
        benchmark::DoNotOptimize(wb->table[0].red.data());
    }
    state.SetBytesProcessed(state.iterations() * vora::bench::frame_bytes(frame));
}
BENCHMARK(BM_BackgroundReference)
    ->ArgName("mode")
    ->Arg(3)
    ->Arg(4)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
