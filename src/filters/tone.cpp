#include "filters/tone.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/bands.h"
#include "core/image_table.h"

namespace vora {
namespace {

constexpr double kTop = 65535.0;       // largest sample value
constexpr double kNearTop = 65280.0;   // level 255 in 16-bit units
constexpr double kLevelScale = 256.0;  // one 8-bit level in 16-bit units
constexpr double kTwoToMinus16 = 1.0 / 65536.0;

// ---- tone curve -------------------------------------------------------------------------

ToneSegment constant(double y) {
    return {0.0, 0.0, 0.0, y};
}

ToneSegment line(double slope, double intercept) {
    return {0.0, 0.0, slope, intercept};
}

// Straight line through (xa, ya) and (xb, yb), the intercept taken at xb.
ToneSegment line_through(double xa, double ya, double xb, double yb) {
    const double s = (yb - ya) / (xb - xa);
    return line(s, yb - s * xb);
}

struct Breakpoints {
    double p0, p1, p2;
};

// Forces the three inputs apart (at least one 16-bit unit) and below the top.
Breakpoints normalise(double x0, double x1, double x2) {
    double u0 = x0 == 0.0 ? 1.0 : x0;
    double u1 = u0 >= x1 ? u0 + 1.0 : x1;
    double u2 = u1 >= x2 ? u1 + 1.0 : x2;
    u2 = std::min(u2, kTop);
    if (u1 >= u2) u1 = u2 - 1.0;
    if (u0 >= u1) u0 = u1 - 1.0;
    return {u0, u1, u2};
}

void build_straight(ToneCurve& c, double y0, double y1, double y2) {
    c.segments[0] = (y0 >= kNearTop || c.p0 <= 255.0) ? constant(y0) : line(y0 / c.p0, 0.0);
    c.segments[1] = line_through(c.p0, y0, c.p1, y1);
    c.segments[2] = line_through(c.p1, y1, c.p2, y2);
    if (y2 > 255.0 && c.p2 < kNearTop) {
        const double s = (kTop - y2) / (kTop - c.p2);
        c.segments[3] = line(s, kTop - s * kTop);
    } else {
        c.segments[3] = constant(y2);
    }
}

// Cubic Hermite piece from (pa, ya) to pb; sa, sb, sc are the chord slopes before, over and
// after the piece, so the tangents are (sa + sb)/2 at pa and (sb + sc)/2 at pb.
ToneSegment hermite(double pa, double pb, double ya, double sa, double sb, double sc) {
    const double h = pb - pa;
    const double ta = (sa + sb) / 2.0;
    ToneSegment g;
    g.c3 = (sa - 2.0 * sb + sc) / (2.0 * (h * h));
    g.c2 = ((sb - sa) / 2.0 - (pa * pb + pb * pb - 2.0 * (pa * pa)) * g.c3) / h;
    g.c1 = ta - 3.0 * g.c3 * (pa * pa) - 2.0 * g.c2 * pa;
    g.c0 = ya - g.c3 * (pa * pa * pa) - g.c2 * (pa * pa) - g.c1 * pa;
    return g;
}

// Quadratic with c2 given and the slope `t` at `pt`, through (pv, yv).
ToneSegment quadratic(double c2, double t, double pt, double pv, double yv) {
    ToneSegment g;
    g.c2 = c2;
    g.c1 = t - 2.0 * c2 * pt;
    g.c0 = yv - c2 * (pv * pv) - g.c1 * pv;
    return g;
}

void build_smooth(ToneCurve& c, double y0, double y1, double y2) {
    const double p0 = c.p0, p1 = c.p1, p2 = c.p2;
    const double s0 = y0 / p0;
    const double s1 = (y1 - y0) / (p1 - p0);
    const double s2 = (y2 - y1) / (p2 - p1);
    const double s3 = (kTop - y2) / (kTop - p2);
    const double t1 = (s1 + s2) / 2.0;
    const double t2 = (s2 + s3) / 2.0;

    ToneSegment& g0 = c.segments[0];
    g0.c2 = (s1 - s0) / (2.0 * p0);
    g0.c1 = s0 - g0.c2 * p0;

    if (y0 != 0.0)
        c.segments[1] = hermite(p0, p1, y0, s0, s1, s2);
    else
        c.segments[1] = quadratic((s2 - s1) / (2.0 * (p1 - p0)), t1, p1, p0, y0);

    if (y2 >= kNearTop)
        c.segments[2] = quadratic((s2 - s1) / (2.0 * (p2 - p1)), t1, p1, p1, y1);
    else
        c.segments[2] = hermite(p1, p2, y1, s1, s2, s3);

    c.segments[3] = quadratic((s3 - s2) / (2.0 * (kTop - p2)), t2, p2, p2, y2);
}

int64_t saturate32(int64_t v) {
    return std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                               std::numeric_limits<int32_t>::max());
}

// ---- lookup tables ----------------------------------------------------------------------

bool plane_complete(const ImageRecord& r, int channel) {
    return r.plane(channel).size() >= r.sample_count();
}

PlaneRef plane_ref(ImageRecord& r, int channel) {
    return {r.plane(channel).data(), r.width, r.height};
}

// ---- dynamic range ----------------------------------------------------------------------

struct KernelTap {
    int di;         // block column offset
    int dj;         // block row offset
    double weight;  // normalised
};
using PhaseKernel = std::vector<KernelTap>;
using PhaseKernels = std::array<PhaseKernel, 16>;  // index (y mod 4) · 4 + (x mod 4)

// (a, b) of the phase offsets (+a, +b, −b, −a) for block radius r.
std::array<double, 4> phase_offsets(int r) {
    double a = 0.62, b = 0.22;
    if (r == 1) {
        a = 0.31, b = 0.10;
    } else if (r == 2) {
        a = 0.43, b = 0.14;
    } else if (r == 3) {
        a = 0.51, b = 0.17;
    } else if (r == 4 || r == 5) {
        a = 0.55, b = 0.19;
    }
    return {a, b, -b, -a};
}

// Sixteen kernels, one per pixel phase, each holding only its positive weights divided by
// the kernel's weight sum, in the order rows j = −r..r, columns i = −r..r.
PhaseKernels build_phase_kernels(int r) {
    const std::array<double, 4> o = phase_offsets(r);
    const int side = 2 * r + 1;
    PhaseKernels kernels;
    std::vector<double> w(std::size_t(side * side));
    for (int py = 0; py < 4; ++py) {
        for (int px = 0; px < 4; ++px) {
            double sum = 0.0;
            std::size_t n = 0;
            for (int j = -r; j <= r; ++j) {
                for (int i = -r; i <= r; ++i, ++n) {
                    const double di = i + o[std::size_t(px)];
                    const double dj = j + o[std::size_t(py)];
                    w[n] = std::max(double(2 * r * r) - di * di - dj * dj, 0.0);
                    sum += w[n];
                }
            }
            PhaseKernel& kernel = kernels[std::size_t(py * 4 + px)];
            n = 0;
            for (int j = -r; j <= r; ++j)
                for (int i = -r; i <= r; ++i, ++n)
                    if (w[n] > 0.0) kernel.push_back({i, j, w[n] / sum});
        }
    }
    return kernels;
}

// The block image with r blocks of clamped border on every side, as doubles, so the
// smoothing loop needs no index clamping.
struct PaddedBlocks {
    int pad;
    int width;  // bw + 2·pad
    std::vector<double> values;
    const double* row(int block_row) const {
        return values.data() + std::size_t(block_row + pad) * std::size_t(width) + std::size_t(pad);
    }
};

PaddedBlocks pad_blocks(const Plane& blocks, int bw, int bh, int pad) {
    PaddedBlocks p{pad, bw + 2 * pad, {}};
    const int ph = bh + 2 * pad;
    p.values.resize(std::size_t(p.width) * std::size_t(ph));
    for (int jj = 0; jj < ph; ++jj) {
        const int by = std::clamp(jj - pad, 0, bh - 1);
        for (int ii = 0; ii < p.width; ++ii) {
            const int bx = std::clamp(ii - pad, 0, bw - 1);
            p.values[std::size_t(jj) * std::size_t(p.width) + std::size_t(ii)] =
                blocks[std::size_t(by) * std::size_t(bw) + std::size_t(bx)];
        }
    }
    return p;
}

// Each pixel's new value depends only on its own samples and the block image, which is
// complete before the bands start, so the planes are corrected in place: every band reads
// and writes only its own rows.
struct DynamicRangeJob {
    uint16_t* red;
    uint16_t* green;
    uint16_t* blue;
    bool mono;  // brightness from red; green and blue receive the new red
    int width;
    int bw;
    const PhaseKernels* kernels;
    const PaddedBlocks* blocks;
    double t;  // largest corrected difference, 16-bit units
    double k;
};

// M for every pixel of stored row y. Pixels of one phase in a row see the same taps on
// consecutive blocks, so the taps run over the whole block row at once; each pixel's sum
// still adds its taps in kernel order.
void smoothed_row(const DynamicRangeJob& job, int y, std::vector<double>& acc,
                  std::vector<double>& m) {
    const int by = y / 4;
    const int py = y % 4;
    double* const sums = acc.data();
    const int bw = job.bw;
    for (int px = 0; px < 4 && px < job.width; ++px) {
        std::fill(acc.begin(), acc.end(), 0.0);
        const PhaseKernel& kernel = (*job.kernels)[std::size_t(py * 4 + px)];
        const auto source = [&](std::size_t t) {
            return job.blocks->row(by + kernel[t].dj) + kernel[t].di;
        };
        std::size_t t = 0;
        // Four taps per pass over the row (added one after another, as one at a time would).
        for (; t + 4 <= kernel.size(); t += 4) {
            const double* s0 = source(t);
            const double* s1 = source(t + 1);
            const double* s2 = source(t + 2);
            const double* s3 = source(t + 3);
            const double w0 = kernel[t].weight, w1 = kernel[t + 1].weight;
            const double w2 = kernel[t + 2].weight, w3 = kernel[t + 3].weight;
            for (int bx = 0; bx < bw; ++bx) {
                double a = sums[bx];
                a += w0 * s0[bx];
                a += w1 * s1[bx];
                a += w2 * s2[bx];
                a += w3 * s3[bx];
                sums[bx] = a;
            }
        }
        for (; t < kernel.size(); ++t) {
            const double* s0 = source(t);
            const double w0 = kernel[t].weight;
            for (int bx = 0; bx < bw; ++bx) sums[bx] += w0 * s0[bx];
        }
        for (int bx = 0, x = px; x < job.width; ++bx, x += 4) m[std::size_t(x)] = sums[bx];
    }
}

void correct_row(const DynamicRangeJob& job, int y, const std::vector<double>& m) {
    const std::size_t base = std::size_t(y) * std::size_t(job.width);
    for (int x = 0; x < job.width; ++x) {
        const std::size_t i = base + std::size_t(x);
        const int r = job.red[i];
        const int g = job.mono ? r : job.green[i];
        const int b = job.mono ? r : job.blue[i];
        const double l = job.mono ? double(r) : double(r + g + b) / 3.0;
        const double d = l - m[std::size_t(x)];
        double f = 1.0;
        if (!(d >= job.t || d <= -job.t))
            f = 1.0 + (job.t - std::fabs(d)) * d * job.k * kTwoToMinus16 / (l + 256.0);
        const uint16_t nr = to_sample(f * r);
        job.red[i] = nr;
        job.green[i] = job.mono ? nr : to_sample(f * g);
        job.blue[i] = job.mono ? nr : to_sample(f * b);
    }
}

void dynamic_range_rows(const DynamicRangeJob& job, int begin, int end) {
    std::vector<double> acc(std::size_t(job.bw));
    std::vector<double> m(std::size_t(job.width));
    for (int y = begin; y < end; ++y) {
        smoothed_row(job, y, acc, m);
        correct_row(job, y, m);
    }
}

// ---- preview histograms -----------------------------------------------------------------

template <class Map>
void preview_histogram(const ImageRecord& r, PreviewHistogram& counters, int plane, Map map) {
    if (plane < 0 || plane > 2) return;
    counters.fill(0);
    if (!r.occupied() || !plane_complete(r, plane)) return;
    const Plane& samples = r.plane(plane);
    const int x_step = r.width / 100 + 1;
    const int y_step = r.height / 100 + 1;
    for (int y = 0; y < r.height; y += y_step) {
        const std::size_t row = std::size_t(y) * std::size_t(r.width);
        for (int x = 0; x < r.width; x += x_step)
            ++counters[map(samples[row + std::size_t(x)]) >> 8];
    }
}

}  // namespace

// ---- tone curve -------------------------------------------------------------------------

ToneCurve build_tone_curve(int mode, double x0, double y0, double x1, double y1, double x2,
                           double y2) {
    const Breakpoints b = normalise(x0, x1, x2);
    ToneCurve c;
    c.p0 = b.p0;
    c.p1 = b.p1;
    c.p2 = b.p2;
    if (mode == kCurveStraight)
        build_straight(c, y0, y1, y2);
    else
        build_smooth(c, y0, y1, y2);
    return c;
}

ToneCurve build_tone_curve(int mode, const ToneControlPoints& p) {
    return build_tone_curve(mode, p.x0, p.y0, p.x1, p.y1, p.x2, p.y2);
}

double eval_tone_curve(const ToneCurve& curve, double v) {
    const std::size_t index = v < curve.p0 ? 0 : v < curve.p1 ? 1 : v < curve.p2 ? 2 : 3;
    const ToneSegment& g = curve.segments[index];
    const double v2 = v * v;
    const double v3 = v2 * v;
    const double value = g.c3 * v3 + g.c2 * v2 + g.c1 * v + g.c0;
    if (!(value >= 0.0)) return 0.0;  // also a value that is not a number
    return std::min(value, kTop);
}

uint16_t to_sample(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= kTop) return 65535;
    return uint16_t(value);
}

int32_t encode_tone_point(const TonePoint& point) {
    return int32_t(saturate32(int64_t(point.in) * 1000 + point.out));
}

ToneControlPoints decode_tone_points(int32_t code0, int32_t code1, int32_t code2) {
    double x[3], y[3];
    const int32_t codes[3] = {code0, code1, code2};
    for (int i = 0; i < 3; ++i) {
        const int64_t in = codes[i] / 1000;
        const int64_t out = codes[i] - in * 1000;
        x[i] = double(in * 256);
        y[i] = double(out * 256);
    }
    if (x[0] == x[1]) x[1] = x[0] + 1.0;
    if (x[2] == x[1]) x[1] = x[2] - 1.0;
    return {x[0], y[0], x[1], y[1], x[2], y[2]};
}

ToneControlPoints tone_points(const ToneCurvePoints& set) {
    return decode_tone_points(encode_tone_point(set[0]), encode_tone_point(set[1]),
                              encode_tone_point(set[2]));
}

SampleTable tone_curve_table(const ToneCurve& curve) {
    SampleTable table(kSampleTableSize);
    for (std::size_t v = 0; v < kSampleTableSize; ++v)
        table[v] = to_sample(eval_tone_curve(curve, double(v)));
    return table;
}

void map_plane(PlaneRef plane, const SampleTable& table) {
    if (plane.width < 1 || plane.height < 1 || table.size() < kSampleTableSize) return;
    const uint16_t* lut = table.data();
    const std::size_t width = std::size_t(plane.width);
    run_bands(plane.height, [&](int, int begin, int end) {
        uint16_t* s = plane.data + std::size_t(begin) * width;
        uint16_t* const stop = plane.data + std::size_t(end) * width;
        for (; s != stop; ++s) *s = lut[*s];
    });
}

void apply_tone_curve_kernel(PlaneRef plane, int channel, const ParamVector& p) {
    if (channel < 0 || channel > 2 || plane.width < 1 || plane.height < 1) return;
    const std::size_t first = std::size_t(channel) * 3;
    const ToneControlPoints points = decode_tone_points(p[first], p[first + 1], p[first + 2]);
    map_plane(plane, tone_curve_table(build_tone_curve(p[10], points)));
}

// ---- level ------------------------------------------------------------------------------

double level_map(int32_t v, const LevelSet& s) {
    // Integer steps, wide enough for any settings a file may hold.
    int64_t in_low = s.in_low, in_high = s.in_high;
    int64_t out_low = s.out_low, out_high = s.out_high;
    const int64_t contrast = s.contrast;
    if (contrast > 0) {
        const int64_t d = (in_high - in_low) * contrast / 200;
        in_low += d;
        in_high -= d;
    }
    if (contrast < 0) {
        const int64_t e = (out_high - out_low) * -contrast / 200;
        out_low += e;
        out_high -= e;
    }
    // Double precision from here on.
    double n = double(v) - (double(in_low) - double(s.brightness)) * kLevelScale;
    double r = (double(in_high) - double(in_low)) * kLevelScale;
    if (n <= 0.0) n = 1e-10;
    if (r <= 0.0) r = 1e-10;
    const double p = std::min(std::pow(n / r, 100.0 / double(s.gamma)), 1.0);
    const double result =
        (double(out_high) - double(out_low)) * kLevelScale * p + double(out_low) * kLevelScale;
    return std::min(result, kTop);
}

SampleTable level_table(const LevelSet& set) {
    SampleTable table(kSampleTableSize);
    for (std::size_t v = 0; v < kSampleTableSize; ++v)
        table[v] = to_sample(level_map(int32_t(v), set));
    return table;
}

void apply_level(PlaneRef plane, const LevelSet& set) {
    map_plane(plane, level_table(set));
}

void apply_level_settings(ImageRecord& record, const LevelSettings& settings) {
    if (!record.occupied()) return;
    for (int c = 0; c < 3; ++c)
        if (!plane_complete(record, c)) return;
    const int selector = settings.channel;
    if (selector < kToneRed || selector > kToneBlue) {
        for (int c = 0; c < 3; ++c) apply_level(plane_ref(record, c), settings.sets[0]);
        return;
    }
    expand_mono(record);
    for (int c = 0; c < 3; ++c)
        apply_level(plane_ref(record, c), settings.sets[std::size_t(c) + 1]);
}

// ---- dynamic range ----------------------------------------------------------------------

Plane dynamic_range_blocks(const ImageRecord& r) {
    if (!r.occupied()) return {};
    const int w = r.width, h = r.height;
    const int bw = (w + 3) / 4, bh = (h + 3) / 4;
    const bool mono = r.mono == 1;
    const uint16_t* red = r.red.data();
    const uint16_t* green = mono ? red : r.green.data();
    const uint16_t* blue = mono ? red : r.blue.data();
    Plane blocks(std::size_t(bw) * std::size_t(bh));
    run_bands(bh, [&](int, int begin, int end) {
        for (int by = begin; by < end; ++by) {
            for (int bx = 0; bx < bw; ++bx) {
                uint32_t sum = 0;
                for (int yy = 0; yy < 4; ++yy) {
                    const int y = std::min(by * 4 + yy, h - 1);
                    const std::size_t row = std::size_t(y) * std::size_t(w);
                    for (int xx = 0; xx < 4; ++xx) {
                        const std::size_t i = row + std::size_t(std::min(bx * 4 + xx, w - 1));
                        sum += uint32_t(red[i]) + green[i] + blue[i];
                    }
                }
                blocks[std::size_t(by) * std::size_t(bw) + std::size_t(bx)] =
                    uint16_t(sum / 3 / 16);
            }
        }
    });
    return blocks;
}

void dynamic_range(ImageRecord& record, const DynamicRangeSettings& settings) {
    if (!record.occupied()) return;
    const bool mono = record.mono == 1;
    for (int c = 0; c < (mono ? 1 : 3); ++c)
        if (!plane_complete(record, c)) return;

    const int w = record.width, h = record.height;
    const int bw = (w + 3) / 4, bh = (h + 3) / 4;
    const int r = std::clamp(settings.radius / 4, 1, 8);
    const PhaseKernels kernels = build_phase_kernels(r);
    const PaddedBlocks blocks = pad_blocks(dynamic_range_blocks(record), bw, bh, r);

    const int64_t denominator = int64_t(settings.tone_difference) + 8;
    const double k =
        denominator == 0 ? 0.0 : double(int64_t(settings.strength) * 64) / double(denominator);

    // A grey record's green and blue planes receive the corrected grey plane.
    const std::size_t n = record.sample_count();
    if (mono) {
        record.green.resize(n);
        record.blue.resize(n);
    }
    const DynamicRangeJob job{record.red.data(),
                              record.green.data(),
                              record.blue.data(),
                              mono,
                              w,
                              bw,
                              &kernels,
                              &blocks,
                              double(settings.tone_difference) * kLevelScale,
                              k};
    run_bands(h, [&](int, int begin, int end) { dynamic_range_rows(job, begin, end); });
}

// ---- preview histograms -----------------------------------------------------------------

void curve_histogram(const ImageRecord& record, PreviewHistogram& counters, const ToneCurve& curve,
                     int plane) {
    preview_histogram(record, counters, plane,
                      [&](uint16_t v) { return tone_curve_sample(curve, v); });
}

void level_histogram(const ImageRecord& record, PreviewHistogram& counters, const LevelSet& set,
                     int plane) {
    preview_histogram(record, counters, plane,
                      [&](uint16_t v) { return to_sample(level_map(v, set)); });
}

}  // namespace vora
