// TIFF reading and writing.
//
// Our own reader takes the simple files it was made for and every other TIFF goes to libtiff,
// opened on the bytes in memory with its messages caught rather than printed. The writer
// makes a baseline 48-bit RGB file in one strip.
#include "io/tiff_io.h"

#include <sys/mman.h>
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "io/byte_reader.h"
#include "io/file_bytes.h"

namespace vora {
namespace {

using io_detail::DecodedPlanes;
using io_detail::has_full_planes;
using io_detail::kMaxPixels;
using io_detail::prefer_huge_pages;

ReadResult corrupt(const std::string& why) {
    return read_failed(ReadStatus::corrupt, why);
}
ReadResult unsupported(const std::string& why) {
    return read_failed(ReadStatus::unsupported, why);
}
ReadResult out_of_memory() {
    return unsupported("not enough memory for TIFF");
}


// Files are read whole, up to this size (the same limit as read_file_bytes).
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 34;

// The whole file, read into storage that is not cleared first (the read fills all of it).
struct FileBuffer {
    std::unique_ptr<uint8_t[]> data;
    std::size_t size = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

ReadResult load_file(const std::string& path, FileBuffer& out) {
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) return read_failed(ReadStatus::cannot_open, std::strerror(errno));
    if (std::fseek(f.get(), 0, SEEK_END) != 0)
        return read_failed(ReadStatus::cannot_open, "not a regular file");
    const long size = std::ftell(f.get());
    if (size < 0) return read_failed(ReadStatus::cannot_open, "not a regular file");
    if (uint64_t(size) > kMaxFileBytes) return unsupported("file too large");
    std::rewind(f.get());
    out.size = std::size_t(size);
    out.data.reset(new (std::nothrow) uint8_t[std::max<std::size_t>(out.size, 1)]);
    if (!out.data) return out_of_memory();
    prefer_huge_pages(out.data.get(), out.size);
    if (std::fread(out.data.get(), 1, out.size, f.get()) != out.size)
        return read_failed(ReadStatus::cannot_open, "read error");
    return read_ok();
}

enum : uint16_t {
    kTagWidth = 256,
    kTagHeight = 257,
    kTagBits = 258,
    kTagCompression = 259,
    kTagPhotometric = 262,
    kTagStripOffsets = 273,
    kTagOrientation = 274,
    kTagSamples = 277,
    kTagRowsPerStrip = 278,
    kTagStripByteCounts = 279,
    kTagXResolution = 282,
    kTagYResolution = 283,
    kTagPlanar = 284,
    kTagResolutionUnit = 296,
    kTagTileWidth = 322,
    kTagTileLength = 323,
    kTagTileOffsets = 324,
    kTagTileByteCounts = 325,
    kTagExtraSamples = 338,
    kTagSampleFormat = 339,
};

enum : uint16_t { kTypeShort = 3, kTypeLong = 4, kTypeRational = 5 };

// ======== our own reader ========

// The file's bytes read in its byte order. Callers check has() before every read.
class TiffBytes {
public:
    TiffBytes(const uint8_t* data, std::size_t size)
        : data_(data), size_(size), big_(size >= 1 && data[0] == 'M') {}

    bool has(uint64_t offset, uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    uint16_t u16(uint64_t at) const {
        const uint8_t* p = data_ + at;
        return big_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
    }
    uint32_t u32(uint64_t at) const {
        return big_ ? uint32_t(u16(at)) << 16 | u16(at + 2) : uint32_t(u16(at + 2)) << 16 | u16(at);
    }
    const uint8_t* at(uint64_t offset) const { return data_ + offset; }
    bool big_endian() const { return big_; }

private:
    const uint8_t* data_;
    std::size_t size_;
    bool big_;
};

struct Entry {
    bool present = false;
    uint16_t type = 0;
    uint32_t count = 0;
    uint64_t field = 0;  // file offset of the entry's 4-byte value field
};

// The index-th SHORT or LONG of an entry: inside the value field when all of the entry's
// values fit in its four bytes, otherwise in the array the field points to.
bool entry_value(const TiffBytes& b, const Entry& e, uint32_t index, uint32_t& value) {
    const uint64_t unit = e.type == kTypeShort ? 2 : e.type == kTypeLong ? 4 : 0;
    if (!e.present || unit == 0 || index >= e.count) return false;
    const uint64_t base = unit * e.count <= 4 ? e.field : b.u32(e.field);
    const uint64_t pos = base + unit * index;
    if (!b.has(pos, unit)) return false;
    value = unit == 2 ? b.u16(pos) : b.u32(pos);
    return true;
}

// The first value of an entry, or `fallback` when the tag is absent.
bool first_value(const TiffBytes& b, const Entry& e, uint32_t fallback, uint32_t& value) {
    if (!e.present) {
        value = fallback;
        return true;
    }
    return entry_value(b, e, 0, value);
}

struct OwnIfd {
    Entry width, height, bits, compression, photometric, strip_offsets, orientation, samples,
        rows_per_strip, strip_byte_counts, planar, sample_format;
    bool tiled = false;
    bool extra_samples = false;
};

bool read_ifd(const TiffBytes& b, OwnIfd& ifd) {
    if (!b.has(0, 8) || b.u16(2) != 42) return false;
    const uint64_t start = b.u32(4);
    if (!b.has(start, 2)) return false;
    const uint32_t entries = b.u16(start);
    if (!b.has(start + 2, uint64_t(entries) * 12)) return false;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t pos = start + 2 + uint64_t(i) * 12;
        const Entry e{true, b.u16(pos + 2), b.u32(pos + 4), pos + 8};
        switch (b.u16(pos)) {
            case kTagWidth:
                ifd.width = e;
                break;
            case kTagHeight:
                ifd.height = e;
                break;
            case kTagBits:
                ifd.bits = e;
                break;
            case kTagCompression:
                ifd.compression = e;
                break;
            case kTagPhotometric:
                ifd.photometric = e;
                break;
            case kTagStripOffsets:
                ifd.strip_offsets = e;
                break;
            case kTagOrientation:
                ifd.orientation = e;
                break;
            case kTagSamples:
                ifd.samples = e;
                break;
            case kTagRowsPerStrip:
                ifd.rows_per_strip = e;
                break;
            case kTagStripByteCounts:
                ifd.strip_byte_counts = e;
                break;
            case kTagPlanar:
                ifd.planar = e;
                break;
            case kTagSampleFormat:
                ifd.sample_format = e;
                break;
            case kTagTileWidth:
            case kTagTileLength:
            case kTagTileOffsets:
            case kTagTileByteCounts:
                ifd.tiled = true;
                break;
            case kTagExtraSamples:
                ifd.extra_samples = true;
                break;
            default:
                break;
        }
    }
    return true;
}

struct PlainLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits_per_pixel = 0;  // 16 (5-5-5), 24 or 48
    uint64_t data_offset = 0;     // the top row; the others follow without gaps
    uint64_t row_bytes() const { return uint64_t(width) * bits_per_pixel / 8; }
};

// Width and height, SHORT or LONG. This program's earlier writer typed them SHORT but wrote
// all four bytes of the value (little-endian) and left out the strip byte counts; in such
// files the whole field is the value. Other writers leave a SHORT's two padding bytes zero,
// where both readings agree.
bool dimension(const TiffBytes& b, const Entry& e, bool old_layout, uint32_t& value) {
    if (!e.present || e.count != 1) return false;
    if (e.type == kTypeShort && old_layout && !b.big_endian()) {
        value = b.u32(e.field);
        return true;
    }
    return entry_value(b, e, 0, value);
}

// Every sample format value must be 1 (unsigned integer) when the tag is there.
bool unsigned_samples(const TiffBytes& b, const Entry& e) {
    if (!e.present) return true;
    for (uint32_t i = 0; i < std::min<uint32_t>(e.count, 4); ++i) {
        uint32_t v = 0;
        if (!entry_value(b, e, i, v) || v != 1) return false;
    }
    return true;
}

// Bits per sample when the first `samples` values agree (a single value stands for all).
bool common_bits(const TiffBytes& b, const Entry& e, uint32_t samples, uint32_t& bits) {
    if (!entry_value(b, e, 0, bits)) return false;
    for (uint32_t i = 1; i < std::min(e.count, samples); ++i) {
        uint32_t v = 0;
        if (!entry_value(b, e, i, v) || v != bits) return false;
    }
    return true;
}

bool plain_pixel_format(const TiffBytes& b, const OwnIfd& ifd, PlainLayout& layout) {
    uint32_t compression = 0, planar = 0, orientation = 0, samples = 0, photometric = 0;
    if (!first_value(b, ifd.compression, 1, compression) || compression != 1) return false;
    if (!ifd.photometric.present || !first_value(b, ifd.photometric, 0, photometric) ||
        photometric != 2)
        return false;
    if (!first_value(b, ifd.planar, 1, planar) || planar != 1) return false;
    if (!first_value(b, ifd.orientation, 1, orientation) || orientation != 1) return false;
    if (!first_value(b, ifd.samples, 1, samples) || samples < 1) return false;
    if (!unsigned_samples(b, ifd.sample_format)) return false;
    uint32_t bits = 0;
    if (!common_bits(b, ifd.bits, samples, bits)) return false;
    const uint64_t per_pixel = uint64_t(bits) * samples;
    const bool rgb = samples == 3 && (bits == 8 || bits == 16);
    if (!rgb && per_pixel != 16) return false;
    layout.bits_per_pixel = uint32_t(per_pixel);
    return true;
}

// The rows lie in one block when there is a single strip, or when each strip starts where
// the one before ended. This program's earlier writer left out the strip byte counts and
// wrote a meaningless strip count; without byte counts and rows per strip the block starts
// at the first strip offset and the rest of the entry is not looked at.
bool plain_strips(const TiffBytes& b, const OwnIfd& ifd, PlainLayout& layout) {
    uint32_t rows_per_strip = 0;
    if (!first_value(b, ifd.rows_per_strip, UINT32_MAX, rows_per_strip) || rows_per_strip == 0)
        return false;
    const uint64_t strip_rows = std::min(rows_per_strip, layout.height);
    const uint64_t strips = (layout.height + strip_rows - 1) / strip_rows;
    const uint64_t strip_bytes = strip_rows * layout.row_bytes();
    uint32_t first = 0;
    if (!entry_value(b, ifd.strip_offsets, 0, first)) return false;
    const bool counted = ifd.strip_byte_counts.present;
    if (counted && (ifd.strip_offsets.count != strips || ifd.strip_byte_counts.count != strips))
        return false;
    for (uint32_t i = 0; i < strips; ++i) {
        uint32_t offset = 0, count = 0;
        if (!entry_value(b, ifd.strip_offsets, i, offset)) return false;
        if (offset != first + i * strip_bytes) return false;
        const uint64_t rows = std::min<uint64_t>(strip_rows, layout.height - i * strip_rows);
        if (counted &&
            (!entry_value(b, ifd.strip_byte_counts, i, count) || count < rows * layout.row_bytes()))
            return false;
    }
    layout.data_offset = first;
    return b.has(first, layout.row_bytes() * layout.height);
}

bool plain_layout(const TiffBytes& b, PlainLayout& layout) {
    OwnIfd ifd;
    if (!read_ifd(b, ifd) || ifd.tiled || ifd.extra_samples) return false;
    if (!plain_pixel_format(b, ifd, layout)) return false;
    const bool old_layout = !ifd.strip_byte_counts.present;
    if (!dimension(b, ifd.width, old_layout, layout.width) ||
        !dimension(b, ifd.height, old_layout, layout.height))
        return false;
    if (layout.width < 1 || layout.height < 1) return false;
    if (uint64_t(layout.width) * layout.height >= uint64_t(kMaxPixels)) return false;
    return plain_strips(b, ifd, layout);
}

struct RowOut {
    uint16_t* red;
    uint16_t* green;
    uint16_t* blue;
};

template <bool Big>
inline uint16_t load16(const uint8_t* p) {
    return Big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

template <bool Big>
void plain_row_48(const uint8_t* src, std::size_t width, RowOut out) {
    for (std::size_t x = 0; x < width; ++x, src += 6) {
        out.red[x] = load16<Big>(src);
        out.green[x] = load16<Big>(src + 2);
        out.blue[x] = load16<Big>(src + 4);
    }
}

void plain_row_24(const uint8_t* src, std::size_t width, RowOut out) {
    for (std::size_t x = 0; x < width; ++x, src += 3) {
        out.red[x] = uint16_t(src[0] << 8);
        out.green[x] = uint16_t(src[1] << 8);
        out.blue[x] = uint16_t(src[2] << 8);
    }
}

// Red in bits 10 to 14, green in 5 to 9, blue in 0 to 4, each moved to the top of 16 bits.
template <bool Big>
void plain_row_555(const uint8_t* src, std::size_t width, RowOut out) {
    for (std::size_t x = 0; x < width; ++x, src += 2) {
        const uint32_t v = load16<Big>(src);
        out.red[x] = uint16_t(((v >> 10) & 31) << 11);
        out.green[x] = uint16_t(((v >> 5) & 31) << 11);
        out.blue[x] = uint16_t((v & 31) << 11);
    }
}

// The file's first row goes to the top of the picture, plane row height - 1.
ReadResult decode_plain(const TiffBytes& b, const PlainLayout& layout, ImageRecord& out) {
    DecodedPlanes planes;
    if (!planes.allocate(int32_t(layout.width), int32_t(layout.height))) return out_of_memory();
    const uint8_t* src = b.at(layout.data_offset);
    const std::size_t w = layout.width;
    const bool big = b.big_endian();
    for (uint32_t r = 0; r < layout.height; ++r, src += layout.row_bytes()) {
        const int32_t y = int32_t(layout.height - 1 - r);
        const RowOut row{planes.row(planes.red, y), planes.row(planes.green, y),
                         planes.row(planes.blue, y)};
        if (layout.bits_per_pixel == 48) {
            big ? plain_row_48<true>(src, w, row) : plain_row_48<false>(src, w, row);
        } else if (layout.bits_per_pixel == 24) {
            plain_row_24(src, w, row);
        } else {
            big ? plain_row_555<true>(src, w, row) : plain_row_555<false>(src, w, row);
        }
    }
    planes.move_into(out);
    return read_ok();
}

// ======== libtiff on bytes in memory ========

// libtiff may not allocate more than this in one piece for us (the RGBA raster decodes whole
// strips, so this also bounds the strips of the kinds read through it).
constexpr tmsize_t kMaxLibtiffAlloc = tmsize_t(1) << 28;
// Largest decoded tile or row we hold at once.
constexpr uint64_t kMaxBlockBytes = uint64_t(1) << 28;
// Pixels converted through the RGBA raster at a time.
constexpr uint64_t kRasterBandPixels = uint64_t(1) << 24;

struct MemoryTiff {
    const uint8_t* data;
    uint64_t size;
    uint64_t pos;
    char error[160];
};

tmsize_t memory_read(thandle_t handle, void* buffer, tmsize_t count) {
    auto* m = static_cast<MemoryTiff*>(handle);
    if (count <= 0 || m->pos >= m->size) return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(count), m->size - m->pos);
    std::memcpy(buffer, m->data + m->pos, n);
    m->pos += n;
    return tmsize_t(n);
}

tmsize_t memory_write(thandle_t, void*, tmsize_t) {
    return -1;
}

// Offsets wrap as unsigned numbers, so a relative move backwards works; a position past the
// end reads nothing.
toff_t memory_seek(thandle_t handle, toff_t offset, int whence) {
    auto* m = static_cast<MemoryTiff*>(handle);
    const uint64_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
    m->pos = base + offset;
    return m->pos;
}

int memory_close(thandle_t) {
    return 0;
}

toff_t memory_size(thandle_t handle) {
    return static_cast<MemoryTiff*>(handle)->size;
}

// libtiff reads strips and tiles straight out of the buffer; it never writes to a file it
// opened for reading.
int memory_map(thandle_t handle, void** base, toff_t* size) {
    auto* m = static_cast<MemoryTiff*>(handle);
    *base = const_cast<uint8_t*>(m->data);
    *size = m->size;
    return 1;
}

void memory_unmap(thandle_t, void*, toff_t) {}

// The first error is kept for the caller's message; nothing goes to libtiff's global
// handlers (returning 1 stops them).
int on_tiff_error(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* m = static_cast<MemoryTiff*>(user);
    if (m != nullptr && m->error[0] == '\0')
        std::vsnprintf(m->error, sizeof m->error, format, args);
    return 1;
}

int on_tiff_warning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// libtiff still sends some messages to its process-wide handlers, which print on stderr by
// default. We are the only libtiff user in the process, so they are switched off once.
void silence_libtiff() {
    static const bool silenced = [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)silenced;
}

class TiffHandle {
public:
    explicit TiffHandle(MemoryTiff& m) {
        silence_libtiff();
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (options == nullptr) return;
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibtiffAlloc);
        TIFFOpenOptionsSetErrorHandlerExtR(options, on_tiff_error, &m);
        TIFFOpenOptionsSetWarningHandlerExtR(options, on_tiff_warning, &m);
        tif_ = TIFFClientOpenExt("memory", "r", &m, memory_read, memory_write, memory_seek,
                                 memory_close, memory_size, memory_map, memory_unmap, options);
        TIFFOpenOptionsFree(options);
    }
    ~TiffHandle() {
        if (tif_ != nullptr) TIFFClose(tif_);
    }
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;

    TIFF* get() const { return tif_; }

private:
    TIFF* tif_ = nullptr;
};

ReadResult libtiff_failure(const MemoryTiff& m) {
    return corrupt(std::string("TIFF decoding failed: ") + (m.error[0] ? m.error : "read error"));
}

// ---- the first image as libtiff describes it ----

struct TiffImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samples = 1;
    uint16_t bits = 1;
    uint16_t format = SAMPLEFORMAT_UINT;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t photometric = 0;
    bool has_photometric = false;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t unassociated_alpha = 0;  // sample index of an alpha to composite with, or 0
    bool tiled = false;
    uint32_t tile_width = 0;
    uint32_t tile_length = 0;
    uint32_t rows_per_strip = 0;

    bool separate() const { return planar == PLANARCONFIG_SEPARATE; }
    // Colour samples when libtiff's decoded samples are read directly: 1 for grey, 3 for RGB,
    // 0 when only the RGBA raster can make sense of them.
    int colours() const {
        if (!has_photometric) return 0;
        if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE)
            return 1;
        return photometric == PHOTOMETRIC_RGB ? 3 : 0;
    }
};

bool describe(TIFF* tif, TiffImage& im) {
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &im.width) != 1 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &im.height) != 1)
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &im.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &im.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &im.format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &im.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &im.orientation);
    im.has_photometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &im.photometric) == 1;
    uint16_t extra = 0;
    uint16_t* kinds = nullptr;
    const int colours = im.colours();
    if (colours > 0 && TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds) == 1 &&
        extra > 0 && kinds != nullptr && kinds[0] == EXTRASAMPLE_UNASSALPHA && im.samples > colours)
        im.unassociated_alpha = uint16_t(colours);
    im.tiled = TIFFIsTiled(tif) != 0;
    if (im.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &im.tile_width);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &im.tile_length);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &im.rows_per_strip);
    }
    return true;
}

// ---- planes in the file's row order ----

// The decoded picture as the file stores it, top row first: the planes' storage is reserved
// up front but only filled as rows are decoded, so a file that claims a huge picture and then
// fails to deliver its data costs no more memory than the rows it really held. A fourth plane
// keeps an alpha sample stored in its own plane until the colours are composited with it.
class FileOrderPlanes {
public:
    bool reserve(uint32_t width, uint32_t height, bool separate_alpha) {
        width_ = width;
        height_ = height;
        const std::size_t n = std::size_t(width) * height;
        try {
            for (int p = 0; p < (separate_alpha ? 4 : 3); ++p) {
                planes_[std::size_t(p)].reserve(n);
                prefer_huge_pages(planes_[std::size_t(p)].data(), n * sizeof(uint16_t));
            }
        } catch (const std::bad_alloc&) {
            planes_ = {};
            return false;
        }
        return true;
    }

    // Rows [0, rows) of plane p; rows not yet written are black. Never allocates.
    uint16_t* rows_to(int p, uint32_t rows) {
        Plane& plane = planes_[std::size_t(p)];
        const std::size_t n = std::size_t(rows) * width_;
        if (plane.size() < n) plane.resize(n);
        return plane.data();
    }

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    Plane& plane(int p) { return planes_[std::size_t(p)]; }

private:
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    std::array<Plane, 4> planes_;
};

void reverse_rows(Plane& p, std::size_t width, std::size_t height) {
    for (std::size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint16_t* a = p.data() + top * width;
        std::swap_ranges(a, a + width, p.data() + bottom * width);
    }
}

void mirror_rows(Plane& p, std::size_t width, std::size_t height) {
    for (std::size_t y = 0; y < height; ++y)
        std::reverse(p.data() + y * width, p.data() + (y + 1) * width);
}

// Orientations 5 to 8 swap rows and columns: the file's rows become the picture's columns.
// Returns the bottom-up plane of the picture (file_height wide, file_width high).
Plane transpose(const Plane& src, std::size_t fw, std::size_t fh, uint16_t orientation) {
    Plane dst(src.size());
    const std::size_t dw = fh;
    const std::size_t dh = fw;
    for (std::size_t r = 0; r < fh; ++r) {
        // Picture column of file row r, and whether file column 0 is the picture's top row.
        const std::size_t x = orientation == 5 || orientation == 8 ? r : dw - 1 - r;
        const bool col0_top = orientation == 5 || orientation == 6;
        const uint16_t* row = src.data() + r * fw;
        for (std::size_t c = 0; c < fw; ++c) {
            const std::size_t from_top = col0_top ? c : dh - 1 - c;
            dst[(dh - 1 - from_top) * dw + x] = row[c];
        }
    }
    return dst;
}

// Turns the file-order planes into the record's bottom-up planes of the picture as the
// orientation tag says to show it (values outside 1..8 count as 1, top-left).
bool orient_into(FileOrderPlanes& planes, uint16_t orientation, ImageRecord& out) {
    const std::size_t w = planes.width();
    const std::size_t h = planes.height();
    const bool transposed = orientation >= 5 && orientation <= 8;
    std::array<Plane, 3> done;
    for (int p = 0; p < 3; ++p) {
        Plane& plane = planes.plane(p);
        plane.resize(w * h);  // rows never decoded (none on success) stay black
        if (transposed) {
            try {
                done[std::size_t(p)] = transpose(plane, w, h, orientation);
            } catch (const std::bad_alloc&) {
                return false;
            }
            plane = Plane();
            continue;
        }
        if (orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT)
            mirror_rows(plane, w, h);
        if (orientation != ORIENTATION_BOTRIGHT && orientation != ORIENTATION_BOTLEFT)
            reverse_rows(plane, w, h);
        done[std::size_t(p)] = std::move(plane);
    }
    out.width = int32_t(transposed ? h : w);
    out.height = int32_t(transposed ? w : h);
    out.red = std::move(done[0]);
    out.green = std::move(done[1]);
    out.blue = std::move(done[2]);
    return true;
}

// ---- samples at full depth ----

// How file samples become record samples. Integers keep their top 16 bits (8-bit values
// × 256); signed integers are offset by half their range first, so the order is kept.
// Floating-point colours are scaled by `scale` after subtracting `offset`, clamped to
// 0..65535 and rounded; NaN becomes 0. Min-is-white grey is inverted at the file's depth.
struct SampleMap {
    double offset = 0;
    double scale = 65535;
    bool invert = false;
};

template <class T>
inline T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
inline uint32_t to_record(const uint8_t* p, const SampleMap& m) {
    const T v = load<T>(p);
    if constexpr (std::is_floating_point_v<T>) {
        const double x = (double(v) - m.offset) * m.scale;
        if (std::isnan(x)) return 0;  // NaN samples, and infinities scaled by 0
        const uint32_t r = uint32_t(std::clamp(x, 0.0, 65535.0) + 0.5);
        return m.invert ? 65535 - r : r;
    } else {
        using U = std::make_unsigned_t<T>;
        U u = U(v);
        if (m.invert) u = U(~u);
        if constexpr (std::is_signed_v<T>) u = U(u ^ (U(1) << (sizeof(T) * 8 - 1)));
        if constexpr (sizeof(T) == 1)
            return uint32_t(u) << 8;
        else if constexpr (sizeof(T) == 2)
            return u;
        else
            return uint32_t(u >> 16);
    }
}

// round(colour × alpha / max): on the 8-bit values for 8-bit files, on 16 bits otherwise.
inline uint32_t over_black(uint32_t c, uint32_t a, bool eight_bit) {
    if (eight_bit) {
        const uint32_t t = (c >> 8) * (a >> 8) + 128;
        return ((t + t / 256) / 256) << 8;
    }
    const uint64_t t = uint64_t(c) * a + 32768;
    return uint32_t((t + t / 65536) / 65536);
}

struct PixelFormat {
    int samples = 1;  // samples per pixel in the decoded buffer
    int colours = 1;
    int alpha = -1;  // sample index of an unassociated alpha in the same buffer, or -1
    bool eight_bit = false;
    SampleMap colour_map;
    SampleMap alpha_map;
};

struct Targets {
    uint16_t* red;
    uint16_t* green;
    uint16_t* blue;
    const uint16_t* alpha;  // a stored alpha plane to composite with, or null
};

// Pixels with all their samples side by side.
template <class T>
void contig_pixels(const uint8_t* src, uint32_t count, const PixelFormat& f, Targets t) {
    const std::size_t step = std::size_t(f.samples) * sizeof(T);
    for (uint32_t i = 0; i < count; ++i, src += step) {
        uint32_t c[3];
        for (int k = 0; k < f.colours; ++k) c[k] = to_record<T>(src + k * sizeof(T), f.colour_map);
        if (f.alpha >= 0) {
            const uint32_t a = to_record<T>(src + std::size_t(f.alpha) * sizeof(T), f.alpha_map);
            for (int k = 0; k < f.colours; ++k) c[k] = over_black(c[k], a, f.eight_bit);
        }
        t.red[i] = uint16_t(c[0]);
        t.green[i] = uint16_t(c[f.colours == 3 ? 1 : 0]);
        t.blue[i] = uint16_t(c[f.colours - 1]);
    }
}

// One sample of each pixel, from a planar file: into the alpha plane, or into the colour
// plane(s) set in `t` (all three for grey), composited with the stored alpha if there is one.
template <class T>
void sample_pixels(const uint8_t* src, uint32_t count, const PixelFormat& f, bool is_alpha,
                   Targets t) {
    for (uint32_t i = 0; i < count; ++i, src += sizeof(T)) {
        uint32_t v = to_record<T>(src, is_alpha ? f.alpha_map : f.colour_map);
        if (!is_alpha && t.alpha != nullptr) v = over_black(v, t.alpha[i], f.eight_bit);
        if (t.red) t.red[i] = uint16_t(v);
        if (t.green) t.green[i] = uint16_t(v);
        if (t.blue) t.blue[i] = uint16_t(v);
    }
}

template <class T>
void sample_range(const uint8_t* src, uint32_t count, std::size_t step, double& lo, double& hi) {
    for (uint32_t i = 0; i < count; ++i, src += step) {
        const double v = double(load<T>(src));
        if (!std::isfinite(v)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
}

// ---- decoded blocks: rows of a stripped file, tiles of a tiled one ----

struct Block {
    const uint8_t* data;
    uint32_t x;  // first column and row of the block in the picture
    uint32_t y;
    uint32_t columns;  // inside the picture
    uint32_t rows;
    std::size_t row_bytes;  // from one row of the block to the next
};

struct BlockBuffer {
    std::unique_ptr<uint8_t[]> data;  // filled by libtiff before it is read
    std::size_t size = 0;
};

bool allocate_block(TIFF* tif, const TiffImage& im, std::size_t pixel_bytes, BlockBuffer& buf) {
    const uint64_t size = im.tiled ? TIFFTileSize64(tif) : TIFFScanlineSize64(tif);
    const uint64_t needed = im.tiled ? uint64_t(im.tile_width) * im.tile_length * pixel_bytes
                                     : uint64_t(im.width) * pixel_bytes;
    if (size < needed || size == 0 || size > kMaxBlockBytes) return false;
    buf.data.reset(new (std::nothrow) uint8_t[size]);
    buf.size = std::size_t(size);
    return buf.data != nullptr;
}

// Calls f(block) for every row (stripped files, read strip by strip as libtiff decodes them)
// or tile of one sample plane (`sample` is 0 for contiguous files), in file order.
template <class F>
bool for_each_block(TIFF* tif, const TiffImage& im, uint16_t sample, BlockBuffer& buf,
                    std::size_t pixel_bytes, F&& f) {
    if (!im.tiled) {
        for (uint32_t y = 0; y < im.height; ++y) {
            if (TIFFReadScanline(tif, buf.data.get(), y, sample) < 0) return false;
            if (!f(Block{buf.data.get(), 0, y, im.width, 1, 0})) return false;
        }
        return true;
    }
    const std::size_t row_bytes = std::size_t(im.tile_width) * pixel_bytes;
    for (uint64_t y = 0; y < im.height; y += im.tile_length) {
        for (uint64_t x = 0; x < im.width; x += im.tile_width) {
            const uint32_t tx = uint32_t(x), ty = uint32_t(y);
            if (TIFFReadTile(tif, buf.data.get(), tx, ty, 0, sample) < 0) return false;
            const Block block{buf.data.get(),
                              tx,
                              ty,
                              std::min(im.tile_width, im.width - tx),
                              std::min(im.tile_length, im.height - ty),
                              row_bytes};
            if (!f(block)) return false;
        }
    }
    return true;
}

enum class SampleKind { u8, u16, u32, i8, i16, i32, f32, f64, none };

SampleKind sample_kind(const TiffImage& im) {
    const bool is_signed = im.format == SAMPLEFORMAT_INT;
    const bool is_unsigned = im.format == SAMPLEFORMAT_UINT || im.format == SAMPLEFORMAT_VOID;
    if (im.format == SAMPLEFORMAT_IEEEFP)
        return im.bits == 32 ? SampleKind::f32 : im.bits == 64 ? SampleKind::f64 : SampleKind::none;
    if (!is_signed && !is_unsigned) return SampleKind::none;
    switch (im.bits) {
        case 8:
            return is_signed ? SampleKind::i8 : SampleKind::u8;
        case 16:
            return is_signed ? SampleKind::i16 : SampleKind::u16;
        case 32:
            return is_signed ? SampleKind::i32 : SampleKind::u32;
        default:
            return SampleKind::none;
    }
}

// Reads the decoded samples of a grey or RGB image at full depth.
class FullDepthReader {
public:
    FullDepthReader(TIFF* tif, const TiffImage& im, FileOrderPlanes& planes)
        : tif_(tif), im_(im), planes_(planes) {
        format_.colours = im.colours();
        format_.samples = im.separate() ? 1 : im.samples;
        format_.alpha = im.unassociated_alpha > 0 && !im.separate() ? im.unassociated_alpha : -1;
        format_.eight_bit = im.bits == 8;
        format_.colour_map.invert = im.photometric == PHOTOMETRIC_MINISWHITE;
    }

    template <class T>
    ReadResult read(const MemoryTiff& m) {
        const std::size_t pixel_bytes = std::size_t(format_.samples) * sizeof(T);
        if (!allocate_block(tif_, im_, pixel_bytes, buffer_))
            return unsupported("TIFF rows or tiles too large");
        if (!read_samples<T>()) return libtiff_failure(m);
        return read_ok();
    }

private:
    template <class T>
    bool read_samples() {
        if (std::is_floating_point_v<T> && !scan_range<T>()) return false;
        if (!im_.separate()) return read_plane<T>(0, false);
        if (im_.unassociated_alpha > 0 && !read_plane<T>(im_.unassociated_alpha, true))
            return false;
        for (int s = 0; s < format_.colours; ++s)
            if (!read_plane<T>(uint16_t(s), false)) return false;
        return true;
    }

    // Floating-point colours in 0..1 are taken as fractions of full scale; any other range
    // is stretched from its lowest to its highest value, the same for all colours.
    template <class T>
    bool scan_range() {
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        const int planes = im_.separate() ? format_.colours : 1;
        for (int s = 0; s < planes; ++s) {
            const bool ok = for_each_block(
                tif_, im_, uint16_t(s), buffer_, format_.samples * sizeof(T), [&](const Block& b) {
                    for (uint32_t r = 0; r < b.rows; ++r)
                        for (int k = 0; k < (im_.separate() ? 1 : format_.colours); ++k)
                            sample_range<T>(b.data + r * b.row_bytes + k * sizeof(T), b.columns,
                                            format_.samples * sizeof(T), lo, hi);
                    return true;
                });
            if (!ok) return false;
        }
        if (lo >= 0 && hi <= 1) return true;
        format_.colour_map.offset = lo;
        format_.colour_map.scale = hi > lo ? 65535.0 / (hi - lo) : 0;
        return true;
    }

    template <class T>
    bool read_plane(uint16_t sample, bool is_alpha) {
        const uint32_t w = planes_.width();
        const bool separate = im_.separate();
        const bool grey = format_.colours == 1;
        return for_each_block(
            tif_, im_, sample, buffer_, format_.samples * sizeof(T), [&](const Block& b) {
                const uint32_t end = b.y + b.rows;
                // Which planes this pass writes.
                const bool red = !is_alpha && (!separate || grey || sample == 0);
                const bool green = !is_alpha && (!separate || grey || sample == 1);
                const bool blue = !is_alpha && (!separate || grey || sample == 2);
                uint16_t* r_plane = red ? planes_.rows_to(0, end) : nullptr;
                uint16_t* g_plane = green ? planes_.rows_to(1, end) : nullptr;
                uint16_t* b_plane = blue ? planes_.rows_to(2, end) : nullptr;
                uint16_t* a_plane = is_alpha ? planes_.rows_to(3, end) : nullptr;
                const bool stored_alpha = separate && !is_alpha && im_.unassociated_alpha > 0;
                const uint16_t* alpha = stored_alpha ? planes_.rows_to(3, end) : nullptr;
                for (uint32_t r = 0; r < b.rows; ++r) {
                    const std::size_t at = std::size_t(b.y + r) * w + b.x;
                    const uint8_t* src = b.data + r * b.row_bytes;
                    auto offset = [at](uint16_t* p) { return p ? p + at : nullptr; };
                    if (!separate) {
                        contig_pixels<T>(src, b.columns, format_,
                                         {r_plane + at, g_plane + at, b_plane + at, nullptr});
                    } else if (is_alpha) {
                        sample_pixels<T>(src, b.columns, format_, true,
                                         {a_plane + at, nullptr, nullptr, nullptr});
                    } else {
                        sample_pixels<T>(src, b.columns, format_, false,
                                         {offset(r_plane), offset(g_plane), offset(b_plane),
                                          alpha ? alpha + at : nullptr});
                    }
                }
                return true;
            });
    }

    TIFF* tif_;
    const TiffImage& im_;
    FileOrderPlanes& planes_;
    PixelFormat format_;
    BlockBuffer buffer_;
};

ReadResult read_full_depth(TIFF* tif, const TiffImage& im, FileOrderPlanes& planes,
                           const MemoryTiff& m) {
    FullDepthReader reader(tif, im, planes);
    switch (sample_kind(im)) {
        case SampleKind::u8:
            return reader.read<uint8_t>(m);
        case SampleKind::u16:
            return reader.read<uint16_t>(m);
        case SampleKind::u32:
            return reader.read<uint32_t>(m);
        case SampleKind::i8:
            return reader.read<int8_t>(m);
        case SampleKind::i16:
            return reader.read<int16_t>(m);
        case SampleKind::i32:
            return reader.read<int32_t>(m);
        case SampleKind::f32:
            return reader.read<float>(m);
        case SampleKind::f64:
            return reader.read<double>(m);
        case SampleKind::none:
            break;
    }
    return unsupported("TIFF sample format not supported");
}

bool full_depth_readable(const TiffImage& im) {
    const int colours = im.colours();
    return colours > 0 && im.samples >= colours && sample_kind(im) != SampleKind::none &&
           (im.planar == PLANARCONFIG_CONTIG || im.planar == PLANARCONFIG_SEPARATE) &&
           (!im.tiled || (im.tile_width > 0 && im.tile_length > 0));
}

// ---- everything else: libtiff's RGBA raster ----

class RgbaImage {
public:
    bool begin(TIFF* tif, char (&message)[1024]) {
        started_ = TIFFRGBAImageBegin(&img_, tif, 1, message) != 0;
        return started_;
    }
    ~RgbaImage() {
        if (started_) TIFFRGBAImageEnd(&img_);
    }
    TIFFRGBAImage& get() { return img_; }

private:
    TIFFRGBAImage img_{};
    bool started_ = false;
};

// Rows converted at a time: whole strips or tile rows where they are small enough, so each
// is decoded once.
uint32_t raster_band(const TiffImage& im) {
    const uint64_t unit = std::max<uint64_t>(
        1, std::min<uint64_t>(im.tiled ? im.tile_length : im.rows_per_strip, im.height));
    const uint64_t w = im.width;
    uint64_t band = unit * w <= kRasterBandPixels
                        ? unit * (kRasterBandPixels / (unit * w))
                        : std::max<uint64_t>(16, kRasterBandPixels / w / 16 * 16);
    return uint32_t(std::min<uint64_t>(band, im.height));
}

// 8 bits per colour, × 256. The raster is asked for the file's own row order (libtiff then
// flips nothing) and the orientation is applied afterwards like for every other file.
ReadResult read_raster(TIFF* tif, const TiffImage& im, FileOrderPlanes& planes,
                       const MemoryTiff& m) {
    char message[1024] = "";
    if (TIFFRGBAImageOK(tif, message) == 0)
        return unsupported(std::string("TIFF kind not supported: ") + message);
    RgbaImage rgba;
    if (!rgba.begin(tif, message)) return corrupt(std::string("TIFF not readable: ") + message);
    TIFFRGBAImage& img = rgba.get();
    const uint16_t o = img.orientation >= 1 && img.orientation <= 8 ? img.orientation : 1;
    img.req_orientation = uint16_t((o - 1) % 4 + 1);
    const uint32_t band = raster_band(im);
    std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[std::size_t(band) * im.width]);
    if (!raster) return out_of_memory();
    for (uint32_t y = 0; y < im.height; y += band) {
        const uint32_t rows = std::min(band, im.height - y);
        img.row_offset = int(y);
        img.col_offset = 0;
        if (TIFFRGBAImageGet(&img, raster.get(), im.width, rows) == 0) return libtiff_failure(m);
        const std::size_t start = std::size_t(y) * im.width;
        uint16_t* red = planes.rows_to(0, y + rows) + start;
        uint16_t* green = planes.rows_to(1, y + rows) + start;
        uint16_t* blue = planes.rows_to(2, y + rows) + start;
        const std::size_t n = std::size_t(rows) * im.width;
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t p = raster[i];
            red[i] = uint16_t(TIFFGetR(p) << 8);
            green[i] = uint16_t(TIFFGetG(p) << 8);
            blue[i] = uint16_t(TIFFGetB(p) << 8);
        }
    }
    return read_ok();
}

ReadResult decode_with_libtiff(const uint8_t* data, std::size_t size, ImageRecord& out) {
    MemoryTiff m{data, size, 0, ""};
    TiffHandle handle(m);
    TIFF* tif = handle.get();
    if (tif == nullptr) return libtiff_failure(m);
    TiffImage im;
    if (!describe(tif, im)) return libtiff_failure(m);
    if (im.width < 1 || im.height < 1) return corrupt("TIFF size invalid");
    if (uint64_t(im.width) * im.height >= uint64_t(kMaxPixels)) return corrupt("TIFF too large");
    FileOrderPlanes planes;
    const bool full_depth = full_depth_readable(im);
    if (!planes.reserve(im.width, im.height,
                        full_depth && im.separate() && im.unassociated_alpha > 0))
        return out_of_memory();
    const ReadResult r =
        full_depth ? read_full_depth(tif, im, planes, m) : read_raster(tif, im, planes, m);
    if (!r.ok()) return r;
    if (!orient_into(planes, im.orientation, out)) return out_of_memory();
    return read_ok();
}

// ======== writing ========

constexpr uint32_t kBitsOffset = 8;
constexpr uint32_t kIfdOffset = 18;
constexpr uint32_t kIfdEntries = 14;
constexpr uint32_t kResolutionOffset = kIfdOffset + 2 + kIfdEntries * 12 + 4;  // 192
static_assert(kResolutionOffset + 16 <= kTiffPixelDataOffset);

void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

uint64_t pixel_bytes(const ImageRecord& r) {
    return uint64_t(r.width) * uint64_t(r.height) * 6;
}

// Header, bits-per-sample array, one IFD with its entries in tag order, the two resolution
// rationals, zeros up to the pixel data.
std::array<uint8_t, kTiffPixelDataOffset> tiff_header(const ImageRecord& r) {
    std::array<uint8_t, kTiffPixelDataOffset> h{};
    h[0] = 'I';
    h[1] = 'I';
    put16(&h[2], 42);
    put32(&h[4], kIfdOffset);
    for (int i = 0; i < 3; ++i) put16(&h[kBitsOffset + 2 * i], 16);
    put16(&h[kIfdOffset], kIfdEntries);
    uint8_t* e = &h[kIfdOffset + 2];
    auto entry = [&e](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        put16(e, tag);
        put16(e + 2, type);
        put32(e + 4, count);
        if (type == kTypeShort && count == 1)
            put16(e + 8, value);
        else
            put32(e + 8, value);
        e += 12;
    };
    const uint32_t width = uint32_t(r.width);
    const uint32_t height = uint32_t(r.height);
    entry(kTagWidth, kTypeLong, 1, width);
    entry(kTagHeight, kTypeLong, 1, height);
    entry(kTagBits, kTypeShort, 3, kBitsOffset);
    entry(kTagCompression, kTypeShort, 1, 1);
    entry(kTagPhotometric, kTypeShort, 1, 2);
    entry(kTagStripOffsets, kTypeLong, 1, kTiffPixelDataOffset);
    entry(kTagOrientation, kTypeShort, 1, 1);
    entry(kTagSamples, kTypeShort, 1, 3);
    entry(kTagRowsPerStrip, kTypeLong, 1, height);
    entry(kTagStripByteCounts, kTypeLong, 1, uint32_t(pixel_bytes(r)));
    entry(kTagXResolution, kTypeRational, 1, kResolutionOffset);
    entry(kTagYResolution, kTypeRational, 1, kResolutionOffset + 8);
    entry(kTagPlanar, kTypeShort, 1, 1);
    entry(kTagResolutionUnit, kTypeShort, 1, 2);  // inch
    // The next-IFD offset after the entries stays 0: there is one image.
    for (uint32_t at = kResolutionOffset; at < kResolutionOffset + 16; at += 8) {
        put32(&h[at], 72);
        put32(&h[at + 4], 1);
    }
    return h;
}

bool fits_in_tiff(const ImageRecord& r) {
    return pixel_bytes(r) + kTiffPixelDataOffset <= UINT32_MAX;
}

}  // namespace

bool tiff_plain_layout(const uint8_t* data, std::size_t size) {
    if (size < 2 || data[0] != data[1] || (data[0] != 'I' && data[0] != 'M')) return false;
    PlainLayout layout;
    return plain_layout(TiffBytes(data, size), layout);
}

ReadResult decode_tiff(const uint8_t* data, std::size_t size, ImageRecord& out) {
    if (size < 2 || data[0] != data[1] || (data[0] != 'I' && data[0] != 'M'))
        return read_failed(ReadStatus::not_this_format, "not a TIFF file");
    const TiffBytes bytes(data, size);
    PlainLayout layout;
    if (plain_layout(bytes, layout)) return decode_plain(bytes, layout, out);
    return decode_with_libtiff(data, size, out);
}

ReadResult read_tiff(const std::string& path, ImageRecord& out) {
    FileBuffer file;
    if (ReadResult r = load_file(path, file); !r.ok()) return r;
    ReadResult r = decode_tiff(file.data.get(), file.size, out);
    if (r.ok()) out.name = path;
    return r;
}

bool encode_tiff(std::FILE* out, const ImageRecord& record) {
    if (!has_full_planes(record) || !fits_in_tiff(record)) return false;
    const auto header = tiff_header(record);
    if (std::fwrite(header.data(), 1, header.size(), out) != header.size()) return false;
    const std::size_t w = std::size_t(record.width);
    std::vector<uint8_t> row(w * 6);
    for (int32_t y = record.height - 1; y >= 0; --y) {
        const std::size_t base = std::size_t(y) * w;
        const uint16_t* r = record.red.data() + base;
        const uint16_t* g = record.green.data() + base;
        const uint16_t* b = record.blue.data() + base;
        uint8_t* dst = row.data();
        for (std::size_t x = 0; x < w; ++x, dst += 6) {
            put16(dst, r[x]);
            put16(dst + 2, g[x]);
            put16(dst + 4, b[x]);
        }
        if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) return false;
    }
    return true;
}

WriteResult write_tiff(const std::string& path, const ImageRecord& record) {
    if (!record.occupied()) return write_failed("empty image");
    if (!fits_in_tiff(record)) return write_failed("image too large for TIFF");
    if (!has_full_planes(record)) return write_failed("image planes incomplete");
    AtomicFile file(path);
    if (!file.is_open()) return write_failed("cannot create " + path);
    if (!encode_tiff(file.stream(), record)) return write_failed("write error");
    return file.commit();
}

}  // namespace vora
