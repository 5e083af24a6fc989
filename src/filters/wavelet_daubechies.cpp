#include "filters/wavelet_daubechies.h"

#include <algorithm>
#include <cmath>

namespace vora {
namespace {

// Daubechies low-pass coefficients times √2 (sum 2), orders 1..10, from the standard
// construction: the half-band polynomial P(y) = Σ_{k<N} C(N-1+k, k)·y^k is factored, the
// zeros inside the unit circle are kept (minimum phase), multiplied by (1 + z)^N and
// normalised. Computed in 80-digit arithmetic and rounded to 21 digits, so each literal
// converts to the nearest double. Holding the scaled filter keeps the Haar taps exactly 1
// (and 1/2 for analysis), so that its synthesis copies samples without rounding.
constexpr double kScaledLowpass[kDaubechiesMaxOrder][kDaubechiesMaxTaps] = {
    // N = 1
    {1.0, 1.0},
    // N = 2
    {0.683012701892219323382, 1.18301270189221932338, 0.316987298107780676618,
     -0.183012701892219323382},
    // N = 3
    {0.470467207784163680753, 1.14111691583144362576, 0.650365000526232528507,
     -0.190934415568327361507, -0.12083220831039620926, 0.0498174997368837357465},
    // N = 4
    {0.325803428051298348275, 1.01094571509182886288, 0.892200138246759623172,
     -0.0395750262356446430954, -0.264507167369039736052, 0.0436163004741772526577,
     0.0465036010709817646055, -0.0149869893303614724451},
    // N = 5
    {0.226418982583558357648, 0.853943542705028332447, 1.02432694425919707323,
     0.195766961347809348057, -0.342656715382934886448, -0.0456011318835472974848,
     0.109702658642133647044, -0.0088268001083582545443, -0.0177918701019541914795,
     0.0047174279390678715248},
    // N = 6
    {0.157742432002901416721, 0.699503814075235662112, 1.0622637598817379691,
     0.445831322930035512547, -0.319986598892122789884, -0.183518064060295152266,
     0.137888092974744597611, 0.0389232097083293282867, -0.0446637483301890692569,
     0.000783251152297155775411, 0.00675606236292787571377, -0.00152353380560250645521},
    // N = 7
    {0.110099430745623697783, 0.560791283625525125424, 1.03114849163619733624,
     0.664372482211079348474, -0.203513822462692484975, -0.316835011280665678753,
     0.100846465009388173805, 0.114003445159743152633, -0.0537824525896908775264,
     -0.0234399415642065771438, 0.0177497923793615278397, 0.000607514995402138708529,
     -0.00254790471818737317084, 0.00050022685312249065726},
    // N = 8
    {0.0769556221081524731722, 0.442467247152249839723, 0.955486150427747391163,
     0.827816532422391785817, -0.0223857353337604354822, -0.40165863278097810084,
     0.000668194092440237560947, 0.182076356847315490863, -0.0245639010456968185119,
     -0.0623502066502788562712, 0.0197721592967015179563, 0.0123688448196318447349,
     -0.00688771925688361816782, -0.000554004548958778644753, 0.000955229711299252309804,
     -0.000166137261373225381232},
    // N = 9
    {0.0538503495893256002939, 0.344834303813955884022, 0.85534906435941513259,
     0.929545714366294680245, 0.188369549506367558167, -0.414751761801876984689,
     -0.136953549024766197208, 0.210068342279012384309, 0.0434526754612290872323,
     -0.0956472641201940521884, 0.000354892813233037828626, 0.0316241658525117260251,
     -0.00667962022627715496449, -0.00605496057509013186633, 0.00261296728049449139578,
     0.00032581467135218442609, -0.00035632975902155533502, 0.0000556455140343097156546},
    // N = 10
    {0.0377171575922413777706,   0.266122182793841789834,     0.745575071486466769778,
     0.973628110733639891367,    0.397637741769017379022,     -0.353336201794112600499,
     -0.277109878720966305713,   0.180127448533393332686,     0.131602987101070014647,
     -0.100966571196779434139,   -0.0416592480876016139621,   0.046969814097397121692,
     0.00510043696781447746534,  -0.0151790023358564987877,   0.00197332536496320518827,
     0.00281768659019467621146,  -0.000969947839856410962969, -0.000164709006090777955103,
     0.000132354366851106766369, -0.0000187584156275004083371},
};

}  // namespace

std::array<double, kDaubechiesMaxTaps> daubechies_lowpass(int order) {
    order = std::clamp(order, 1, kDaubechiesMaxOrder);
    std::array<double, kDaubechiesMaxTaps> h{};
    const double root2 = std::sqrt(2.0);
    for (int k = 0; k < 2 * order; ++k) h[std::size_t(k)] = kScaledLowpass[order - 1][k] / root2;
    return h;
}

DaubechiesFilters daubechies_filters(int order) {
    DaubechiesFilters f;
    f.order = std::clamp(order, 1, kDaubechiesMaxOrder);
    f.taps = 2 * f.order;
    const double* h = kScaledLowpass[f.order - 1];
    for (int k = 0; k < f.taps; ++k) {
        const double lo = h[k];
        const double mirror = h[f.taps - 1 - k];
        const double hi = k % 2 == 0 ? mirror : -mirror;
        f.synthesis_lo[std::size_t(k)] = lo;
        f.synthesis_hi[std::size_t(k)] = hi;
        f.analysis_lo[std::size_t(k)] = lo / 2;
        f.analysis_hi[std::size_t(k)] = hi / 2;
    }
    return f;
}

// Both steps accumulate every output over k in increasing order, starting from 0. The loops
// run over contiguous arrays so that they vectorise, two taps per pass: a + b·s + c·t is
// (a + b·s) + c·t, the same additions in the same order as one tap at a time.

void daubechies_analyze_line(double* x, int n, const DaubechiesFilters& f, double* scratch) {
    if (n < 2) return;
    // x[(2i + k) mod n] is even[i + k/2] for even k and odd[i + (k-1)/2] for odd k.
    const int half = n / 2;
    const int reach = half + f.order;
    double* even = scratch;
    double* odd = even + reach;
    double* lo = odd + reach;
    double* hi = lo + half;
    for (int m = 0; m < half; ++m) {
        even[m] = x[2 * m];
        odd[m] = x[2 * m + 1];
    }
    for (int m = half; m < reach; ++m) {  // the wrap
        even[m] = x[(2 * m) % n];
        odd[m] = x[(2 * m + 1) % n];
    }
    for (int k = 0; k < f.taps; k += 2) {
        const std::size_t k0 = std::size_t(k), k1 = k0 + 1;
        const double a0 = f.analysis_lo[k0], a1 = f.analysis_lo[k1];
        const double b0 = f.analysis_hi[k0], b1 = f.analysis_hi[k1];
        const double* e = even + k / 2;
        const double* o = odd + k / 2;
        if (k == 0) {
            for (int i = 0; i < half; ++i) {
                lo[i] = 0.0 + a0 * e[i] + a1 * o[i];
                hi[i] = 0.0 + b0 * e[i] + b1 * o[i];
            }
            continue;
        }
        for (int i = 0; i < half; ++i) {
            lo[i] = lo[i] + a0 * e[i] + a1 * o[i];
            hi[i] = hi[i] + b0 * e[i] + b1 * o[i];
        }
    }
    std::copy(lo, hi + half, x);
}

void daubechies_synthesize_line(double* x, int n, const DaubechiesFilters& f, double* scratch) {
    if (n < 2) return;
    // Output 2p + r takes taps k = r + 2t from band index p - t (mod n/2); each band is laid
    // out with N - 1 wrapped samples in front so that index p - t + N - 1 is never negative.
    const int half = n / 2;
    const int lead = f.order - 1;
    const int reach = half + lead;
    double* lo = scratch;
    double* hi = lo + reach;
    double* even = hi + reach;
    double* odd = even + half;
    for (int q = 0; q < lead; ++q) {  // the wrap
        const int i = ((q - lead) % half + half) % half;
        lo[q] = x[i];
        hi[q] = x[half + i];
    }
    std::copy(x, x + half, lo + lead);
    std::copy(x + half, x + n, hi + lead);
    std::fill(even, odd + half, 0.0);
    for (int r = 0; r < 2; ++r) {
        double* y = r == 0 ? even : odd;
        int t = 0;
        for (; t + 1 < f.order; t += 2) {
            const std::size_t k0 = std::size_t(r + 2 * t), k1 = k0 + 2;
            const double a0 = f.synthesis_lo[k0], b0 = f.synthesis_hi[k0];
            const double a1 = f.synthesis_lo[k1], b1 = f.synthesis_hi[k1];
            const double *l0 = lo + lead - t, *h0 = hi + lead - t;
            const double *l1 = l0 - 1, *h1 = h0 - 1;
            for (int p = 0; p < half; ++p)
                y[p] = y[p] + (a0 * l0[p] + b0 * h0[p]) + (a1 * l1[p] + b1 * h1[p]);
        }
        if (t < f.order) {
            const std::size_t k = std::size_t(r + 2 * t);
            const double a = f.synthesis_lo[k], b = f.synthesis_hi[k];
            const double *l = lo + lead - t, *h = hi + lead - t;
            for (int p = 0; p < half; ++p) y[p] += a * l[p] + b * h[p];
        }
    }
    for (int p = 0; p < half; ++p) {
        x[2 * p] = even[p];
        x[2 * p + 1] = odd[p];
    }
}

}  // namespace vora
