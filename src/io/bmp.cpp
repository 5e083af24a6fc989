// Windows bitmaps: reading 1, 4, 8 (plain or run-length coded), 16, 24 and 32 bits per
// pixel, writing 24 bits per pixel.
#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "io/bmp_pnm.h"
#include "io/byte_reader.h"
#include "io/file_bytes.h"

namespace vora {
namespace {

using io_detail::DecodedPlanes;
using io_detail::has_full_planes;
using io_detail::kMaxPixels;
using io_detail::le16;
using io_detail::le32;
using io_detail::le32_signed;

constexpr uint64_t kFileHeaderSize = 14;
constexpr uint64_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr uint64_t kMaskOffset = kFileHeaderSize + 40;  // BITFIELDS masks: red, green, blue
constexpr uint64_t kWrittenHeaderSize = 54;

// Real encoders spend at least a few bytes on every row, nowhere near this many pixels per
// byte of coded data; a larger claim is treated as hostile, which keeps a tiny file from
// asking for a huge picture.
constexpr uint64_t kMaxRlePixelsPerByte = 4096;

enum Compression { kPlain = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

struct BmpInfo {
    uint64_t data_offset = 0;
    uint64_t header_size = 0;
    int64_t width = 0;
    int64_t height = 0;  // as stored: negative for a top-down bitmap
    int bits = 0;
    int compression = 0;  // low byte of the compression field

    bool top_down() const { return height < 0; }
    int64_t rows() const { return height < 0 ? -height : height; }
    bool rle8() const { return compression == kRle8 && bits == 8; }
    bool rle4() const { return compression == kRle4 && bits == 4; }
    bool run_length() const { return rle8() || rle4(); }
    bool bitfields() const { return compression == kBitfields && (bits == 16 || bits == 32); }
};

ReadResult corrupt(const char* why) { return read_failed(ReadStatus::corrupt, why); }

ReadResult read_info(const uint8_t* data, std::size_t size, BmpInfo& info) {
    if (size < 18) return corrupt("BMP header truncated");
    info.data_offset = le32(data + 10);
    info.header_size = le32(data + 14);
    if (info.header_size == kCoreHeaderSize) {
        if (size < 26) return corrupt("BMP header truncated");
        info.width = le16(data + 18);
        info.height = le16(data + 20);
        info.bits = le16(data + 24);
        info.compression = kPlain;
        return read_ok();
    }
    if (size < 34) return corrupt("BMP header truncated");
    info.width = le32_signed(data + 18);
    info.height = le32_signed(data + 22);
    info.bits = le16(data + 28);
    info.compression = data[30];
    return read_ok();
}

ReadResult check_info(const BmpInfo& info, std::size_t size) {
    switch (info.bits) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default: return read_failed(ReadStatus::unsupported, "BMP bit count not supported");
    }
    if (info.compression > kBitfields)
        return read_failed(ReadStatus::unsupported, "BMP compression not supported");
    if (info.width < 1 || info.height == 0) return corrupt("BMP size invalid");
    if (info.width * info.rows() >= kMaxPixels) return corrupt("BMP size too large");
    if (info.data_offset >= size) return corrupt("BMP pixel data offset past end of file");
    if (info.run_length() && info.top_down()) return corrupt("top-down BMP cannot be RLE coded");
    return read_ok();
}

// ---- colours ----

struct Palette {
    std::array<uint16_t, 256> red{}, green{}, blue{};
};

// The table follows the info header. Entries that would run past the pixel data or the end
// of the file stay black, so any index a pixel can hold is safe to look up.
Palette read_palette(const uint8_t* data, std::size_t size, const BmpInfo& info) {
    Palette pal;
    const uint64_t entry_size = info.header_size == kCoreHeaderSize ? 3 : 4;
    const uint64_t start = kFileHeaderSize + info.header_size;
    const uint64_t end = std::min<uint64_t>(info.data_offset, size);
    const int entries = 1 << info.bits;
    for (int i = 0; i < entries; ++i) {
        const uint64_t pos = start + uint64_t(i) * entry_size;
        if (pos + entry_size > end) break;
        pal.blue[i] = uint16_t(data[pos] << 8);
        pal.green[i] = uint16_t(data[pos + 1] << 8);
        pal.red[i] = uint16_t(data[pos + 2] << 8);
    }
    return pal;
}

// Fills the lowest bits of an 8-bit value by repeating a shorter value's bit pattern, so 0
// stays 0 and all ones becomes 255 (a 5-bit v gives v << 3 | v >> 2).
uint32_t replicate_bits(uint32_t v, int width) {
    uint32_t out = 0;
    for (int shift = 8 - width; shift > -width; shift -= width)
        out |= shift >= 0 ? v << shift : v >> -shift;
    return out;
}

// One colour channel of a 16- or 32-bit pixel, described by its bit mask. Fields 8 bits wide
// are taken as they are. Narrower fields of 16-bit pixels repeat their bits (as ImageMagick
// does); any other field becomes v × 255 / max, truncated.
class Channel {
public:
    Channel() = default;
    Channel(uint32_t mask, bool replicate_narrow)
        : mask_(mask),
          shift_(mask ? std::countr_zero(mask) : 0),
          max_(mask >> shift_),
          width_(std::bit_width(max_)),
          replicate_(replicate_narrow && width_ < 8) {}

    uint16_t sample(uint32_t pixel) const {
        const uint32_t v = (pixel & mask_) >> shift_;
        if (width_ == 8) return uint16_t(v << 8);
        if (max_ == 0) return 0;
        if (replicate_) return uint16_t(replicate_bits(v, width_) << 8);
        return uint16_t((uint64_t(v) * 255 / max_) << 8);
    }

private:
    uint32_t mask_ = 0;
    int shift_ = 0;
    uint32_t max_ = 0;
    int width_ = 0;
    bool replicate_ = false;
};

struct Masks {
    Channel red, green, blue;
};

// 16-bit pixels without masks are 5-5-5 (bit 15 unused); 32-bit pixels without masks are
// read byte by byte and need none.
ReadResult read_masks(const uint8_t* data, std::size_t size, const BmpInfo& info, Masks& m) {
    const bool narrow = info.bits == 16;
    if (!info.bitfields()) {
        m = {Channel(0x7C00, narrow), Channel(0x03E0, narrow), Channel(0x001F, narrow)};
        return read_ok();
    }
    if (size < kMaskOffset + 12) return corrupt("BMP colour masks truncated");
    m = {Channel(le32(data + kMaskOffset), narrow), Channel(le32(data + kMaskOffset + 4), narrow),
         Channel(le32(data + kMaskOffset + 8), narrow)};
    return read_ok();
}

// ---- uncompressed rows ----

struct RowOut {
    uint16_t* red;
    uint16_t* green;
    uint16_t* blue;
};

inline void put_index(const Palette& pal, RowOut out, int64_t x, uint8_t index) {
    out.red[x] = pal.red[index];
    out.green[x] = pal.green[index];
    out.blue[x] = pal.blue[index];
}

void row_1bit(const uint8_t* src, int64_t width, const Palette& pal, RowOut out) {
    for (int64_t x = 0; x < width; ++x)
        put_index(pal, out, x, (src[x >> 3] >> (7 - (x & 7))) & 1);
}

void row_4bit(const uint8_t* src, int64_t width, const Palette& pal, RowOut out) {
    for (int64_t x = 0; x < width; ++x)
        put_index(pal, out, x, (x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4);
}

void row_8bit(const uint8_t* src, int64_t width, const Palette& pal, RowOut out) {
    for (int64_t x = 0; x < width; ++x) put_index(pal, out, x, src[x]);
}

// 24 bits (step 3) and unmasked 32 bits (step 4): blue, green, red bytes.
template <int Step>
void row_bgr(const uint8_t* src, int64_t width, RowOut out) {
    for (int64_t x = 0; x < width; ++x, src += Step) {
        out.blue[x] = uint16_t(src[0] << 8);
        out.green[x] = uint16_t(src[1] << 8);
        out.red[x] = uint16_t(src[2] << 8);
    }
}

template <int Bytes>
void row_masked(const uint8_t* src, int64_t width, const Masks& m, RowOut out) {
    for (int64_t x = 0; x < width; ++x, src += Bytes) {
        const uint32_t pixel = Bytes == 2 ? le16(src) : le32(src);
        out.red[x] = m.red.sample(pixel);
        out.green[x] = m.green.sample(pixel);
        out.blue[x] = m.blue.sample(pixel);
    }
}

struct RowDecoder {
    const BmpInfo& info;
    const Palette& pal;
    const Masks& masks;

    void operator()(const uint8_t* src, RowOut out) const {
        const int64_t w = info.width;
        switch (info.bits) {
            case 1: row_1bit(src, w, pal, out); break;
            case 4: row_4bit(src, w, pal, out); break;
            case 8: row_8bit(src, w, pal, out); break;
            case 16: row_masked<2>(src, w, masks, out); break;
            case 24: row_bgr<3>(src, w, out); break;
            default:
                if (info.bitfields()) row_masked<4>(src, w, masks, out);
                else row_bgr<4>(src, w, out);
        }
    }
};

// Bytes per file row: the pixels' bytes rounded up to a multiple of four.
uint64_t row_stride(const BmpInfo& info) {
    const uint64_t bytes = (uint64_t(info.width) * uint64_t(info.bits) + 7) / 8;
    return (bytes + 3) / 4 * 4;
}

// File rows go to plane rows from the bottom up, or from the top down when the stored
// height is negative. The caller has checked that all rows are in the buffer.
void decode_plain(const uint8_t* data, const BmpInfo& info, const Palette& pal,
                  const Masks& masks, DecodedPlanes& planes) {
    const uint64_t stride = row_stride(info);
    const int64_t rows = info.rows();
    const RowDecoder decode_row{info, pal, masks};
    const uint8_t* src = data + info.data_offset;
    for (int64_t k = 0; k < rows; ++k, src += stride) {
        const int32_t y = int32_t(info.top_down() ? rows - 1 - k : k);
        decode_row(src, {planes.row(planes.red, y), planes.row(planes.green, y),
                         planes.row(planes.blue, y)});
    }
}

// ---- run-length coded pixels ----

// Where coded pixels go. Pixel (x, y) lands at y × width + x in the planes, so a line that
// runs past the right edge continues on the next row, as a picture coded without any
// end-of-line codes expects. An end-of-line code starts the row after the one the line began
// in: after a row coded out exactly this is where the pixels already are, a short row leaves
// the rest of its pixels black, and an over-long row (some encoders code the row padding as
// pixels) is cut back, even near the end of the picture. Pixels that land past the end of
// the planes are dropped; decoding is over once the rows are used up.
class PixelRun {
public:
    PixelRun(DecodedPlanes& planes, const Palette& pal)
        : out_{planes.red.data(), planes.green.data(), planes.blue.data()},
          pal_(pal),
          width_(uint64_t(planes.width)),
          rows_(uint64_t(planes.height)),
          total_(planes.red.size()) {}

    bool done() const { return y_ >= rows_; }
    void put(uint8_t index) {
        const uint64_t at = y_ * width_ + x_;
        if (at < total_) put_index(pal_, out_, int64_t(at), index);
        ++x_;
    }
    void end_of_line() {
        x_ = 0;
        ++y_;
    }
    // Skipped pixels keep their zero (black).
    void move(uint64_t dx, uint64_t dy) {
        x_ += dx;
        y_ += dy;
    }

private:
    RowOut out_;
    const Palette& pal_;
    uint64_t width_;
    uint64_t rows_;
    uint64_t total_;
    uint64_t x_ = 0;
    uint64_t y_ = 0;
};

class RleInput {
public:
    RleInput(const uint8_t* data, std::size_t size, std::size_t pos)
        : data_(data), size_(size), pos_(pos) {}

    bool has(std::size_t n) const { return size_ - pos_ >= n; }
    uint8_t next() { return data_[pos_++]; }
    void skip(std::size_t n) { pos_ = std::min(size_, pos_ + n); }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_;
};

// Emits `count` pixels of a literal run; false when the input ran out.
bool absolute_run_8(RleInput& in, PixelRun& px, int count) {
    for (int i = 0; i < count; ++i) {
        if (!in.has(1)) return false;
        px.put(in.next());
    }
    if (count & 1) in.skip(1);
    return true;
}

bool absolute_run_4(RleInput& in, PixelRun& px, int count) {
    const int bytes = (count + 1) / 2;
    for (int i = 0; i < bytes; ++i) {
        if (!in.has(1)) return false;
        const uint8_t b = in.next();
        px.put(b >> 4);
        if (2 * i + 1 < count) px.put(b & 0x0F);
    }
    if (bytes & 1) in.skip(1);
    return true;
}

void encoded_run(PixelRun& px, int count, uint8_t value, bool nibbles) {
    for (int i = 0; i < count; ++i)
        px.put(!nibbles ? value : (i & 1) ? value & 0x0F : value >> 4);
}

// Every step consumes at least two bytes and emits at most 255 pixels, so decoding ends with
// the input at the latest. Data that stops early leaves the remaining pixels black.
void decode_rle(const uint8_t* data, std::size_t size, const BmpInfo& info, PixelRun& px) {
    const bool nibbles = info.rle4();
    RleInput in(data, size, info.data_offset);
    while (!px.done() && in.has(2)) {
        const int count = in.next();
        const uint8_t code = in.next();
        if (count > 0) {
            encoded_run(px, count, code, nibbles);
        } else if (code == 0) {
            px.end_of_line();
        } else if (code == 1) {
            return;
        } else if (code == 2) {
            if (!in.has(2)) return;
            const uint64_t dx = in.next();
            px.move(dx, in.next());
        } else {
            const bool more = nibbles ? absolute_run_4(in, px, code) : absolute_run_8(in, px, code);
            if (!more) return;
        }
    }
}

// Checked before anything is allocated: uncompressed data must hold every row; coded data
// must be long enough to be plausible for the picture's size.
ReadResult check_data_size(std::size_t size, const BmpInfo& info) {
    const uint64_t available = size - info.data_offset;
    if (info.run_length()) {
        const uint64_t pixels = uint64_t(info.width) * uint64_t(info.rows());
        if (pixels > kMaxRlePixelsPerByte * available)
            return corrupt("BMP run-length data too short for its size");
    } else if (row_stride(info) * uint64_t(info.rows()) > available) {
        return corrupt("BMP pixel data truncated");
    }
    return read_ok();
}

// ---- writing ----

uint64_t written_stride(int32_t width) { return (3 * uint64_t(width) + 3) / 4 * 4; }

uint64_t written_file_size(const ImageRecord& r) {
    return written_stride(r.width) * uint64_t(r.height) + kWrittenHeaderSize;
}

void put_le16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put_le32(uint8_t* p, uint32_t v) {
    put_le16(p, v & 0xFFFF);
    put_le16(p + 2, v >> 16);
}

std::array<uint8_t, kWrittenHeaderSize> bitmap_header(const ImageRecord& r) {
    std::array<uint8_t, kWrittenHeaderSize> h{};
    const uint32_t image_bytes = uint32_t(written_stride(r.width) * uint64_t(r.height));
    h[0] = 'B';
    h[1] = 'M';
    put_le32(&h[2], image_bytes + uint32_t(kWrittenHeaderSize));
    put_le32(&h[10], uint32_t(kWrittenHeaderSize));
    put_le32(&h[14], 40);
    put_le32(&h[18], uint32_t(r.width));
    put_le32(&h[22], uint32_t(r.height));
    put_le16(&h[26], 1);
    put_le16(&h[28], 24);
    put_le32(&h[34], image_bytes);
    put_le32(&h[38], 128);
    put_le32(&h[42], 128);
    return h;
}

}  // namespace

ReadResult decode_bitmap(const uint8_t* data, std::size_t size, ImageRecord& out) {
    if (size < 2 || data[0] != 'B' || data[1] != 'M')
        return read_failed(ReadStatus::not_this_format, "not a BMP file");
    BmpInfo info;
    if (ReadResult r = read_info(data, size, info); !r.ok()) return r;
    if (ReadResult r = check_info(info, size); !r.ok()) return r;
    if (ReadResult r = check_data_size(size, info); !r.ok()) return r;
    Masks masks;
    if (info.bits >= 16) {
        if (ReadResult r = read_masks(data, size, info, masks); !r.ok()) return r;
    }
    const Palette pal = info.bits <= 8 ? read_palette(data, size, info) : Palette();
    DecodedPlanes planes;
    if (!planes.allocate(int32_t(info.width), int32_t(info.rows())))
        return read_failed(ReadStatus::unsupported, "not enough memory for BMP");
    if (info.run_length()) {
        PixelRun px(planes, pal);
        decode_rle(data, size, info, px);
    } else {
        decode_plain(data, info, pal, masks, planes);
    }
    planes.move_into(out);
    return read_ok();
}

ReadResult read_bitmap(const std::string& path, ImageRecord& out) {
    std::vector<uint8_t> bytes;
    if (ReadResult r = read_file_bytes(path, bytes); !r.ok()) return r;
    ReadResult r = decode_bitmap(bytes.data(), bytes.size(), out);
    if (r.ok()) out.name = path;
    return r;
}

bool encode_bitmap(std::FILE* out, const ImageRecord& record) {
    if (!has_full_planes(record) || written_file_size(record) > UINT32_MAX) return false;
    const auto header = bitmap_header(record);
    if (std::fwrite(header.data(), 1, header.size(), out) != header.size()) return false;
    const std::size_t w = std::size_t(record.width);
    std::vector<uint8_t> row(written_stride(record.width), 0);  // padding stays zero
    for (int32_t y = 0; y < record.height; ++y) {
        const std::size_t base = std::size_t(y) * w;
        const uint16_t* r = record.red.data() + base;
        const uint16_t* g = record.green.data() + base;
        const uint16_t* b = record.blue.data() + base;
        uint8_t* dst = row.data();
        for (std::size_t x = 0; x < w; ++x, dst += 3) {
            dst[0] = uint8_t(b[x] >> 8);
            dst[1] = uint8_t(g[x] >> 8);
            dst[2] = uint8_t(r[x] >> 8);
        }
        if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) return false;
    }
    return true;
}

WriteResult write_bitmap(const std::string& path, const ImageRecord& record) {
    if (!record.occupied()) return write_failed("empty image");
    if (!has_full_planes(record)) return write_failed("image planes incomplete");
    if (written_file_size(record) > UINT32_MAX) return write_failed("image too large for BMP");
    AtomicFile file(path);
    if (!file.is_open()) return write_failed("cannot create " + path);
    if (!encode_bitmap(file.stream(), record)) return write_failed("write error");
    return file.commit();
}

}  // namespace vora
