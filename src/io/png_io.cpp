// PNG reading and writing through libpng.
//
// libpng reports errors by longjmp. Every function here that calls into libpng sets its own
// jump point with setjmp, holds no object with a destructor and returns false when libpng
// gave up; whatever must survive a failed call lives in the caller's frame. No C++ frame is
// ever jumped over, and nothing libpng says reaches the standard streams.
#include "io/png_io.h"

#include <png.h>
#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "io/byte_reader.h"
#include "io/file_bytes.h"

namespace vora {
namespace {

using io_detail::be16;
using io_detail::has_full_planes;
using io_detail::kMaxPixels;
using io_detail::prefer_huge_pages;

// Largest width and height a file may claim; pictures must also stay below kMaxPixels.
constexpr uint32_t kMaxSide = 1'000'000;
// Largest ancillary chunk (text, ICC profile, Exif) libpng may allocate.
constexpr png_alloc_size_t kMaxChunkBytes = 8'000'000;
// Deflate cannot expand data by more than this (258 bytes from two bits); a file whose
// image data would need more is lying about its size.
constexpr uint64_t kMaxInflateRatio = 1032;
// The screen gamma the colours are corrected for, in libpng's fixed point (× 100000).
constexpr png_fixed_point kScreenGamma = 220000;
// libpng skips corrections whose factor lies within 5 % of 1.
constexpr double kGammaThreshold = 5000;

ReadResult corrupt(const std::string& why) {
    return read_failed(ReadStatus::corrupt, why);
}

// ---- libpng glue ----

struct PngErrors {
    char message[160] = "";
};

[[noreturn]] void on_png_error(png_structp png, png_const_charp message) {
    auto* errors = static_cast<PngErrors*>(png_get_error_ptr(png));
    if (errors != nullptr) std::snprintf(errors->message, sizeof errors->message, "%s", message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

struct MemoryInput {
    const uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

void read_from_memory(png_structp png, png_bytep dst, png_size_t count) {
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (count > in->size - in->pos) png_error(png, "file truncated");
    std::memcpy(dst, in->data + in->pos, count);
    in->pos += count;
}

class PngReadStruct {
public:
    PngReadStruct(PngErrors& errors, MemoryInput& input) {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, on_png_error, on_png_warning);
        if (png_ == nullptr) return;
        info_ = png_create_info_struct(png_);
        png_set_read_fn(png_, &input, read_from_memory);
        png_set_user_limits(png_, kMaxSide, kMaxSide);
        png_set_chunk_malloc_max(png_, kMaxChunkBytes);
    }
    ~PngReadStruct() { png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr); }
    PngReadStruct(const PngReadStruct&) = delete;
    PngReadStruct& operator=(const PngReadStruct&) = delete;

    bool ok() const { return png_ != nullptr && info_ != nullptr; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

class PngWriteStruct {
public:
    explicit PngWriteStruct(PngErrors& errors) {
        png_ =
            png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, on_png_error, on_png_warning);
        if (png_ != nullptr) info_ = png_create_info_struct(png_);
    }
    ~PngWriteStruct() { png_destroy_write_struct(&png_, info_ ? &info_ : nullptr); }
    PngWriteStruct(const PngWriteStruct&) = delete;
    PngWriteStruct& operator=(const PngWriteStruct&) = delete;

    bool ok() const { return png_ != nullptr && info_ != nullptr; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// ---- the header ----

struct PngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    int depth = 0;  // bits per sample in the file
    int colour_type = 0;
    bool interlaced = false;
    png_fixed_point gamma = 0;  // file gamma × 100000; 0 without gAMA
    int palette_size = 0;
    std::array<png_color, 256> palette{};
    std::size_t row_bytes = 0;  // one decoded row, low bit depths unpacked to a byte a sample
    int channels = 0;           // samples per pixel as decoded

    bool palette_image() const { return colour_type == PNG_COLOR_TYPE_PALETTE; }
    int file_channels() const {
        switch (colour_type) {
            case PNG_COLOR_TYPE_RGB:
                return 3;
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                return 2;
            case PNG_COLOR_TYPE_RGB_ALPHA:
                return 4;
            default:
                return 1;
        }
    }
};

// Reads the chunks up to the image data and asks libpng for one byte per sample at low bit
// depths and for the interlace passes to be combined. No other transformation is used: the
// samples arrive as the file holds them.
bool read_header(png_structp png, png_infop info, PngHeader& h) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour_type = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour_type, &interlace, nullptr, nullptr);
    h.width = width;
    h.height = height;
    h.depth = depth;
    h.colour_type = colour_type;
    h.interlaced = interlace != PNG_INTERLACE_NONE;
    png_fixed_point gamma = 0;
    if (png_get_gAMA_fixed(png, info, &gamma) != 0) h.gamma = gamma;
    png_colorp palette = nullptr;
    int entries = 0;
    if (h.palette_image() && png_get_PLTE(png, info, &palette, &entries) != 0) {
        h.palette_size = std::clamp(entries, 0, 256);
        std::copy_n(palette, h.palette_size, h.palette.begin());
    }
    if (depth < 8) png_set_packing(png);
    if (h.interlaced) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    h.row_bytes = png_get_rowbytes(png, info);
    h.channels = png_get_channels(png, info);
    return true;
}

// Refuses pictures too large to hold and pictures whose claimed size the file's compressed
// data could not possibly fill, before anything is allocated for them.
ReadResult check_header(const PngHeader& h, std::size_t file_size) {
    if (h.width < 1 || h.height < 1) return corrupt("PNG size invalid");
    if (uint64_t(h.width) * h.height >= uint64_t(kMaxPixels)) return corrupt("PNG too large");
    const uint64_t packed_row =
        (uint64_t(h.width) * uint64_t(h.file_channels()) * uint64_t(h.depth) + 7) / 8 + 1;
    if (packed_row * h.height > kMaxInflateRatio * uint64_t(file_size))
        return corrupt("PNG image data too short for its size");
    const int expected = h.file_channels();
    if (h.channels != expected || h.row_bytes < uint64_t(h.width) * expected * (h.depth / 8))
        return corrupt("PNG layout not understood");
    return read_ok();
}

// ---- sample values ----

// round(colour × alpha / max) without division: exact for every 8- and 16-bit pair.
inline uint32_t over_black_8(uint32_t c, uint32_t a) {
    const uint32_t t = c * a + 128;
    return (t + t / 256) / 256;
}

inline uint32_t over_black_16(uint32_t c, uint32_t a) {
    const uint64_t t = uint64_t(c) * a + 32768;
    return uint32_t((t + t / 65536) / 65536);
}

// The gamma exponent libpng's png_set_gamma(png, 2.2, file_gamma) uses, in libpng's fixed
// point, or 0 when libpng would leave the samples alone: no gAMA, or a correction within 5 %
// of none (a file gamma near 1/2.2).
double gamma_exponent(png_fixed_point file_gamma) {
    if (file_gamma <= 0) return 0;
    const double product = std::floor(double(file_gamma) * 1e-5 * kScreenGamma + 0.5);
    if (std::fabs(product - 100000) <= kGammaThreshold) return 0;
    const double exponent = std::floor(1e15 / double(file_gamma) / kScreenGamma + 0.5);
    if (std::fabs(exponent - 100000) <= kGammaThreshold) return 0;
    return exponent * 1e-5;
}

// max × (v / max)^exponent, rounded; the ends stay where they are.
uint16_t gamma_correct(uint32_t v, uint32_t max, double exponent) {
    if (exponent == 0 || v == 0 || v >= max) return uint16_t(v);
    return uint16_t(std::floor(max * std::pow(double(v) / max, exponent) + 0.5));
}

// Lookup tables from file samples to corrected samples. Samples of up to 8 bits end as 8-bit
// values (low bit depths scaled to 0..255 first: a 1-bit 1 is 255), 16-bit samples as 16-bit
// values; the palette holds the record's samples for each index.
struct SampleTables {
    std::array<uint16_t, 256> narrow{};
    std::vector<uint16_t> wide;
    std::array<std::array<uint16_t, 3>, 256> palette{};  // unlisted indices stay black
};

bool build_tables(const PngHeader& h, SampleTables& t) {
    const double exponent = gamma_exponent(h.gamma);
    auto corrected = [exponent](uint32_t v) { return gamma_correct(v, 255, exponent); };
    const uint32_t low_max = h.depth < 8 ? (1u << h.depth) - 1 : 255;
    for (uint32_t v = 0; v < 256; ++v)
        t.narrow[v] = corrected(std::min(v, low_max) * 255 / low_max);
    for (int i = 0; i < h.palette_size; ++i) {  // palette entries are 8-bit at every depth
        const png_color& c = h.palette[std::size_t(i)];
        t.palette[std::size_t(i)] = {uint16_t(corrected(c.red) << 8),
                                     uint16_t(corrected(c.green) << 8),
                                     uint16_t(corrected(c.blue) << 8)};
    }
    if (h.depth != 16) return true;
    try {
        t.wide.resize(65536);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (uint32_t v = 0; v < 65536; ++v) t.wide[v] = gamma_correct(v, 65535, exponent);
    return true;
}

// ---- rows into planes ----

struct RowOut {
    uint16_t* red;
    uint16_t* green;
    uint16_t* blue;
};

// Decoded rows arrive top row first and are appended to the planes; the planes' storage is
// reserved up front but only filled as rows arrive, so a file that claims a huge picture and
// then runs out of data costs no more memory than the rows it really held. Once all rows are
// in, the row order is reversed to the record's bottom-up order.
class TopDownPlanes {
public:
    bool reserve(uint32_t width, uint32_t height) {
        width_ = width;
        height_ = height;
        const std::size_t n = std::size_t(width) * height;
        try {
            for (Plane* p : {&red_, &green_, &blue_}) {
                p->reserve(n);
                prefer_huge_pages(p->data(), n * sizeof(uint16_t));
            }
        } catch (const std::bad_alloc&) {
            red_ = green_ = blue_ = Plane();
            return false;
        }
        return true;
    }

    // Within the reserved storage, so this never allocates.
    RowOut append_row() {
        const std::size_t start = red_.size();
        const std::size_t end = start + width_;
        red_.resize(end);
        green_.resize(end);
        blue_.resize(end);
        return {red_.data() + start, green_.data() + start, blue_.data() + start};
    }

    void move_bottom_up_into(ImageRecord& out) {
        for (Plane* p : {&red_, &green_, &blue_}) reverse_rows(*p);
        out.width = int32_t(width_);
        out.height = int32_t(height_);
        out.red = std::move(red_);
        out.green = std::move(green_);
        out.blue = std::move(blue_);
    }

private:
    void reverse_rows(Plane& p) const {
        for (std::size_t top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
            uint16_t* a = p.data() + top * width_;
            std::swap_ranges(a, a + width_, p.data() + bottom * width_);
        }
    }

    std::size_t width_ = 0;
    std::size_t height_ = 0;
    Plane red_, green_, blue_;
};

template <int Bytes>
struct Depth;

template <>
struct Depth<1> {
    static uint32_t load(const uint8_t* p) { return p[0]; }
    static uint32_t over_black(uint32_t c, uint32_t a) { return over_black_8(c, a); }
    static uint16_t store(uint32_t v) { return uint16_t(v << 8); }
};

template <>
struct Depth<2> {
    static uint32_t load(const uint8_t* p) { return be16(p); }
    static uint32_t over_black(uint32_t c, uint32_t a) { return over_black_16(c, a); }
    static uint16_t store(uint32_t v) { return uint16_t(v); }
};

// One row of grey (1 channel), grey + alpha (2), RGB (3) or RGBA (4) samples of 1 or 2 bytes.
// Colour samples go through `map`; alpha is used as it is.
template <int Bytes, int Channels>
void convert_row(const uint8_t* src, std::size_t width, const uint16_t* map, RowOut out) {
    using D = Depth<Bytes>;
    constexpr int kColours = Channels >= 3 ? 3 : 1;
    constexpr bool kAlpha = Channels == 2 || Channels == 4;
    for (std::size_t x = 0; x < width; ++x, src += Channels * Bytes) {
        uint32_t c[kColours];
        for (int k = 0; k < kColours; ++k) c[k] = map[D::load(src + k * Bytes)];
        if constexpr (kAlpha) {
            const uint32_t a = D::load(src + kColours * Bytes);
            for (int k = 0; k < kColours; ++k) c[k] = D::over_black(c[k], a);
        }
        out.red[x] = D::store(c[0]);
        out.green[x] = D::store(c[kColours == 3 ? 1 : 0]);
        out.blue[x] = D::store(c[kColours - 1]);
    }
}

void convert_palette_row(const uint8_t* src, std::size_t width, const SampleTables& t, RowOut out) {
    for (std::size_t x = 0; x < width; ++x) {
        const std::array<uint16_t, 3>& c = t.palette[src[x]];
        out.red[x] = c[0];
        out.green[x] = c[1];
        out.blue[x] = c[2];
    }
}

template <int Bytes>
void convert_any_row(const uint8_t* src, std::size_t width, int channels, const uint16_t* map,
                     RowOut out) {
    switch (channels) {
        case 1:
            convert_row<Bytes, 1>(src, width, map, out);
            break;
        case 2:
            convert_row<Bytes, 2>(src, width, map, out);
            break;
        case 3:
            convert_row<Bytes, 3>(src, width, map, out);
            break;
        default:
            convert_row<Bytes, 4>(src, width, map, out);
            break;
    }
}

// Everything a decode needs beyond libpng's own state; it lives outside the functions that
// libpng may jump out of.
struct PngPicture {
    PngHeader header;
    SampleTables tables;
    TopDownPlanes planes;
    std::vector<uint8_t> row;     // one row, for non-interlaced files
    std::vector<uint8_t> image;   // every row, for interlaced files
    std::vector<png_bytep> rows;  // pointers into `image`

    void store_row(const uint8_t* src) {
        const RowOut out = planes.append_row();
        const std::size_t w = header.width;
        if (header.palette_image())
            convert_palette_row(src, w, tables, out);
        else if (header.depth == 16)
            convert_any_row<2>(src, w, header.channels, tables.wide.data(), out);
        else
            convert_any_row<1>(src, w, header.channels, tables.narrow.data(), out);
    }
};

bool allocate_buffers(PngPicture& pic) {
    const PngHeader& h = pic.header;
    if (!build_tables(h, pic.tables) || !pic.planes.reserve(h.width, h.height)) return false;
    try {
        if (!h.interlaced) {
            pic.row.resize(h.row_bytes);
            return true;
        }
        pic.image.resize(h.row_bytes * h.height);
        pic.rows.resize(h.height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (uint32_t y = 0; y < h.height; ++y) pic.rows[y] = pic.image.data() + y * h.row_bytes;
    return true;
}

bool read_rows(png_structp png, PngPicture& pic) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (uint32_t y = 0; y < pic.header.height; ++y) {
        png_read_row(png, pic.row.data(), nullptr);
        pic.store_row(pic.row.data());
    }
    return true;
}

bool read_interlaced_rows(png_structp png, PngPicture& pic) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, pic.rows.data());
    return true;
}

// The chunks after the image data, through IEND: a file cut short there is refused too.
bool read_trailer(png_structp png) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_end(png, nullptr);
    return true;
}

ReadResult libpng_failure(const PngErrors& errors) {
    return corrupt(std::string("PNG decoding failed: ") +
                   (errors.message[0] ? errors.message : "unknown error"));
}

// ---- writing ----

void high_bytes_row(const ImageRecord& r, int32_t y, uint8_t* dst) {
    const std::size_t w = std::size_t(r.width);
    const std::size_t base = std::size_t(y) * w;
    const uint16_t* red = r.red.data() + base;
    const uint16_t* green = r.green.data() + base;
    const uint16_t* blue = r.blue.data() + base;
    for (std::size_t x = 0; x < w; ++x, dst += 3) {
        dst[0] = uint8_t(red[x] >> 8);
        dst[1] = uint8_t(green[x] >> 8);
        dst[2] = uint8_t(blue[x] >> 8);
    }
}

bool write_image(png_structp png, png_infop info, std::FILE* file, const ImageRecord& r,
                 uint8_t* row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, png_uint_32(r.width), png_uint_32(r.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = r.height - 1; y >= 0; --y) {
        high_bytes_row(r, y, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

ReadResult decode_png(const uint8_t* data, std::size_t size, ImageRecord& out) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return read_failed(ReadStatus::not_this_format, "not a PNG file");
    PngErrors errors;
    MemoryInput input{data, size, 0};
    PngReadStruct reader(errors, input);
    if (!reader.ok()) return read_failed(ReadStatus::unsupported, "not enough memory for PNG");
    PngPicture pic;
    if (!read_header(reader.png(), reader.info(), pic.header)) return libpng_failure(errors);
    if (ReadResult r = check_header(pic.header, size); !r.ok()) return r;
    if (!allocate_buffers(pic))
        return read_failed(ReadStatus::unsupported, "not enough memory for PNG");
    if (pic.header.interlaced) {
        if (!read_interlaced_rows(reader.png(), pic)) return libpng_failure(errors);
        for (png_bytep row : pic.rows) pic.store_row(row);
    } else if (!read_rows(reader.png(), pic)) {
        return libpng_failure(errors);
    }
    if (!read_trailer(reader.png())) return libpng_failure(errors);
    pic.planes.move_bottom_up_into(out);
    return read_ok();
}

ReadResult read_png(const std::string& path, ImageRecord& out) {
    std::vector<uint8_t> bytes;
    if (ReadResult r = read_file_bytes(path, bytes); !r.ok()) return r;
    ReadResult r = decode_png(bytes.data(), bytes.size(), out);
    if (r.ok()) out.name = path;
    return r;
}

bool encode_png(std::FILE* out, const ImageRecord& record, std::string& why) {
    if (!has_full_planes(record)) {
        why = "image planes incomplete";
        return false;
    }
    std::vector<uint8_t> row;
    try {
        row.resize(std::size_t(record.width) * 3);
    } catch (const std::bad_alloc&) {
        why = "not enough memory";
        return false;
    }
    PngErrors errors;
    PngWriteStruct writer(errors);
    if (!writer.ok()) {
        why = "not enough memory";
        return false;
    }
    if (!write_image(writer.png(), writer.info(), out, record, row.data())) {
        why = errors.message[0] ? errors.message : "PNG encoding failed";
        return false;
    }
    return true;
}

WriteResult write_png(const std::string& path, const ImageRecord& record) {
    if (!record.occupied()) return write_failed("empty image");
    if (!has_full_planes(record)) return write_failed("image planes incomplete");
    AtomicFile file(path);
    if (!file.is_open()) return write_failed("cannot create " + path);
    std::string why;
    if (!encode_png(file.stream(), record, why)) return write_failed(why);
    return file.commit();
}

}  // namespace vora
