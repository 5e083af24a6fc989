// The portable pixmap family: reading P1 to P6 (bitmaps, grey and colour, ASCII and binary),
// writing colour pixmaps as P3 or P6 with 8- or 16-bit samples.
#include <charconv>
#include <vector>

#include "io/bmp_pnm.h"
#include "io/byte_reader.h"
#include "io/file_bytes.h"

namespace vora {
namespace {

using io_detail::be16;
using io_detail::DecodedPlanes;
using io_detail::has_full_planes;
using io_detail::kMaxPixels;

constexpr uint32_t kMaxNumber = 0x7FFFFFFF;
constexpr uint16_t kBitmapWhite = 0xFF00;

ReadResult corrupt(const char* why) { return read_failed(ReadStatus::corrupt, why); }

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

bool is_space(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

enum class Kind { bitmap, grey, colour };

struct PnmInfo {
    int type = 0;  // the digit after 'P'
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t maximum = 1;

    bool ascii() const { return type <= 3; }
    Kind kind() const {
        const int t = (type - 1) % 3;
        return t == 0 ? Kind::bitmap : t == 1 ? Kind::grey : Kind::colour;
    }
    int channels() const { return kind() == Kind::colour ? 3 : 1; }
    uint64_t pixels() const { return uint64_t(width) * uint64_t(height); }
};

class Cursor {
public:
    Cursor(const uint8_t* data, std::size_t size, std::size_t pos)
        : data_(data), size_(size), pos_(pos) {}

    bool at_end() const { return pos_ >= size_; }
    uint8_t peek() const { return data_[pos_]; }
    void advance() { ++pos_; }
    std::size_t remaining() const { return at_end() ? 0 : size_ - pos_; }
    const uint8_t* here() const { return data_ + pos_; }

    // A '#' starts a comment that runs up to and including the next line feed.
    void skip_comment() {
        while (!at_end() && data_[pos_] != '\n') ++pos_;
        if (!at_end()) ++pos_;
    }

    void skip_blanks_and_comments() {
        while (!at_end()) {
            if (peek() == '#') skip_comment();
            else if (is_space(peek())) advance();
            else return;
        }
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_;
};

// ---- header ----

// A header number: the character after the previous item is consumed, anything up to the
// next digit is skipped (with comments), and the number is the run of digits that follows.
ReadResult header_number(Cursor& in, uint32_t& value) {
    if (in.at_end()) return corrupt("PNM header truncated");
    in.advance();
    while (!in.at_end() && !is_digit(in.peek())) {
        if (in.peek() == '#') in.skip_comment();
        else in.advance();
    }
    if (in.at_end()) return corrupt("PNM header truncated");
    uint64_t v = 0;
    for (; !in.at_end() && is_digit(in.peek()); in.advance()) {
        v = v * 10 + uint64_t(in.peek() - '0');
        if (v > kMaxNumber) return corrupt("PNM header number too large");
    }
    value = uint32_t(v);
    return read_ok();
}

// Leaves `in` right after the last header number's digits.
ReadResult read_header(Cursor& in, PnmInfo& info) {
    if (ReadResult r = header_number(in, info.width); !r.ok()) return r;
    if (ReadResult r = header_number(in, info.height); !r.ok()) return r;
    if (info.kind() != Kind::bitmap) {
        if (ReadResult r = header_number(in, info.maximum); !r.ok()) return r;
    }
    if (info.width < 1 || info.height < 1) return corrupt("PNM size invalid");
    if (info.pixels() >= uint64_t(kMaxPixels)) return corrupt("PNM size too large");
    if (info.maximum < 1 || info.maximum > 65535) return corrupt("PNM maximum value invalid");
    return read_ok();
}

// ---- binary rasters ----

uint64_t binary_row_bytes(const PnmInfo& info) {
    if (info.kind() == Kind::bitmap) return (uint64_t(info.width) + 7) / 8;
    const uint64_t sample_bytes = info.maximum < 256 ? 1 : 2;
    return uint64_t(info.width) * uint64_t(info.channels()) * sample_bytes;
}

struct RowOut {
    uint16_t* red;
    uint16_t* green;
    uint16_t* blue;

    void grey(std::size_t x, uint16_t v) { red[x] = green[x] = blue[x] = v; }
};

void bitmap_row(const uint8_t* src, std::size_t width, RowOut out) {
    for (std::size_t x = 0; x < width; ++x)
        out.grey(x, (src[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : kBitmapWhite);
}

// Samples of one byte are 8-bit values; samples of two bytes (most significant first) are
// kept as they are, whatever the maximum.
template <bool Wide>
uint16_t binary_sample(const uint8_t* p) {
    return Wide ? be16(p) : uint16_t(p[0] << 8);
}

template <bool Wide>
void grey_row(const uint8_t* src, std::size_t width, RowOut out) {
    constexpr int step = Wide ? 2 : 1;
    for (std::size_t x = 0; x < width; ++x, src += step) out.grey(x, binary_sample<Wide>(src));
}

template <bool Wide>
void colour_row(const uint8_t* src, std::size_t width, RowOut out) {
    constexpr int step = Wide ? 2 : 1;
    for (std::size_t x = 0; x < width; ++x, src += 3 * step) {
        out.red[x] = binary_sample<Wide>(src);
        out.green[x] = binary_sample<Wide>(src + step);
        out.blue[x] = binary_sample<Wide>(src + 2 * step);
    }
}

void binary_row(const PnmInfo& info, const uint8_t* src, RowOut out) {
    const bool wide = info.maximum >= 256;
    switch (info.kind()) {
        case Kind::bitmap: bitmap_row(src, info.width, out); break;
        case Kind::grey: wide ? grey_row<true>(src, info.width, out)
                              : grey_row<false>(src, info.width, out); break;
        case Kind::colour: wide ? colour_row<true>(src, info.width, out)
                                : colour_row<false>(src, info.width, out); break;
    }
}

RowOut plane_row(DecodedPlanes& planes, int32_t y) {
    return {planes.row(planes.red, y), planes.row(planes.green, y), planes.row(planes.blue, y)};
}

// Steps over the single whitespace character that ends the header (the raster starts right
// after it) and checks that the whole raster is there.
ReadResult start_binary_raster(Cursor& in, const PnmInfo& info) {
    if (!in.at_end()) in.advance();
    if (binary_row_bytes(info) * uint64_t(info.height) > in.remaining())
        return corrupt("PNM raster truncated");
    return read_ok();
}

// The file's first row is the top of the picture.
void decode_binary(Cursor& in, const PnmInfo& info, DecodedPlanes& planes) {
    const uint64_t stride = binary_row_bytes(info);
    const uint8_t* src = in.here();
    for (int32_t y = int32_t(info.height) - 1; y >= 0; --y, src += stride)
        binary_row(info, src, plane_row(planes, y));
}

// ---- ASCII rasters ----

enum class Token { ok, missing, bad };

ReadResult token_error(Token t) {
    return corrupt(t == Token::missing ? "PNM raster has too few values"
                                       : "PNM raster value is not a number");
}

// A decimal sample value, kept to 16 bits and then limited to the maximum.
Token ascii_value(Cursor& in, uint32_t maximum, uint32_t& value) {
    in.skip_blanks_and_comments();
    if (in.at_end()) return Token::missing;
    if (!is_digit(in.peek())) return Token::bad;
    uint32_t v = 0;
    for (; !in.at_end() && is_digit(in.peek()); in.advance())
        v = (v * 10 + uint32_t(in.peek() - '0')) & 0xFFFF;
    if (!in.at_end() && !is_space(in.peek()) && in.peek() != '#') return Token::bad;
    value = v < maximum ? v : maximum;
    return Token::ok;
}

// P1 digits need no separators: each '0' or '1' is one pixel, 1 is black.
Token ascii_bit(Cursor& in, uint16_t& sample) {
    in.skip_blanks_and_comments();
    if (in.at_end()) return Token::missing;
    const uint8_t c = in.peek();
    if (c != '0' && c != '1') return Token::bad;
    in.advance();
    sample = c == '1' ? 0 : kBitmapWhite;
    return Token::ok;
}

uint16_t scale_ascii(uint32_t v, uint32_t maximum) {
    return uint16_t(uint64_t(v) * 65536 / (uint64_t(maximum) + 1));
}

Token ascii_sample(Cursor& in, const PnmInfo& info, uint16_t& sample) {
    if (info.kind() == Kind::bitmap) return ascii_bit(in, sample);
    uint32_t v = 0;
    const Token t = ascii_value(in, info.maximum, v);
    sample = scale_ascii(v, info.maximum);
    return t;
}

Token ascii_row(Cursor& in, const PnmInfo& info, RowOut out) {
    const int channels = info.channels();
    uint16_t s[3] = {0, 0, 0};
    for (std::size_t x = 0; x < info.width; ++x) {
        for (int c = 0; c < channels; ++c)
            if (const Token t = ascii_sample(in, info, s[c]); t != Token::ok) return t;
        if (channels == 1) {
            out.grey(x, s[0]);
        } else {
            out.red[x] = s[0];
            out.green[x] = s[1];
            out.blue[x] = s[2];
        }
    }
    return Token::ok;
}

// Every value takes at least one byte, so a raster that claims more values than there are
// bytes left is refused before anything is allocated.
ReadResult check_ascii_size(const Cursor& in, const PnmInfo& info) {
    if (info.pixels() * uint64_t(info.channels()) > in.remaining())
        return corrupt("PNM raster has too few values");
    return read_ok();
}

ReadResult decode_ascii(Cursor& in, const PnmInfo& info, DecodedPlanes& planes) {
    for (int32_t y = int32_t(info.height) - 1; y >= 0; --y)
        if (const Token t = ascii_row(in, info, plane_row(planes, y)); t != Token::ok)
            return token_error(t);
    return read_ok();
}

// ---- writing ----

struct PixmapFormat {
    bool ascii;
    bool wide;
};

PixmapFormat pixmap_format(int variant) { return {variant / 16 == 1, variant % 16 != 0}; }

char* put_number(char* p, uint16_t v) {
    p = std::to_chars(p, p + 5, v).ptr;
    *p++ = ' ';
    return p;
}

// One picture row as the file holds it; returns the number of bytes used in `buf`.
std::size_t format_row(const ImageRecord& rec, int32_t y, PixmapFormat f, char* buf) {
    const std::size_t w = std::size_t(rec.width);
    const std::size_t base = std::size_t(y) * w;
    const uint16_t* planes[3] = {rec.red.data() + base, rec.green.data() + base,
                                 rec.blue.data() + base};
    char* p = buf;
    for (std::size_t x = 0; x < w; ++x) {
        for (const uint16_t* plane : planes) {
            const uint16_t v = plane[x];
            if (f.ascii) {
                p = put_number(p, f.wide ? v : uint16_t(v >> 8));
            } else if (f.wide) {
                *p++ = char(v >> 8);
                *p++ = char(v & 0xFF);
            } else {
                *p++ = char(v >> 8);
            }
        }
    }
    return std::size_t(p - buf);
}

std::size_t row_buffer_size(const ImageRecord& rec, PixmapFormat f) {
    const std::size_t per_sample = f.ascii ? 6 : f.wide ? 2 : 1;  // "65535 " is the longest
    return std::size_t(rec.width) * 3 * per_sample;
}

}  // namespace

ReadResult decode_pixmap(const uint8_t* data, std::size_t size, ImageRecord& out) {
    if (size < 2 || data[0] != 'P' || data[1] < '1' || data[1] > '6')
        return read_failed(ReadStatus::not_this_format, "not a PPM or PGM file");
    PnmInfo info;
    info.type = data[1] - '0';
    Cursor in(data, size, 2);
    if (ReadResult r = read_header(in, info); !r.ok()) return r;
    const ReadResult fits =
        info.ascii() ? check_ascii_size(in, info) : start_binary_raster(in, info);
    if (!fits.ok()) return fits;
    DecodedPlanes planes;
    if (!planes.allocate(int32_t(info.width), int32_t(info.height)))
        return read_failed(ReadStatus::unsupported, "not enough memory for PNM");
    if (info.ascii()) {
        if (ReadResult r = decode_ascii(in, info, planes); !r.ok()) return r;
    } else {
        decode_binary(in, info, planes);
    }
    planes.move_into(out);
    return read_ok();
}

ReadResult read_pixmap(const std::string& path, ImageRecord& out) {
    std::vector<uint8_t> bytes;
    if (ReadResult r = read_file_bytes(path, bytes); !r.ok()) return r;
    ReadResult r = decode_pixmap(bytes.data(), bytes.size(), out);
    if (r.ok()) out.name = path;
    return r;
}

bool encode_pixmap(std::FILE* out, const ImageRecord& record, int variant) {
    if (!has_full_planes(record)) return false;
    const PixmapFormat f = pixmap_format(variant);
    if (std::fprintf(out, "%s\n%d %d\n%s\n", f.ascii ? "P3" : "P6", record.width, record.height,
                     f.wide ? "65535" : "255") < 0)
        return false;
    std::vector<char> buf(row_buffer_size(record, f));
    for (int32_t y = record.height - 1; y >= 0; --y) {
        const std::size_t n = format_row(record, y, f, buf.data());
        if (std::fwrite(buf.data(), 1, n, out) != n) return false;
    }
    return true;
}

WriteResult write_pixmap(const std::string& path, const ImageRecord& record, int variant) {
    if (!record.occupied()) return write_failed("empty image");
    if (!has_full_planes(record)) return write_failed("image planes incomplete");
    AtomicFile file(path);
    if (!file.is_open()) return write_failed("cannot create " + path);
    if (!encode_pixmap(file.stream(), record, variant)) return write_failed("write error");
    return file.commit();
}

}  // namespace vora
