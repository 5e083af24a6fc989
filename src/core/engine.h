// The operation engine: one entry point through which every pixel-changing command reaches
// the image data. The caller fills the parameter vector, the engine checks and clamps what
// it must (writing clamped values back), picks the planes to process and calls the
// operation's kernel.
//
// Rules shared by every code unless its comment says otherwise:
// - "per plane": the kernel runs on the red plane and, unless the record is mono, again on
//   green and blue with the same parameters;
// - "skips empty": a target whose width or height is below 1 is left alone;
// - a code whose kernel is not set does nothing at all, exactly like an unknown code.
#pragma once

#include <array>
#include <cstdint>

#include "core/image_record.h"

namespace vora {

struct Workbench;

inline constexpr int kParamCount = 23;
using ParamVector = std::array<int32_t, kParamCount>;

// Packed points: x × 16384 + y, y counted from the top row of the picture.
inline constexpr int32_t kPointPack = 16384;
inline int32_t pack_point(int32_t x, int32_t y_from_top) {
    return x * kPointPack + y_from_top;
}
struct StoredPoint {
    int32_t x;
    int32_t row;  // stored row (bottom-up)
};
StoredPoint unpack_point(int32_t packed, int32_t height);

// Channel mask of codes 0 and 5: 4 = red, 2 = green, 1 = blue.
inline constexpr int32_t kMaskRed = 4, kMaskGreen = 2, kMaskBlue = 1;
// The mask of a dialog's R, G and B check boxes.
inline int32_t channel_mask(int32_t use_r, int32_t use_g, int32_t use_b) {
    return (use_r ? kMaskRed : 0) | (use_g ? kMaskGreen : 0) | (use_b ? kMaskBlue : 0);
}

// Views handed to kernels. Planes are width × height samples, row 0 at the bottom.
struct PlaneRef {
    uint16_t* data;
    int32_t width;
    int32_t height;
};
struct ConstPlaneRef {
    const uint16_t* data;
    int32_t width;
    int32_t height;
};

// The operations behind each code. The engine owns parameter handling; the operation
// families of filters/ and composite/ fill these in as they are built.
struct OperationKernels {
    // 0: sharpen/smooth one plane in place.
    void (*sharpen)(PlaneRef plane, const ParamVector& p) = nullptr;
    // 1: tone curve of one plane; channel 0..2 selects the triple p[3c]..p[3c+2].
    void (*tone_curve)(PlaneRef plane, int channel, const ParamVector& p) = nullptr;
    // 3, 8, 9: compositing into the empty target record.
    void (*auto_composite)(Workbench& wb, ImageRecord& target, ParamVector& p) = nullptr;
    void (*point_composite)(Workbench& wb, ImageRecord& target, ParamVector& p) = nullptr;
    void (*lrgb_composite)(Workbench& wb, ImageRecord& target, ParamVector& p) = nullptr;
    // 5: edge enhancement of one plane, or of three planes jointly, in place.
    void (*edge)(PlaneRef plane, const ParamVector& p) = nullptr;
    void (*edge_joint)(std::array<PlaneRef, 3> planes, const ParamVector& p) = nullptr;
    // 6: resize; replaces the planes and the size. Scales p[0]/p[1], p[2]/p[3], method p[4].
    void (*resize)(ImageRecord& record, const ParamVector& p) = nullptr;
    // 7: background correction / image difference: mode, p[2]..p[7] × 256, p[8].
    void (*background)(Workbench& wb, ImageRecord& record, int32_t mode,
                       const std::array<int32_t, 6>& levels, int32_t extra) = nullptr;
    // 10: rotation in thousandths of a degree (selector: the composite image whose points
    // move; the engine passes 1), and the two flips.
    void (*rotate_quarter)(ImageRecord& record, int32_t angle) = nullptr;
    void (*rotate_any)(ImageRecord& record, int32_t angle, int32_t selector) = nullptr;
    void (*flip)(ImageRecord& record, int32_t mode) = nullptr;
    // 20, 22: monochrome conversion and saturation/hue.
    void (*monochrome)(ImageRecord& record, int32_t method, int32_t w_red, int32_t w_green,
                       int32_t w_blue) = nullptr;
    void (*saturation_hue)(ImageRecord& record, int32_t saturation, int32_t hue) = nullptr;
    // 30, 31: fill the engine-created target from the even / odd rows of the source.
    void (*line_image)(const ImageRecord& source, ImageRecord& target, bool odd) = nullptr;
    // 50: one background plane from the same plane of the source.
    void (*background_generation)(ConstPlaneRef source, uint16_t* target, int32_t a, int32_t b,
                                  int32_t c) = nullptr;
    // 60: distortion correction.
    void (*distortion)(ImageRecord& record, int32_t amount) = nullptr;
    // 101: wavelet in place, or the 2× enlargement returning a plane of twice the size.
    void (*wavelet)(PlaneRef plane, const std::array<double, 8>& gains) = nullptr;
    void (*wavelet_enlarge)(ConstPlaneRef plane, const std::array<double, 8>& gains, int32_t order,
                            Plane& enlarged) = nullptr;
    // 102: blur restoration of one plane with p[0]..p[3].
    void (*restore)(PlaneRef plane, const ParamVector& p) = nullptr;
};

// The kernels of every operation built so far.
const OperationKernels& built_operations();

// Applies operation `code` to slot `slot` with the workbench's parameter vector.
void apply_operation(Workbench& wb, int slot, int code);
// The same with an explicit kernel set (tests record what the engine hands over).
void apply_operation(Workbench& wb, int slot, int code, const OperationKernels& kernels);

}  // namespace vora
