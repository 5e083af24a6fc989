// Stacking 4000 × 3000 RGB star-field frames: the automatic composite of four frames through
// the engine (code 3: slow search over ±20 pixels, density normalisation, average with noise
// rejection at level 5), its two halves alone (the translation search and the average), and
// the multi-file composite of sixteen 48-bit PPM files (four groups of four, then the group
// results), reading included.
//
// Every frame shows the same sky (a gradient and a few thousand stars) moved by a few pixels,
// with its own noise, so the search has a real answer and the rejection real work.
// Real time is reported: the search runs on the band runner.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "composite/align.h"
#include "composite/stack.h"
#include "core/engine.h"
#include "core/image_table.h"
#include "core/workbench.h"
#include "io/bmp_pnm.h"
#include "settings/composite_settings.h"
#include "ui/composite_commands.h"

namespace {

using vora::ImageRecord;
using vora::Offset;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kStarCount = 3000;
constexpr int kRange = 20;
constexpr int32_t kNoiseLevel = 5;

// Where each frame looks: frame i's pixel (x, row) shows the sky at (x + dx, row + dy).
constexpr std::array<Offset, 16> kShifts{{{0, 0},
                                          {3, -2},
                                          {-5, 4},
                                          {7, 6},
                                          {-2, -7},
                                          {6, 1},
                                          {-8, 3},
                                          {1, 8},
                                          {4, -6},
                                          {-6, -3},
                                          {8, -8},
                                          {-3, 5},
                                          {2, 2},
                                          {-7, 7},
                                          {5, -4},
                                          {-1, -1}}};

// 3000 stars reaching 16 pixels beyond every edge.
const std::vector<vora::bench::SkyStar>& stars() {
    static const std::vector<vora::bench::SkyStar> list =
        vora::bench::make_sky_stars(kWidth, kHeight, kStarCount, 16);
    return list;
}

// The sky gradient plus ±384 of noise, then the stars added on top.
ImageRecord render_frame(Offset shift, uint32_t seed) {
    vora::bench::SkyView view;
    view.shift_x = shift.x;
    view.shift_y = shift.y;
    return vora::bench::render_star_frame(kWidth, kHeight, stars(), view, seed);
}

// The four frames of the automatic composite, built once per process (about 288 MB).
const std::vector<ImageRecord>& four_frames() {
    static const std::vector<ImageRecord> frames = [] {
        std::vector<ImageRecord> f;
        for (int i = 0; i < 4; ++i) f.push_back(render_frame(kShifts[std::size_t(i)], 77u + i));
        return f;
    }();
    return frames;
}

std::vector<const ImageRecord*> frame_pointers() {
    std::vector<const ImageRecord*> p;
    for (const ImageRecord& f : four_frames()) p.push_back(&f);
    return p;
}

// "dx,dy dx,dy …" of the offsets found, and whether they are the shifts the frames were made
// with.
std::string describe(const std::vector<Offset>& found, bool& as_made) {
    std::string text;
    as_made = found.size() == 4;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!(found[i] == kShifts[i])) as_made = false;
        if (i) text.push_back(' ');
        text.append(std::to_string(found[i].x)).push_back(',');
        text.append(std::to_string(found[i].y));
    }
    return text;
}

int64_t frame_bytes() {
    return int64_t(kWidth) * kHeight * 3 * 2;
}

// Engine code 3 into slot 4 from slots 0..3, as the command fills the vector.
void BM_AutoComposite4(benchmark::State& state) {
    if (!vora::built_operations().auto_composite)
        return state.SkipWithError("engine code 3 has no kernel in built_operations()");
    auto wb = std::make_unique<vora::Workbench>();
    vora::init_image_table(wb->table);
    for (int i = 0; i < 4; ++i) vora::copy_record(four_frames()[std::size_t(i)], wb->table[i]);
    ImageRecord& target = wb->table[4];
    for (auto _ : state) {
        vora::ParamVector& p = wb->params;
        p.fill(0);
        p[0] = p[1] = kRange;
        p[2] = vora::kStackAverage;
        p[3] = vora::kCompareSlow + 3 * 1 + 256 * 1;
        for (int i = 0; i < 4; ++i) {
            p[std::size_t(4 + i)] = i;
            p[std::size_t(8 + i)] = 100;
        }
        p[15] = kNoiseLevel;
        vora::apply_operation(*wb, 4, 3);
        if (!target.occupied()) {
            state.SkipWithError("code 3 left the target empty");
            break;
        }
        benchmark::DoNotOptimize(target.red.data());
        state.PauseTiming();
        state.counters["width"] = target.width;
        state.counters["height"] = target.height;
        vora::release_slot(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * 4 * frame_bytes());
}
BENCHMARK(BM_AutoComposite4)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The translation search alone: method 1 (fast) or 2 (slow), range 20, minimum shift on.
void BM_FindOffsets4(benchmark::State& state) {
    const auto method = int32_t(state.range(0));
    const std::vector<const ImageRecord*> images = frame_pointers();
    std::vector<Offset> found;
    for (auto _ : state) {
        found = vora::find_offsets(method, images, kRange, kRange, true);
        benchmark::DoNotOptimize(found.data());
    }
    bool as_made = false;
    state.SetLabel(describe(found, as_made));
    state.counters["as_made"] = as_made ? 1 : 0;
}
BENCHMARK(BM_FindOffsets4)
    ->Arg(vora::kCompareFast)
    ->Arg(vora::kCompareSlow)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The average of the four frames placed at their true offsets, into a target allocated
// once: with noise rejection (level 5) and normalisation, and without either.
void BM_StackAverage4(benchmark::State& state) {
    const bool reject = state.range(0) != 0;
    std::vector<vora::StackImage> images;
    for (int i = 0; i < 4; ++i) {
        const Offset o = kShifts[std::size_t(i)];
        images.push_back({&four_frames()[std::size_t(i)], o.x, o.y, 100});
    }
    const vora::CanvasSize canvas = vora::compute_canvas(images);
    ImageRecord target;
    target.width = canvas.width;
    target.height = canvas.height;
    for (int c = 0; c < 3; ++c)
        target.plane(c).assign(std::size_t(canvas.width) * std::size_t(canvas.height), 0);
    for (auto _ : state) {
        vora::stack_images(vora::kStackAverage, images, target, reject ? kNoiseLevel * 256 : -1,
                           reject);
        benchmark::DoNotOptimize(target.red.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 4 * frame_bytes());
}
BENCHMARK(BM_StackAverage4)
    ->ArgName("reject_normalize")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Sixteen frames as 48-bit binary PPM files, written once per process (about 1.15 GB under
// /tmp); empty when a write fails.
const std::vector<std::string>& sixteen_files() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> paths;
        if (!vora::bench::temp_folder().ok()) return paths;
        for (int i = 0; i < 16; ++i) {
            const std::string name = "frame" + std::to_string(i) + ".ppm";
            const std::string path = vora::bench::temp_folder().file(name.c_str());
            const ImageRecord frame = render_frame(kShifts[std::size_t(i)], 1000u + i);
            if (!vora::write_pixmap(path, frame, vora::kPixmapBinary16).ok())
                return std::vector<std::string>();
            paths.push_back(path);
        }
        return paths;
    }();
    return files;
}

// The multi-file composite command with its defaults (average, fast search over ±20,
// normalisation, noise rejection at 5): sixteen reads, four group passes, one final pass.
void BM_MultiFileComposite16(benchmark::State& state) {
    if (!vora::built_operations().auto_composite)
        return state.SkipWithError("engine code 3 has no kernel in built_operations()");
    const std::vector<std::string>& files = sixteen_files();
    if (files.size() != 16) return state.SkipWithError("cannot write the frames under /tmp");
    for (auto _ : state) {
        state.PauseTiming();
        auto wb = std::make_unique<vora::Workbench>();
        vora::init_image_table(wb->table);
        vora::MultiFileCompositeSettings& s = wb->settings.multi_file_composite;
        s = vora::MultiFileCompositeSettings{};
        s.stack_mode = vora::kStackAverage;
        s.compare_range = kRange;
        s.compare_method = vora::kCompareFast;
        s.files = files;
        state.ResumeTiming();
        const vora::CommandResult result = vora::multi_file_composite_command(*wb);
        if (!result.ok() || !wb->table.has_current_image()) {
            const std::string why = result.messages.empty() ? "the command made no current image"
                                                            : result.messages.front().text;
            state.SkipWithError(why.c_str());
            break;
        }
        state.PauseTiming();
        state.counters["width"] = wb->table.current().width;
        state.counters["height"] = wb->table.current().height;
        wb.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * 16 * frame_bytes());
}
BENCHMARK(BM_MultiFileComposite16)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
