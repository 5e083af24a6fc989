// The tone operations: the gamma tone curve (operation code 1), level correction and the
// dynamic-range correction, plus the preview histograms of the gamma and level dialogs.
//
// The curve and the level mapping are point operations: each is evaluated once for every
// possible 16-bit input into a lookup table, and the planes are mapped through the table on
// the band runner. Table and direct evaluation give the same samples by construction.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/engine.h"
#include "core/image_record.h"
#include "settings/tone_settings.h"

namespace vora {

inline constexpr int kCurveStraight = 0;  // curve_mode: straight segments
inline constexpr int kCurveSmooth = 1;    // curve_mode: smooth curve

// One piece of the tone curve: c3·v³ + c2·v² + c1·v + c0 (v and result in 16-bit units).
struct ToneSegment {
    double c3 = 0.0;
    double c2 = 0.0;
    double c1 = 0.0;
    double c0 = 0.0;
};

// Breakpoints P0 < P1 < P2 and the four segments: 0 for v < P0, 1 for P0 ≤ v < P1,
// 2 for P1 ≤ v < P2, 3 for v ≥ P2.
struct ToneCurve {
    double p0 = 0.0;
    double p1 = 0.0;
    double p2 = 0.0;
    std::array<ToneSegment, 4> segments{};
};

// Three control points in 16-bit units (x = input, y = output).
struct ToneControlPoints {
    double x0 = 0.0, y0 = 0.0;
    double x1 = 0.0, y1 = 0.0;
    double x2 = 0.0, y2 = 0.0;
};

// Builds the curve for `mode` (0 straight, any other value smooth) through the three points,
// after moving the breakpoints apart as the curve needs.
ToneCurve build_tone_curve(int mode, double x0, double y0, double x1, double y1, double x2,
                           double y2);
ToneCurve build_tone_curve(int mode, const ToneControlPoints& points);

// The curve's value at v, limited to 0..65535 (not yet truncated).
double eval_tone_curve(const ToneCurve& curve, double v);

// A mapped value as a stored sample: limited to 0..65535 and truncated toward zero
// (a value that is not a number gives 0).
uint16_t to_sample(double value);

// The stored sample for input v: eval_tone_curve truncated.
inline uint16_t tone_curve_sample(const ToneCurve& curve, uint16_t v) {
    return to_sample(eval_tone_curve(curve, double(v)));
}

// Control points as the gamma operation encodes them: in × 1000 + out (levels 0..255).
int32_t encode_tone_point(const TonePoint& point);
// Decodes three encoded points into 16-bit units and separates equal inputs: x1 = x0 + 1
// when x0 = x1, then x1 = x2 − 1 when x2 equals that x1.
ToneControlPoints decode_tone_points(int32_t code0, int32_t code1, int32_t code2);
// The same points straight from a settings set (used by the dialog previews).
ToneControlPoints tone_points(const ToneCurvePoints& set);

// One output sample for every 16-bit input.
using SampleTable = std::vector<uint16_t>;  // 65536 entries
inline constexpr std::size_t kSampleTableSize = 65536;

SampleTable tone_curve_table(const ToneCurve& curve);
// Replaces every sample of the plane by its table entry, on the band runner.
void map_plane(PlaneRef plane, const SampleTable& table);

// Operation code 1 for one plane: decodes p[3·channel] .. p[3·channel + 2] and the mode
// p[10], builds the curve and maps the plane through it.
void apply_tone_curve_kernel(PlaneRef plane, int channel, const ParamVector& p);

// Level mapping of one sample value v (16-bit units) with one level set; the stored sample
// is the result truncated (to_sample).
double level_map(int32_t v, const LevelSet& set);
SampleTable level_table(const LevelSet& set);
// Maps one plane with one level set (through a lookup table, on the band runner).
void apply_level(PlaneRef plane, const LevelSet& set);
// The level operation on one record: all colours with set 0, or R, G and B with sets 1, 2
// and 3. A mono record in per-channel mode gets its grey plane copied into green and blue
// first, so that the three channels start from the same image. The mono flag is left to
// the caller.
void apply_level_settings(ImageRecord& record, const LevelSettings& settings);

// Dynamic-range correction: replaces the record's three planes with corrected ones. A mono
// record takes its brightness from the first plane and gets three equal planes.
void dynamic_range(ImageRecord& record, const DynamicRangeSettings& settings);
// The block image the correction smooths: one value per 4 × 4 block ((W + 3)/4 × (H + 3)/4,
// row-major), the truncated mean of R + G + B over the block divided by 3, with pixels past
// the last row or column clamped to it.
Plane dynamic_range_blocks(const ImageRecord& record);

// Preview histograms: 256 counters (cleared first) of the mapped values / 256 over every
// (W/100 + 1)-th pixel of every (H/100 + 1)-th row of plane 0 (R), 1 (G) or 2 (B). Any other
// plane number leaves the counters untouched.
using PreviewHistogram = std::array<uint32_t, 256>;
void curve_histogram(const ImageRecord& record, PreviewHistogram& counters, const ToneCurve& curve,
                     int plane);
void level_histogram(const ImageRecord& record, PreviewHistogram& counters, const LevelSet& set,
                     int plane);

}  // namespace vora
