#include "core/engine.h"

#include <algorithm>
#include <limits>

#include "composite/auto_composite.h"
#include "composite/lrgb.h"
#include "composite/point_composite.h"
#include "composite/background.h"
#include "composite/background_gen.h"
#include "core/workbench.h"
#include "filters/color_adjust.h"
#include "filters/distortion.h"
#include "filters/edge.h"
#include "filters/flip.h"
#include "filters/line_split.h"
#include "filters/monochrome.h"
#include "filters/resize.h"
#include "filters/restore.h"
#include "filters/rotate.h"
#include "filters/sharpen.h"
#include "filters/tone.h"
#include "filters/wavelet_enlarge.h"
#include "filters/wavelet_pyramid.h"

namespace vora {
namespace {

bool is_empty(const ImageRecord& r) { return r.width < 1 || r.height < 1; }

PlaneRef ref(ImageRecord& r, int channel) { return {r.plane(channel).data(), r.width, r.height}; }

int32_t clamp_back(ParamVector& p, int index, int32_t lo, int32_t hi) {
    p[std::size_t(index)] = std::clamp(p[std::size_t(index)], lo, hi);
    return p[std::size_t(index)];
}

// A product written into the vector is saturated instead of wrapping.
int32_t saturated(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

// The channels a "per plane" operation visits: red only for a mono record.
int plane_count(const ImageRecord& r) { return r.mono == 1 ? 1 : 3; }

void sharpen(ImageRecord& r, ParamVector& p, const OperationKernels& k) {
    if (!k.sharpen || is_empty(r)) return;
    clamp_back(p, 0, 1, 10);
    clamp_back(p, 1, 0, 65535);
    clamp_back(p, 2, 0, 50);
    clamp_back(p, 3, 0, 50);
    const int32_t mask = p[5];
    // The kernel works in place (it keeps the rows it still needs): a fresh full-size
    // scratch plane would cost more than the default filter itself.
    if (r.mono == 1) {
        if (mask & (kMaskRed | kMaskGreen | kMaskBlue)) k.sharpen(ref(r, 0), p);
        return;
    }
    const int32_t bits[3] = {kMaskRed, kMaskGreen, kMaskBlue};
    for (int c = 0; c < 3; ++c)
        if (mask & bits[c]) k.sharpen(ref(r, c), p);
}

void tone_curve(ImageRecord& r, ParamVector& p, const OperationKernels& k) {
    if (!k.tone_curve || is_empty(r)) return;
    if (r.mono == 1 && p[9] != 1) {
        k.tone_curve(ref(r, 0), 0, p);
        return;
    }
    if (r.mono == 1) r.green = r.blue = r.red;  // separate channels start from the grey plane
    for (int c = 0; c < 3; ++c) k.tone_curve(ref(r, c), c, p);
}

void edge(ImageRecord& r, ParamVector& p, const OperationKernels& k) {
    if (!k.edge || !k.edge_joint || is_empty(r)) return;
    clamp_back(p, 1, 0, 65535);
    clamp_back(p, 2, 0, 50);
    clamp_back(p, 3, 0, 100);
    clamp_back(p, 4, 0, 50);
    const int32_t mask = p[5];
    const int32_t all = kMaskRed | kMaskGreen | kMaskBlue;
    // The kernels keep the two rows they still need and work in place: fresh full-size
    // scratch planes would cost more than the filter itself.
    if (r.mono == 1) {
        if (mask & all) k.edge(ref(r, 0), p);
        return;
    }
    if ((mask & all) == all) {
        k.edge_joint({ref(r, 0), ref(r, 1), ref(r, 2)}, p);
        return;
    }
    const int32_t bits[3] = {kMaskRed, kMaskGreen, kMaskBlue};
    for (int c = 0; c < 3; ++c)
        if (mask & bits[c]) k.edge(ref(r, c), p);
}

void resize(ImageRecord& r, ParamVector& p, const OperationKernels& k) {
    if (!k.resize) return;
    for (int i = 0; i < 4; ++i) clamp_back(p, i, 1, std::numeric_limits<int32_t>::max());
    k.resize(r, p);
}

void background(Workbench& wb, ImageRecord& r, ParamVector& p, const OperationKernels& k) {
    if (!k.background) return;
    std::array<int32_t, 6> levels;
    for (int i = 0; i < 6; ++i) levels[std::size_t(i)] = saturated(int64_t(p[std::size_t(i) + 2]) * 256);
    k.background(wb, r, p[0], levels, p[8]);
}

bool is_quarter_turn(int64_t angle) {
    return angle == 90000 || angle == -90000 || angle == 180000 || angle == -180000;
}

void rotate(ImageRecord& r, ParamVector& p, const OperationKernels& k) {
    const int64_t angle = int64_t(p[0]) * 10;  // hundredths of a degree to thousandths
    const bool flip = p[1] == 4 || p[1] == 5;
    const bool quarter = !flip && is_quarter_turn(angle);
    if (flip ? !k.flip : quarter ? !k.rotate_quarter : !k.rotate_any) return;
    p[0] = saturated(angle);
    if (flip)
        k.flip(r, p[1] == 4 ? 1 : 2);
    else if (quarter)
        k.rotate_quarter(r, p[0]);
    else
        k.rotate_any(r, p[0], 1);
}

// Codes 30, 31 and 50 give the empty target the size of source slot p[0] and new planes.
const ImageRecord* prepare_created_image(Workbench& wb, ImageRecord& target, int32_t source_slot) {
    if (!wb.table.valid_slot(source_slot)) return nullptr;
    const ImageRecord& source = wb.table[source_slot];
    if (!source.occupied() || &source == &target) return nullptr;
    target.width = source.width;
    target.height = source.height;
    for (int c = 0; c < 3; ++c) target.plane(c).assign(source.sample_count(), 0);
    return &source;
}

void line_image(Workbench& wb, ImageRecord& r, ParamVector& p, bool odd,
                const OperationKernels& k) {
    if (!k.line_image) return;
    if (const ImageRecord* source = prepare_created_image(wb, r, p[0]))
        k.line_image(*source, r, odd);
}

void background_generation(Workbench& wb, ImageRecord& r, ParamVector& p,
                           const OperationKernels& k) {
    if (!k.background_generation) return;
    const ImageRecord* source = prepare_created_image(wb, r, p[0]);
    if (!source) return;
    const int planes = r.mono == 1 ? 1 : 3;
    for (int c = 0; c < planes; ++c) {
        const ConstPlaneRef src{source->plane(c).data(), source->width, source->height};
        k.background_generation(src, r.plane(c).data(), p[1], p[2], saturated(int64_t(p[3]) - 1));
    }
}

void wavelet(ImageRecord& r, ParamVector& p, const OperationKernels& k) {
    if (is_empty(r)) return;
    std::array<double, 8> gains;
    for (int i = 0; i < 8; ++i) gains[std::size_t(i)] = p[std::size_t(i)] / 10.0;
    if (p[14] != 1) {
        if (!k.wavelet) return;
        for (int c = 0; c < plane_count(r); ++c) k.wavelet(ref(r, c), gains);
        return;
    }
    if (!k.wavelet_enlarge) return;
    for (int c = 0; c < plane_count(r); ++c) {
        Plane enlarged;
        k.wavelet_enlarge({r.plane(c).data(), r.width, r.height}, gains, p[15], enlarged);
        r.plane(c) = std::move(enlarged);
    }
    // A mono record keeps all three planes at the record's size.
    if (r.mono == 1) r.green = r.blue = r.red;
    r.width *= 2;
    r.height *= 2;
}

void restore(ImageRecord& r, ParamVector& p, const OperationKernels& k) {
    if (!k.restore || is_empty(r)) return;
    for (int c = 0; c < plane_count(r); ++c) k.restore(ref(r, c), p);
}

}  // namespace

StoredPoint unpack_point(int32_t packed, int32_t height) {
    const int32_t x = packed / kPointPack;  // signed division, as packed
    const int32_t y = packed % kPointPack;
    return {x, height - 1 - y};
}

const OperationKernels& built_operations() {
    static const OperationKernels kernels = [] {
        OperationKernels k;
        k.sharpen = sharpen_plane;
        k.tone_curve = apply_tone_curve_kernel;
        k.auto_composite = auto_composite_kernel;
        k.point_composite = point_composite_kernel;
        k.lrgb_composite = lrgb_composite_kernel;
        k.background_generation = generate_background_plane;
        k.background = background_kernel;
        k.edge = edge_enhance_plane;
        k.edge_joint = edge_enhance_joint;
        k.line_image = line_image;
        k.resize = resize_kernel;
        k.restore = restore_plane;
        k.rotate_quarter = rotate_quarter;
        k.rotate_any = rotate_any_kernel;
        k.flip = flip;
        k.wavelet = wavelet_pyramid_kernel;
        k.wavelet_enlarge = wavelet_enlarge_kernel;
        k.distortion = distortion_kernel;
        k.monochrome = monochrome_kernel;
        k.saturation_hue = saturation_hue_kernel;
        return k;
    }();
    return kernels;
}

void apply_operation(Workbench& wb, int slot, int code) {
    apply_operation(wb, slot, code, built_operations());
}

void apply_operation(Workbench& wb, int slot, int code, const OperationKernels& k) {
    if (!wb.table.valid_slot(slot)) return;
    ImageRecord& r = wb.table[slot];
    ParamVector& p = wb.params;
    if (code > 50) {
        if (code == 60) {
            if (k.distortion) k.distortion(r, p[0]);
        } else if (code == 101) {
            wavelet(r, p, k);
        } else if (code == 102) {
            restore(r, p, k);
        }
    } else if (code == 50) {
        background_generation(wb, r, p, k);
    } else if (code > 9) {
        switch (code) {
            case 10: rotate(r, p, k); break;
            case 20:
                if (k.monochrome) k.monochrome(r, p[0], p[1], p[2], p[3]);
                break;
            case 22:
                if (k.saturation_hue && r.mono != 1) k.saturation_hue(r, p[0], p[1]);
                break;
            case 30: line_image(wb, r, p, false, k); break;
            case 31: line_image(wb, r, p, true, k); break;
            default: break;
        }
    } else if (code == 9) {
        if (k.lrgb_composite) k.lrgb_composite(wb, r, p);
    } else if (code >= 0) {
        switch (code) {
            case 0: sharpen(r, p, k); break;
            case 1: tone_curve(r, p, k); break;
            case 3:
                if (k.auto_composite) k.auto_composite(wb, r, p);
                break;
            case 5: edge(r, p, k); break;
            case 6: resize(r, p, k); break;
            case 7: background(wb, r, p, k); break;
            case 8:
                if (k.point_composite) k.point_composite(wb, r, p);
                break;
            default: break;
        }
    }
}

}  // namespace vora
