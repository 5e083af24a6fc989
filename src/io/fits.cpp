// FITS images: the header's cards, the data found at the block boundary after the END card,
// integer (8, 16, 32 bits) and IEEE floating-point (32, 64 bits) samples, each colour
// stretched on its own to the full 16-bit range.
#include "io/fits.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "io/byte_reader.h"
#include "io/dark_frames.h"
#include "io/file_bytes.h"

namespace vora {
namespace {

using io_detail::DecodedPlanes;
using io_detail::kMaxPixels;

// ---- card values ----

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Length of the numeric token at the start of `s` as FITS writes numbers:
// [+-] digits [. digits] [E|D [+-] digits]; 0 when `s` does not start with one.
std::size_t number_length(std::string_view s, bool& real) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && is_digit(s[i])) ++i, ++digits;
    real = false;
    if (i < s.size() && s[i] == '.') {
        real = true;
        ++i;
        while (i < s.size() && is_digit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        std::size_t exponent_digits = 0;
        while (j < s.size() && is_digit(s[j])) ++j, ++exponent_digits;
        if (exponent_digits == 0) return 0;
        real = true;
        i = j;
    }
    return i;
}

// Reads a number token (already checked by number_length) into the card.
void read_number(std::string_view token, bool real, FitsCard& card) {
    // from_chars takes neither a leading '+' nor Fortran's 'D' exponent.
    std::string text(token.substr(token[0] == '+' ? 1 : 0));
    std::replace_if(text.begin(), text.end(), [](char c) { return c == 'D' || c == 'd'; }, 'e');
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (!real) {
        int64_t v = 0;
        if (std::from_chars(first, last, v).ec == std::errc()) {
            card.has_number = card.integral = true;
            card.integer = v;
            card.number = double(v);
            return;
        }
    }
    double d = 0.0;
    const auto res = std::from_chars(first, last, d);
    if (res.ec != std::errc() || !std::isfinite(d)) return;
    card.has_number = true;
    card.number = d;
    // Reals with a whole value ("1.000000E+00") count as integers, as their writers meant.
    constexpr double kTwo63 = 9223372036854775808.0;
    if (std::trunc(d) == d && d > -kTwo63 && d < kTwo63) {
        card.integral = true;
        card.integer = int64_t(d);
    }
}

// A quoted string value starting at s[0] == '\''; a doubled quote stands for one quote.
void read_text(std::string_view s, FitsCard& card) {
    std::string text;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] != '\'') {
            text += s[i];
            continue;
        }
        if (i + 1 < s.size() && s[i + 1] == '\'') {
            text += '\'';
            ++i;
            continue;
        }
        break;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    card.has_text = true;
    card.text = std::move(text);
}

void read_value(std::string_view s, FitsCard& card) {
    const std::size_t start = s.find_first_not_of(' ');
    if (start == std::string_view::npos) return;
    s.remove_prefix(start);
    if (s[0] == '\'') return read_text(s, card);
    bool real = false;
    const std::size_t n = number_length(s, real);
    if (n == 0) return;
    // A number is followed by nothing, spaces or the comment.
    if (n < s.size() && s[n] != ' ' && s[n] != '/') return;
    read_number(s.substr(0, n), real, card);
}

// ---- the header of one HDU ----

constexpr int kMaxAxes = 999;
constexpr int64_t kAbsent = std::numeric_limits<int64_t>::min();

struct Header {
    std::size_t start = 0;      // offset of the first card
    std::size_t cards_end = 0;  // offset just past the END card
    bool has_end = false;
    std::string first_keyword;  // SIMPLE for the primary HDU, XTENSION for an extension
    std::string xtension;
    bool has_bitpix = false;
    int64_t bitpix = 0;  // 0 when the card holds no whole number
    int64_t naxis = kAbsent;
    std::vector<int64_t> axes = std::vector<int64_t>(kMaxAxes + 1, kAbsent);  // [n]: NAXISn
    int64_t pcount = 0;
    int64_t gcount = 1;
    FitsCard bscale, bzero;

    Header() {
        bscale.has_number = bscale.integral = true;
        bscale.integer = 1;
        bscale.number = 1.0;
        bzero.has_number = bzero.integral = true;
    }
    // NAXISn as the image reads it: 1 when absent, as a one-plane or one-row image has.
    int64_t axis_or_one(int n) const {
        const int64_t a = axes[std::size_t(n)];
        return a == kAbsent ? 1 : a;
    }
};

// n for a keyword "NAXISn" (n from 1 to 999), otherwise 0.
int axis_number(const std::string& keyword) {
    if (keyword.size() < 6 || keyword.size() > 8 || keyword.compare(0, 5, "NAXIS") != 0) return 0;
    if (keyword[5] == '0') return 0;
    int n = 0;
    for (std::size_t i = 5; i < keyword.size(); ++i) {
        if (!is_digit(keyword[i])) return 0;
        n = n * 10 + (keyword[i] - '0');
    }
    return n;
}

int64_t whole_or_zero(const FitsCard& card) { return card.integral ? card.integer : 0; }

void take_card(const FitsCard& card, Header& h) {
    const std::string& k = card.keyword;
    if (k == "BITPIX") {
        h.has_bitpix = true;
        h.bitpix = whole_or_zero(card);
    } else if (k == "NAXIS") {
        h.naxis = whole_or_zero(card);
    } else if (const int n = axis_number(k); n > 0) {
        h.axes[std::size_t(n)] = whole_or_zero(card);
    } else if (k == "BSCALE" || k == "BZERO") {
        // A card without a number keeps the default rather than scaling everything to 0.
        if (card.has_number) (k == "BSCALE" ? h.bscale : h.bzero) = card;
    } else if (k == "PCOUNT") {
        h.pcount = whole_or_zero(card);
    } else if (k == "GCOUNT") {
        h.gcount = whole_or_zero(card);
    } else if (k == "XTENSION") {
        h.xtension = card.text;
    }
}

// Reads cards from `start` up to and including the END card.
Header read_header(const uint8_t* data, std::size_t size, std::size_t start) {
    Header h;
    h.start = start;
    for (std::size_t pos = start; size - pos >= kFitsCardSize; pos += kFitsCardSize) {
        const FitsCard card = parse_fits_card(
            std::string_view(reinterpret_cast<const char*>(data + pos), kFitsCardSize));
        if (pos == start) h.first_keyword = card.keyword;
        if (card.keyword == "END") {
            h.has_end = true;
            h.cards_end = pos + kFitsCardSize;
            break;
        }
        take_card(card, h);
    }
    return h;
}

std::size_t round_up_to_block(std::size_t n) {
    return (n + kFitsBlockSize - 1) / kFitsBlockSize * kFitsBlockSize;
}

// Offset of the block that follows the header's END card.
std::size_t blocked_data_offset(const Header& h) {
    return h.start + round_up_to_block(h.cards_end - h.start);
}

bool is_blank_card(const uint8_t* p) {
    return std::all_of(p, p + kFitsCardSize, [](uint8_t b) { return b == ' '; });
}

// Where the data of `needed` bytes begin: at the block boundary after END; in a file too
// short for that (written without the blocking), after the blank cards following END.
// False when the file cannot hold the data either way.
bool find_data(const uint8_t* data, std::size_t size, const Header& h, uint64_t needed,
               std::size_t& offset) {
    const std::size_t blocked = blocked_data_offset(h);
    if (blocked <= size && needed <= size - blocked) {
        offset = blocked;
        return true;
    }
    std::size_t pos = h.cards_end;
    while (size - pos >= kFitsCardSize && is_blank_card(data + pos)) pos += kFitsCardSize;
    if (needed > size - pos) return false;
    offset = pos;
    return true;
}

// ---- the image an HDU describes ----

struct Layout {
    int bitpix = 0;
    int bytes_per_value = 0;
    int32_t width = 0;
    int32_t height = 0;
    int64_t planes = 1;
    FitsCard bscale, bzero;
    std::size_t offset = 0;  // first data byte
};

ReadResult corrupt(const char* why) { return read_failed(ReadStatus::corrupt, why); }

int bytes_per_value(int64_t bitpix) {
    switch (bitpix) {
        case 8: return 1;
        case 16: return 2;
        case 32: case -32: return 4;
        case -64: return 8;
        default: return 0;
    }
}

bool multiply(uint64_t a, uint64_t b, uint64_t& product) {
    return !__builtin_mul_overflow(a, b, &product);
}

ReadResult image_layout(const uint8_t* data, std::size_t size, const Header& h, Layout& out) {
    if (!h.has_bitpix) return read_failed(ReadStatus::unsupported, "FITS header has no BITPIX");
    const int bpv = bytes_per_value(h.bitpix);
    if (bpv == 0)
        return read_failed(ReadStatus::unsupported,
                           "FITS BITPIX " + std::to_string(h.bitpix) + " not supported");
    const int64_t w = h.axis_or_one(1), rows = h.axis_or_one(2), planes = h.axis_or_one(3);
    if (w < 1 || rows < 1) return corrupt("FITS NAXIS1 or NAXIS2 below 1");
    if (planes < 1) return corrupt("FITS NAXIS3 below 1");
    if (w > INT32_MAX || rows > INT32_MAX || w * rows > kMaxPixels)
        return read_failed(ReadStatus::unsupported, "FITS image too large");
    uint64_t needed = 0;
    if (!multiply(uint64_t(w * rows) * uint64_t(bpv), uint64_t(planes), needed) ||
        !find_data(data, size, h, needed, out.offset))
        return corrupt("FITS file shorter than its data");
    out.bitpix = int(h.bitpix);
    out.bytes_per_value = bpv;
    out.width = int32_t(w);
    out.height = int32_t(rows);
    out.planes = planes;
    out.bscale = h.bscale;
    out.bzero = h.bzero;
    return read_ok();
}

// Bytes of data that follow an HDU's header (before padding to whole blocks).
bool data_size(const Header& h, uint64_t& bytes) {
    bytes = 0;
    if (h.naxis <= 0) return true;
    if (h.naxis > kMaxAxes) return false;
    const int bpv = h.bitpix == 64 ? 8 : bytes_per_value(h.bitpix);
    if (bpv == 0 || h.pcount < 0 || h.gcount < 0) return false;
    uint64_t values = 1;
    for (int n = 1; n <= h.naxis; ++n) {
        const int64_t a = h.axes[std::size_t(n)];
        if (a < 0 || !multiply(values, uint64_t(a), values)) return false;
    }
    return !__builtin_add_overflow(values, uint64_t(h.pcount), &values) &&
           multiply(values, uint64_t(h.gcount), values) &&
           multiply(values, uint64_t(bpv), bytes);
}

// The header of the first IMAGE extension after an empty primary HDU; false when the file
// has none (or its chain of HDUs breaks off).
bool find_image_extension(const uint8_t* data, std::size_t size, const Header& primary,
                          Header& found) {
    std::size_t pos = blocked_data_offset(primary);
    while (pos < size && size - pos >= kFitsCardSize) {
        Header h = read_header(data, size, pos);
        if (!h.has_end || h.first_keyword != "XTENSION") return false;
        if (h.xtension == "IMAGE" && h.naxis > 0) {
            found = std::move(h);
            return true;
        }
        uint64_t bytes = 0;
        const std::size_t start = blocked_data_offset(h);
        if (!data_size(h, bytes) || start > size || bytes > size - start) return false;
        pos = start + round_up_to_block(std::size_t(bytes));
    }
    return false;
}

// ---- samples ----

inline uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline uint64_t be64(const uint8_t* p) { return uint64_t(be32(p)) << 32 | be32(p + 4); }

template <int Bitpix>
inline int64_t raw_integer(const uint8_t* p) {
    if constexpr (Bitpix == 8) return p[0];
    if constexpr (Bitpix == 16) return int16_t(io_detail::be16(p));
    if constexpr (Bitpix == 32) return int32_t(be32(p));
    return 0;
}

template <int Bitpix>
inline double raw_real(const uint8_t* p) {
    if constexpr (Bitpix == -32) return double(std::bit_cast<float>(be32(p)));
    if constexpr (Bitpix == -64) return std::bit_cast<double>(be64(p));
    return double(raw_integer<Bitpix>(p));
}

constexpr int bytes_of(int bitpix) { return (bitpix < 0 ? -bitpix : bitpix) / 8; }

// One colour's source: a plane of the file and, when a dark frame applies, its values.
struct ColourSource {
    const uint8_t* values = nullptr;
    std::size_t count = 0;
    const int32_t* dark = nullptr;
};

inline uint16_t clamp_sample(double t) {
    if (!(t >= 0.0)) return 0;  // also NaN
    if (t >= 65535.0) return 65535;
    return uint16_t(t);  // truncation toward zero
}

// 8- and 16-bit samples without a dark frame: the stretched value depends on the raw value
// alone, so it is worked out once for each raw value in the range and looked up. The physical
// extremes are those of the raw extremes (raw × BSCALE + BZERO is monotonic).
template <int Bitpix>
void stretch_by_table(const ColourSource& src, int64_t scale, int64_t zero, uint16_t* out) {
    constexpr int kBytes = bytes_of(Bitpix);
    int64_t raw_lo = std::numeric_limits<int64_t>::max();
    int64_t raw_hi = std::numeric_limits<int64_t>::min();
    for (std::size_t i = 0; i < src.count; ++i) {
        const int64_t r = raw_integer<Bitpix>(src.values + i * kBytes);
        raw_lo = std::min(raw_lo, r);
        raw_hi = std::max(raw_hi, r);
    }
    const int64_t a = raw_lo * scale + zero, b = raw_hi * scale + zero;
    const int64_t lo = std::min(a, b);
    double range = double(std::max(a, b) - lo);
    if (range <= 0.0) range = 1.0;
    std::vector<uint16_t> table(std::size_t(raw_hi - raw_lo + 1));
    for (int64_t r = raw_lo; r <= raw_hi; ++r)
        table[std::size_t(r - raw_lo)] = clamp_sample(double(r * scale + zero - lo) * 65535.0 /
                                                      range);
    for (std::size_t i = 0; i < src.count; ++i)
        out[i] = table[std::size_t(raw_integer<Bitpix>(src.values + i * kBytes) - raw_lo)];
}

// Integer samples with a whole BSCALE and BZERO: physical value raw × BSCALE + BZERO
// (less the dark value) in 64-bit arithmetic, then (value − min) × 65535 / range.
template <int Bitpix>
void stretch_integer(const ColourSource& src, int64_t scale, int64_t zero, uint16_t* out) {
    if constexpr (Bitpix == 8 || Bitpix == 16) {
        if (!src.dark) return stretch_by_table<Bitpix>(src, scale, zero, out);
    }
    constexpr int kBytes = bytes_of(Bitpix);
    const auto value = [&](std::size_t i) {
        int64_t v = raw_integer<Bitpix>(src.values + i * kBytes) * scale + zero;
        if (src.dark) v -= src.dark[i];
        return v;
    };
    int64_t lo = std::numeric_limits<int64_t>::max();
    int64_t hi = std::numeric_limits<int64_t>::min();
    for (std::size_t i = 0; i < src.count; ++i) {
        const int64_t v = value(i);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    double range = double(hi - lo);
    if (range <= 0.0) range = 1.0;
    for (std::size_t i = 0; i < src.count; ++i)
        out[i] = clamp_sample(double(value(i) - lo) * 65535.0 / range);
}

// Floating-point samples, or integers with a fractional scale: the same stretch in double;
// NaN and infinite values take no part in the range and become 0.
template <int Bitpix>
void stretch_real(const ColourSource& src, double scale, double zero, uint16_t* out) {
    constexpr int kBytes = bytes_of(Bitpix);
    const auto value = [&](std::size_t i) {
        double v = raw_real<Bitpix>(src.values + i * kBytes) * scale + zero;
        if (src.dark) v -= double(src.dark[i]);
        return v;
    };
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (std::size_t i = 0; i < src.count; ++i) {
        const double v = value(i);
        if (!std::isfinite(v)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    double range = hi - lo;
    if (!(range > 0.0)) range = 1.0;  // also when no value was finite
    for (std::size_t i = 0; i < src.count; ++i) {
        const double v = value(i);
        out[i] = std::isfinite(v) ? clamp_sample((v - lo) * 65535.0 / range) : 0;
    }
}

// Integer arithmetic stays exact while |raw × BSCALE + BZERO − dark| and the difference of
// two such values fit in 64 bits: raw < 2^31, so BSCALE up to 2^30 and BZERO up to 2^60.
bool integer_arithmetic(const Layout& l) {
    constexpr int64_t kMaxScale = int64_t(1) << 30;
    constexpr int64_t kMaxZero = int64_t(1) << 60;
    return l.bitpix > 0 && l.bscale.integral && l.bzero.integral &&
           l.bscale.integer >= -kMaxScale && l.bscale.integer <= kMaxScale &&
           l.bzero.integer >= -kMaxZero && l.bzero.integer <= kMaxZero;
}

template <int Bitpix>
void stretch(const Layout& l, const ColourSource& src, uint16_t* out) {
    if constexpr (Bitpix > 0) {
        if (integer_arithmetic(l)) return stretch_integer<Bitpix>(src, l.bscale.integer,
                                                                  l.bzero.integer, out);
    }
    stretch_real<Bitpix>(src, l.bscale.number, l.bzero.number, out);
}

void stretch_colour(const Layout& l, const ColourSource& src, uint16_t* out) {
    switch (l.bitpix) {
        case 8: return stretch<8>(l, src, out);
        case 16: return stretch<16>(l, src, out);
        case 32: return stretch<32>(l, src, out);
        case -32: return stretch<-32>(l, src, out);
        case -64: return stretch<-64>(l, src, out);
        default: return;
    }
}

// Red, green and blue from planes 0, 1, 2 (one plane: all three from it; two planes: blue
// stays 0), each with its own range.
void fill_colours(const uint8_t* data, const Layout& l, const FitsDarkView* dark,
                  DecodedPlanes& planes) {
    const std::size_t n = std::size_t(l.width) * std::size_t(l.height);
    const std::size_t plane_bytes = n * std::size_t(l.bytes_per_value);
    const bool use_dark = dark && dark->width == l.width && dark->height == l.height;
    Plane* const targets[3] = {&planes.red, &planes.green, &planes.blue};
    for (int c = 0; c < 3; ++c) {
        const int64_t source = l.planes == 1 ? 0 : c;
        if (source >= l.planes) continue;
        const int32_t* dark_values = use_dark ? dark->colour[std::size_t(c)] : nullptr;
        // Without a dark frame a single plane gives three equal colours: stretch it once.
        if (c > 0 && l.planes == 1 && !use_dark) {
            *targets[c] = planes.red;
            continue;
        }
        const ColourSource src{data + l.offset + std::size_t(source) * plane_bytes, n,
                               dark_values};
        stretch_colour(l, src, targets[c]->data());
    }
}

}  // namespace

FitsCard parse_fits_card(std::string_view card) {
    FitsCard out;
    card = card.substr(0, kFitsCardSize);
    const std::size_t keyword_end = std::min(card.find_first_of(" ="), card.size());
    out.keyword = std::string(card.substr(0, keyword_end));
    const std::size_t equals = card.find('=', keyword_end);
    if (equals != std::string_view::npos) read_value(card.substr(equals + 1), out);
    return out;
}

namespace {

// The image of the primary HDU, or of the first IMAGE extension when the primary is empty.
ReadResult find_image(const uint8_t* data, std::size_t size, Layout& layout) {
    Header header = read_header(data, size, 0);
    if (!header.has_end) return corrupt("FITS header has no END card");
    if (header.naxis == 0) {
        Header extension;
        if (!find_image_extension(data, size, header, extension))
            return read_failed(ReadStatus::unsupported, "no image in the primary HDU");
        header = std::move(extension);
    }
    return image_layout(data, size, header, layout);
}

int32_t nearest_int32(double v) {
    constexpr double kLo = std::numeric_limits<int32_t>::min();
    constexpr double kHi = std::numeric_limits<int32_t>::max();
    if (!(v == v)) return 0;  // NaN
    return int32_t(std::llround(std::clamp(v, kLo, kHi)));
}

// Physical values of one plane, limited to the 32-bit range; reals rounded to the nearest.
template <int Bitpix>
void physical_values(const Layout& l, const uint8_t* src, std::size_t n, int32_t* out) {
    constexpr int kBytes = bytes_of(Bitpix);
    if constexpr (Bitpix > 0) {
        if (integer_arithmetic(l)) {
            for (std::size_t i = 0; i < n; ++i) {
                const int64_t v =
                    raw_integer<Bitpix>(src + i * kBytes) * l.bscale.integer + l.bzero.integer;
                out[i] = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
            }
            return;
        }
    }
    for (std::size_t i = 0; i < n; ++i)
        out[i] =
            nearest_int32(raw_real<Bitpix>(src + i * kBytes) * l.bscale.number + l.bzero.number);
}

void plane_values(const Layout& l, const uint8_t* src, std::size_t n, int32_t* out) {
    switch (l.bitpix) {
        case 8: return physical_values<8>(l, src, n, out);
        case 16: return physical_values<16>(l, src, n, out);
        case 32: return physical_values<32>(l, src, n, out);
        case -32: return physical_values<-32>(l, src, n, out);
        case -64: return physical_values<-64>(l, src, n, out);
        default: return;
    }
}

}  // namespace

ReadResult decode_fits(const uint8_t* data, std::size_t size, ImageRecord& out,
                       const FitsDarkView* dark) {
    Layout layout;
    if (ReadResult r = find_image(data, size, layout); !r.ok()) return r;
    DecodedPlanes planes;
    try {
        if (!planes.allocate(layout.width, layout.height)) throw std::bad_alloc();
        fill_colours(data, layout, dark, planes);
    } catch (const std::bad_alloc&) {
        return read_failed(ReadStatus::unsupported, "not enough memory for the FITS image");
    }
    planes.move_into(out);
    return read_ok();
}

ReadResult read_fits(const DarkFrames& dark, const std::string& path, ImageRecord& out) {
    std::vector<uint8_t> bytes;
    if (ReadResult r = read_file_bytes(path, bytes); !r.ok()) return r;
    const std::size_t samples = std::size_t(std::max(dark.width, 0)) * std::size_t(std::max(dark.height, 0));
    const bool usable = dark.loaded() && dark.kind == kKindFits &&
                        dark.fits_planes[0].size() == samples &&
                        dark.fits_planes[1].size() == samples &&
                        dark.fits_planes[2].size() == samples;
    const FitsDarkView view{dark.width, dark.height,
                            {dark.fits_planes[0].data(), dark.fits_planes[1].data(),
                             dark.fits_planes[2].data()}};
    ReadResult r = decode_fits(bytes.data(), bytes.size(), out, usable ? &view : nullptr);
    if (r.ok()) out.name = path;
    return r;
}

ReadResult read_fits_values(const std::string& path, FitsValues& out) {
    std::vector<uint8_t> bytes;
    if (ReadResult r = read_file_bytes(path, bytes); !r.ok()) return r;
    Layout layout;
    if (ReadResult r = find_image(bytes.data(), bytes.size(), layout); !r.ok()) return r;
    const std::size_t n = std::size_t(layout.width) * std::size_t(layout.height);
    const std::size_t plane_bytes = n * std::size_t(layout.bytes_per_value);
    FitsValues values;
    for (int c = 0; c < 3; ++c) {
        std::vector<int32_t>& colour = values.colour[std::size_t(c)];
        const int64_t source = layout.planes == 1 ? 0 : c;
        if (c > 0 && layout.planes == 1) {
            colour = values.colour[0];
            continue;
        }
        colour.assign(n, 0);  // two planes: blue stays 0
        if (source < layout.planes)
            plane_values(layout, bytes.data() + layout.offset + std::size_t(source) * plane_bytes,
                         n, colour.data());
    }
    values.width = layout.width;
    values.height = layout.height;
    out = std::move(values);
    return read_ok();
}

}  // namespace vora
