#include "filters/edge.h"

#include <algorithm>
#include <cstddef>

namespace vora {
namespace {

struct EdgeParams {
    int32_t threshold;
    int32_t strength;
    int32_t split;
    int32_t smooth;
};

EdgeParams edge_params(const ParamVector& p) {
    return {std::clamp(p[1], 0, 65535), std::clamp(p[2], 0, 50), std::clamp(p[3], 0, 100),
            std::clamp(p[4], 0, 50)};
}

// Truncated n / d for 0 <= n < 2^24 and d >= 1, through one float division so the pixel
// loops vectorise. Both operands convert exactly. An integer quotient is representable and
// comes back exact; any other quotient q lies at least 1/d below the next integer, while
// rounding moves it by at most q * 2^-24 = n / d * 2^-24 < 1/d, and never below floor(q).
// Dividends here stay below 65535 × 60 < 2^22 (means of up to 17 samples, blends).
inline int32_t quotient(int32_t n, int32_t d) {
    return int32_t(float(n) / float(d));
}

// (n / d × w + p × 10) / (w + 10): the pixel pulled toward the mean n / d with weight w.
inline int32_t pulled(int32_t n, int32_t d, int32_t w, int32_t p) {
    return quotient(quotient(n, d) * w + p * 10, w + 10);
}

// What a pixel moves toward, decided once for all its channels. The tests are kept as
// all-ones / zero masks so the pixel loops have no branches.
struct Pull {
    int32_t edge;    // range above the threshold
    int32_t bright;  // the pixel lies on the bright side of the range
    int32_t weak;    // not an edge with three or more neighbours on the pixel's own side
    int32_t n;       // neighbours on the own side
    int32_t weight;  // edge_strength for an edge with enough own-side neighbours, else edge_smooth
};

inline int32_t mask(bool b) {
    return -int32_t(b);
}

// Shared decision of both filters. `centre`, `lowest` and `range` are in the deciding
// brightness; `bright_count` and `dark_count` count the neighbours on each side.
inline Pull choose(int32_t centre, int32_t lowest, int32_t range, int32_t limit,
                   int32_t bright_count, int32_t dark_count, const EdgeParams& e) {
    Pull pull;
    pull.edge = mask(range > limit);
    pull.bright = mask(centre * 100 > range * e.split + lowest * 100);
    pull.n = (bright_count & pull.bright) | (dark_count & ~pull.bright);
    // nb > 2 on the bright side and nd >= 3 on the dark side are the same test.
    pull.weak = ~(pull.edge & mask(pull.n >= 3));
    pull.weight = (e.smooth & pull.weak) | (e.strength & ~pull.weak);
    return pull;
}

// One channel, from the sums of its bright and dark neighbours, its nine-sum and its centre:
// no edge: nine-sum / 9; strong edge: side sum / side count; weak edge: (side sum + nine-sum)
// / (side count + 9).
inline uint16_t apply(const Pull& pull, int32_t bright_sum, int32_t dark_sum, int32_t all,
                      int32_t p) {
    const int32_t side = (bright_sum & pull.bright) | (dark_sum & ~pull.bright);
    const int32_t n = (side & pull.edge) + (all & pull.weak);
    const int32_t d = (pull.n & pull.edge) + (9 & pull.weak);
    return uint16_t(pulled(n, d, pull.weight, p));
}

// One plane: v[4] is the centre; values equal to it count on neither side.
inline uint16_t edge_sample(const int32_t (&v)[9], const EdgeParams& e) {
    const int32_t p = v[4];
    int32_t lo = p, hi = p, s9 = 0, nb = 0, sb = 0, nd = 0;
#pragma GCC unroll 9
    for (int i = 0; i < 9; ++i) {
        const int32_t x = v[i];
        lo = std::min(lo, x);
        hi = std::max(hi, x);
        s9 += x;
        nb += x > p ? 1 : 0;
        sb += x > p ? x : 0;
        nd += x < p ? 1 : 0;
    }
    // The 9 − nb − nd values that are neither brighter nor darker all equal p.
    const int32_t sd = s9 - sb - (9 - nb - nd) * p;
    const Pull pull = choose(p, lo, hi - lo, e.threshold, nb, nd, e);
    return apply(pull, sb, sd, s9, p);
}

// Three planes: L = R + G + B decides; the centre's eight neighbours are dark when their L
// is below the centre's, bright otherwise.
struct Rgb9 {
    int32_t c[3][9];
};

struct Rgb {
    uint16_t c[3];
};

inline Rgb edge_joint_sample(const Rgb9& v, const EdgeParams& e) {
    int32_t l[9];
#pragma GCC unroll 9
    for (int i = 0; i < 9; ++i) l[i] = v.c[0][i] + v.c[1][i] + v.c[2][i];
    const int32_t lc = l[4];
    int32_t lo = lc, hi = lc, nb = 0;
    int32_t s9[3] = {0, 0, 0}, sb[3] = {0, 0, 0};
    // The centre itself passes the bright test; it is taken out again below.
#pragma GCC unroll 9
    for (int i = 0; i < 9; ++i) {
        lo = std::min(lo, l[i]);
        hi = std::max(hi, l[i]);
        const bool b = l[i] >= lc;
        nb += b ? 1 : 0;
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) {
            s9[c] += v.c[c][i];
            sb[c] += b ? v.c[c][i] : 0;
        }
    }
    nb -= 1;
    const Pull pull = choose(lc, lo, hi - lo, 3 * e.threshold, nb, 8 - nb, e);
    Rgb out;
#pragma GCC unroll 3
    for (int c = 0; c < 3; ++c) {
        const int32_t p = v.c[c][4];
        const int32_t bright_sum = sb[c] - p;
        const int32_t dark_sum = s9[c] - p - bright_sum;
        out.c[c] = apply(pull, bright_sum, dark_sum, s9[c], p);
    }
    return out;
}

std::size_t at(int row, int width) {
    return std::size_t(row) * std::size_t(width);
}

// The three rows of one plane around the row being written.
struct Rows {
    const uint16_t* below;
    const uint16_t* here;
    const uint16_t* above;
};

// Filters a plane in place from the bottom row up: each row is copied before it is
// overwritten, so the row below and the row itself come from copies and the row above is
// still untouched. Every pixel thus reads unchanged neighbours.
class RowKeeper {
  public:
    explicit RowKeeper(PlaneRef plane) : plane_(plane), copies_(at(2, plane.width)) {}
    Rows keep(int y) {
        const int w = plane_.width;
        uint16_t* here = copies_.data() + at(y % 2, w);
        std::copy_n(row(y), w, here);
        const uint16_t* below = y > 0 ? copies_.data() + at((y - 1) % 2, w) : here;
        const uint16_t* above = y + 1 < plane_.height ? row(y + 1) : here;
        return {below, here, above};
    }
    uint16_t* row(int y) { return plane_.data + at(y, plane_.width); }

  private:
    PlaneRef plane_;
    Plane copies_;
};

// The nine samples around column x with clamped columns (border pixels).
void gather(const Rows& r, int x, int width, int32_t (&v)[9]) {
    const std::size_t cols[3] = {std::size_t(std::max(x - 1, 0)), std::size_t(x),
                                 std::size_t(std::min(x + 1, width - 1))};
    const uint16_t* rows[3] = {r.below, r.here, r.above};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) v[3 * j + i] = rows[j][cols[i]];
}

// The nine samples of one plane around column x of three row pointers (no clamping).
inline void load9(const uint16_t* __restrict b, const uint16_t* __restrict h,
                  const uint16_t* __restrict a, int x, int32_t (&v)[9]) {
    v[0] = b[x - 1], v[1] = b[x], v[2] = b[x + 1];
    v[3] = h[x - 1], v[4] = h[x], v[5] = h[x + 1];
    v[6] = a[x - 1], v[7] = a[x], v[8] = a[x + 1];
}

// Columns 1 .. width − 2, which need no clamping.
[[gnu::noinline]] void plane_interior(const uint16_t* __restrict b, const uint16_t* __restrict h,
                                      const uint16_t* __restrict a, uint16_t* __restrict out,
                                      int width, const EdgeParams& e) {
    int32_t v[9];
    for (int x = 1; x < width - 1; ++x) {
        load9(b, h, a, x, v);
        out[x] = edge_sample(v, e);
    }
}

void plane_row(const Rows& r, uint16_t* out, int width, const EdgeParams& e) {
    int32_t v[9];
    for (int x : {0, width - 1}) {
        gather(r, x, width, v);
        out[x] = edge_sample(v, e);
    }
    plane_interior(r.below, r.here, r.above, out, width, e);
}

// Restrict-qualified parameters (not locals) let the compiler vectorise the pixel loop.
[[gnu::noinline]] void joint_interior(const uint16_t* __restrict b0, const uint16_t* __restrict h0,
                                      const uint16_t* __restrict a0, const uint16_t* __restrict b1,
                                      const uint16_t* __restrict h1, const uint16_t* __restrict a1,
                                      const uint16_t* __restrict b2, const uint16_t* __restrict h2,
                                      const uint16_t* __restrict a2, uint16_t* __restrict o0,
                                      uint16_t* __restrict o1, uint16_t* __restrict o2, int width,
                                      const EdgeParams& e) {
    Rgb9 v;
    for (int x = 1; x < width - 1; ++x) {
        load9(b0, h0, a0, x, v.c[0]);
        load9(b1, h1, a1, x, v.c[1]);
        load9(b2, h2, a2, x, v.c[2]);
        const Rgb px = edge_joint_sample(v, e);
        o0[x] = px.c[0];
        o1[x] = px.c[1];
        o2[x] = px.c[2];
    }
}

void joint_row(const std::array<Rows, 3>& r, const std::array<uint16_t*, 3>& out, int width,
               const EdgeParams& e) {
    Rgb9 v;
    for (int x : {0, width - 1}) {
        for (std::size_t c = 0; c < 3; ++c) gather(r[c], x, width, v.c[c]);
        const Rgb px = edge_joint_sample(v, e);
        for (std::size_t c = 0; c < 3; ++c) out[c][x] = px.c[c];
    }
    joint_interior(r[0].below, r[0].here, r[0].above, r[1].below, r[1].here, r[1].above, r[2].below,
                   r[2].here, r[2].above, out[0], out[1], out[2], width, e);
}

bool usable(const PlaneRef& p) {
    return p.data && p.width >= 1 && p.height >= 1;
}

}  // namespace

void edge_enhance_plane(PlaneRef plane, const ParamVector& p) {
    if (!usable(plane)) return;
    const EdgeParams e = edge_params(p);
    RowKeeper rows(plane);
    for (int y = 0; y < plane.height; ++y) plane_row(rows.keep(y), rows.row(y), plane.width, e);
}

void edge_enhance_joint(std::array<PlaneRef, 3> planes, const ParamVector& p) {
    for (const PlaneRef& plane : planes) {
        if (!usable(plane)) return;
        if (plane.width != planes[0].width || plane.height != planes[0].height) return;
    }
    const EdgeParams e = edge_params(p);
    RowKeeper k0(planes[0]), k1(planes[1]), k2(planes[2]);
    for (int y = 0; y < planes[0].height; ++y)
        joint_row({k0.keep(y), k1.keep(y), k2.keep(y)}, {k0.row(y), k1.row(y), k2.row(y)},
                  planes[0].width, e);
}

}  // namespace vora
