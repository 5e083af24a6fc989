// Composites aligned by two stars per frame, through the engine, on four 4000 × 3000 RGB
// star-field frames: code 8 (average with noise rejection at level 5 and normalisation) when
// the frames are only moved (identical A–B segments: the stacking cost alone) and when frames
// 2–4 are also turned by about a degree and scaled by about 2 % (working copies, resize and
// arbitrary-angle rotation), and code 9 (L + R + G + B) on the turned frames.
//
// The turned frames are rendered from the sky at turned positions, so the composite has to
// undo a real turn and scale. The points A and B are the frames' views of two sky points.
// Real time is reported: the rotation and the stacking run on the band runner.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "composite/stack.h"
#include "core/engine.h"
#include "core/image_table.h"
#include "core/workbench.h"

namespace {

using vora::ImageRecord;
using vora::bench::SkyView;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
// A 128-pixel margin keeps the corners of the turned and reduced frames starry; 3400 stars
// give the density of the automatic composite's frames.
constexpr int kStarCount = 3400;
constexpr int kMargin = 128;
constexpr int32_t kNoiseLevel = 5;

// The two reference stars' places in the sky (x, stored row).
constexpr std::array<double, 2> kSkyA{1000.0, 800.0};
constexpr std::array<double, 2> kSkyB{3000.0, 2200.0};

constexpr std::array<SkyView, 4> kMoved{
    {{0, 0, 0.0, 1.0}, {3, -2, 0.0, 1.0}, {-5, 4, 0.0, 1.0}, {7, 6, 0.0, 1.0}}};
constexpr std::array<SkyView, 4> kTurned{
    {{0, 0, 0.0, 1.0}, {4, -3, 0.6, 1.02}, {-6, 2, -0.9, 0.98}, {2, 5, 1.3, 1.02}}};

const std::vector<vora::bench::SkyStar>& stars() {
    static const std::vector<vora::bench::SkyStar> list =
        vora::bench::make_sky_stars(kWidth, kHeight, kStarCount, kMargin);
    return list;
}

// Four frames per view set, built once per process (about 288 MB each).
const std::vector<ImageRecord>& frames(bool turned) {
    auto render = [](const std::array<SkyView, 4>& views) {
        std::vector<ImageRecord> f;
        for (std::size_t i = 0; i < views.size(); ++i)
            f.push_back(vora::bench::render_star_frame(kWidth, kHeight, stars(), views[i],
                                                       500u + uint32_t(i)));
        return f;
    };
    static const std::vector<ImageRecord> moved = render(kMoved);
    static const std::vector<ImageRecord> turned_frames = render(kTurned);
    return turned ? turned_frames : moved;
}

// A sky point as the engine receives it for a frame: packed, y counted from the top.
int32_t packed_point(const SkyView& view, const std::array<double, 2>& sky) {
    const vora::bench::ViewMap map(view, kWidth, kHeight);
    double x = 0.0, row = 0.0;
    map.to_frame(sky[0], sky[1], x, row);
    return vora::pack_point(int32_t(std::lround(x)), kHeight - 1 - int32_t(std::lround(row)));
}

std::unique_ptr<vora::Workbench> workbench_with(const std::vector<ImageRecord>& f) {
    auto wb = std::make_unique<vora::Workbench>();
    vora::init_image_table(wb->table);
    for (std::size_t i = 0; i < f.size(); ++i) vora::copy_record(f[i], wb->table[int(i)]);
    return wb;
}

// Runs `code` into slot 4 with the vector made by `fill` (the kernels rewrite it).
template <typename Fill>
void run_composite(benchmark::State& state, int code, bool turned, Fill fill) {
    const auto& ops = vora::built_operations();
    if (!(code == 8 ? ops.point_composite : ops.lrgb_composite))
        return state.SkipWithError("the code has no kernel in built_operations()");
    auto wb = workbench_with(frames(turned));
    ImageRecord& target = wb->table[4];
    for (auto _ : state) {
        fill(wb->params);
        vora::apply_operation(*wb, 4, code);
        if (!target.occupied()) {
            state.SkipWithError("the composite left the target empty");
            break;
        }
        benchmark::DoNotOptimize(target.red.data());
        state.PauseTiming();
        state.counters["width"] = target.width;
        state.counters["height"] = target.height;
        vora::release_slot(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * 4 * int64_t(kWidth) * kHeight * 3 * 2);
}

// Engine code 8 of slots 0..3 as command 308 fills the vector: moved (0) or turned (1).
void BM_PointComposite4(benchmark::State& state) {
    const bool turned = state.range(0) != 0;
    const std::array<SkyView, 4>& views = turned ? kTurned : kMoved;
    run_composite(state, 8, turned, [&](vora::ParamVector& p) {
        p.fill(0);
        p[0] = vora::kStackAverage;
        p[2] = kNoiseLevel;
        p[3] = 3;
        for (std::size_t g = 0; g < 4; ++g) {
            p[4 + 4 * g] = int32_t(g);
            p[5 + 4 * g] = 100;
            p[6 + 4 * g] = packed_point(views[g], kSkyA);
            p[7 + 4 * g] = packed_point(views[g], kSkyB);
        }
    });
}
BENCHMARK(BM_PointComposite4)
    ->ArgName("turned")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Engine code 9 as command 360 fills it: L = slot 0 (the reference), R, G, B = slots 1..3, all
// at weight 100, on the turned frames.
void BM_LrgbComposite4(benchmark::State& state) {
    run_composite(state, 9, true, [](vora::ParamVector& p) {
        p.fill(0);
        for (std::size_t g = 0; g < 4; ++g) {
            p[4 * g] = int32_t(g);
            p[1 + 4 * g] = 100;
            p[2 + 4 * g] = packed_point(kTurned[g], kSkyA);
            p[3 + 4 * g] = packed_point(kTurned[g], kSkyB);
        }
    });
}
BENCHMARK(BM_LrgbComposite4)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
