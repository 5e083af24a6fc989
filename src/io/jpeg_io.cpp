// JPEG reading and writing through libjpeg (6b interface). libjpeg reports errors through
// an error manager whose exit jumps back to the call that started the work, so a bad file
// or a failed write ends that call with an error and never the program; nothing is printed.
#include "io/jpeg_io.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "io/byte_reader.h"
#include "io/exif.h"
#include "io/file_bytes.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace vora {
namespace {

using io_detail::be16;
using io_detail::DecodedPlanes;
using io_detail::has_full_planes;
using io_detail::kMaxPixels;

// Rows handed to or taken from libjpeg per call.
constexpr int kBatchRows = 16;

// No real file has this many scans; hostile progressive files could otherwise make the
// decoder walk the whole coefficient buffer thousands of times.
constexpr int kMaxScans = 1000;

// A Huffman-coded JPEG spends at least one bit per 8 × 8 block of its most finely sampled
// component, and a block covers at most 256 pixels (sampling factors up to 4); so no file
// describes more than 2048 pixels per byte. Twice that is refused before any allocation.
constexpr uint64_t kMaxPixelsPerByte = 4096;

// Scale factor 50 gives the quantisation tables of quality 75.
constexpr int kQualityScale = 50;

// ---- error handling ----

struct ErrorManager {
    jpeg_error_mgr pub;  // first, so libjpeg's pointer to it is a pointer to this
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jump_out(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void stay_silent(j_common_ptr) {}

// Warnings that leave the picture intact; every other warning means damaged or missing data
// (a truncated file, a bad Huffman code, lost restart markers) and fails the read.
bool harmless_warning(int code) {
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR ||
           code == JWRN_BOGUS_ICC;
}

void on_message(j_common_ptr cinfo, int level) {
    if (level < 0 && !harmless_warning(cinfo->err->msg_code)) jump_out(cinfo);
}

void install_error_manager(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = jump_out;
    err.pub.emit_message = on_message;
    err.pub.output_message = stay_silent;
    err.message[0] = '\0';
}

void limit_scans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        err->pub.msg_code = 0;  // reported as damaged data
        std::snprintf(err->message, sizeof err->message, "JPEG has too many scans");
        std::longjmp(err->jump, 1);
    }
}

// ---- decoding ----

struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    bool created = false;
    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

ReadResult corrupt(const char* why) {
    return read_failed(ReadStatus::corrupt, why);
}

// libjpeg's errors are about damaged data, except for these: coding processes it does not
// implement (lossless, hierarchical) and memory running out.
ReadStatus failure_status(int code) {
    switch (code) {
        case JERR_OUT_OF_MEMORY:
        case JERR_SOF_UNSUPPORTED:
        case JERR_NOT_COMPILED:
        case JERR_NOTIMPL:
            return ReadStatus::unsupported;
        default:
            return ReadStatus::corrupt;
    }
}

// Chooses the output colour space; false for pictures this reader does not take.
bool choose_output(jpeg_decompress_struct& cinfo) {
    if (cinfo.num_components == 1 && cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        cinfo.out_color_space = JCS_GRAYSCALE;
        return true;
    }
    if (cinfo.num_components == 3 &&
        (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB)) {
        cinfo.out_color_space = JCS_RGB;
        return true;
    }
    return false;
}

ReadResult check_size(const jpeg_decompress_struct& cinfo, std::size_t file_size) {
    const uint64_t pixels = uint64_t(cinfo.image_width) * uint64_t(cinfo.image_height);
    if (pixels == 0) return corrupt("JPEG size invalid");
    if (pixels >= uint64_t(kMaxPixels)) return corrupt("JPEG size too large");
    if (pixels > kMaxPixelsPerByte * file_size)
        return corrupt("JPEG size implausible for the file's length");
    return read_ok();
}

bool allocate_rows(std::vector<uint8_t>& rows, std::size_t bytes) {
    try {
        rows.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Output rows of one batch into the planes; the first row of the file is the top of the
// picture, plane row height - 1.
void store_rows(const uint8_t* rows, int count, int32_t first_top_row, int components,
                DecodedPlanes& planes) {
    const std::size_t w = std::size_t(planes.width);
    for (int k = 0; k < count; ++k) {
        const int32_t y = planes.height - 1 - (first_top_row + k);
        const uint8_t* src = rows + std::size_t(k) * w * std::size_t(components);
        uint16_t* r = planes.row(planes.red, y);
        uint16_t* g = planes.row(planes.green, y);
        uint16_t* b = planes.row(planes.blue, y);
        if (components == 1) {
            for (std::size_t x = 0; x < w; ++x) r[x] = g[x] = b[x] = uint16_t(src[x] << 8);
        } else {
            for (std::size_t x = 0; x < w; ++x, src += 3) {
                r[x] = uint16_t(src[0] << 8);
                g[x] = uint16_t(src[1] << 8);
                b[x] = uint16_t(src[2] << 8);
            }
        }
    }
}

// Every libjpeg call of a read happens below the setjmp here. No object with a destructor
// is alive in this frame during a libjpeg call, so the jump back skips no clean-up.
ReadResult run_decoder(Decoder& d, const uint8_t* data, std::size_t size, DecodedPlanes& planes,
                       std::vector<uint8_t>& rows) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    install_error_manager(d.err);
    cinfo.err = &d.err.pub;
    if (setjmp(d.err.jump)) return read_failed(failure_status(d.err.pub.msg_code), d.err.message);
    d.created = true;
    jpeg_create_decompress(&cinfo);
    d.progress.progress_monitor = limit_scans;
    cinfo.progress = &d.progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (!choose_output(cinfo))
        return read_failed(ReadStatus::unsupported, "JPEG colour space not supported");
    if (ReadResult r = check_size(cinfo, size); !r.ok()) return r;
    jpeg_start_decompress(&cinfo);
    const int components = cinfo.output_components;
    const std::size_t row_bytes = std::size_t(cinfo.output_width) * std::size_t(components);
    if (!planes.allocate(int32_t(cinfo.output_width), int32_t(cinfo.output_height)) ||
        !allocate_rows(rows, row_bytes * kBatchRows))
        return read_failed(ReadStatus::unsupported, "not enough memory for JPEG");
    JSAMPROW pointers[kBatchRows];
    for (int k = 0; k < kBatchRows; ++k) pointers[k] = rows.data() + std::size_t(k) * row_bytes;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int32_t top_row = int32_t(cinfo.output_scanline);
        const int got = int(jpeg_read_scanlines(&cinfo, pointers, kBatchRows));
        if (got <= 0) return corrupt("JPEG data ended early");
        store_rows(rows.data(), got, top_row, components, planes);
    }
    jpeg_finish_decompress(&cinfo);
    return read_ok();
}

// ---- encoding ----

struct Encoder {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    bool created = false;
    unsigned char* buffer = nullptr;  // the compressed stream, grown by libjpeg with malloc
    unsigned long size = 0;
    Encoder() = default;
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    ~Encoder() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

// 8-bit RGB rows of the picture from the top: batch row k is plane row
// height - 1 - (first_top_row + k), each sample's high byte.
void fill_rows(const ImageRecord& r, int32_t first_top_row, int count, uint8_t* out) {
    const std::size_t w = std::size_t(r.width);
    for (int k = 0; k < count; ++k) {
        const std::size_t base = std::size_t(r.height - 1 - (first_top_row + k)) * w;
        uint8_t* dst = out + std::size_t(k) * w * 3;
        for (std::size_t x = 0; x < w; ++x, dst += 3) {
            dst[0] = uint8_t(r.red[base + x] >> 8);
            dst[1] = uint8_t(r.green[base + x] >> 8);
            dst[2] = uint8_t(r.blue[base + x] >> 8);
        }
    }
}

// The JFIF stream of the picture into e.buffer; every libjpeg call of a write is made here.
bool run_encoder(Encoder& e, const ImageRecord& r, std::vector<uint8_t>& rows, std::string& why) {
    jpeg_compress_struct& cinfo = e.cinfo;
    install_error_manager(e.err);
    cinfo.err = &e.err.pub;
    if (setjmp(e.err.jump)) {
        why = e.err.message;
        return false;
    }
    e.created = true;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &e.buffer, &e.size);
    cinfo.image_width = JDIMENSION(r.width);
    cinfo.image_height = JDIMENSION(r.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_linear_quality(&cinfo, kQualityScale, FALSE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t row_bytes = std::size_t(r.width) * 3;
    JSAMPROW pointers[kBatchRows];
    for (int k = 0; k < kBatchRows; ++k) pointers[k] = rows.data() + std::size_t(k) * row_bytes;
    while (cinfo.next_scanline < cinfo.image_height) {
        const int32_t top_row = int32_t(cinfo.next_scanline);
        const int count = int(std::min<JDIMENSION>(kBatchRows, cinfo.image_height - top_row));
        fill_rows(r, top_row, count, rows.data());
        jpeg_write_scanlines(&cinfo, pointers, JDIMENSION(count));
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

// Where the image data of our own stream begin: after its SOI and its JFIF APP0 segment.
std::size_t after_soi_and_app0(const uint8_t* s, std::size_t size) {
    if (size < 6 || s[2] != 0xFF || s[3] != 0xE0) return 2;
    const std::size_t end = 4 + std::size_t(be16(s + 4));
    return end <= size ? end : 2;
}

// The Exif header the file starts with: the record's own block when it is a sound one,
// otherwise the template filled from the camera fields and an empty APP1 segment.
void append_exif_header(const ImageRecord& record, std::vector<uint8_t>& file) {
    if (exif::is_valid_block(record.exif_block)) {
        file.insert(file.end(), record.exif_block.begin(), record.exif_block.end());
        return;
    }
    const std::vector<uint8_t> header = exif::build_template(exif::fields_of(record));
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), exif::kEmptyApp1.begin(), exif::kEmptyApp1.end());
}

bool assemble(const ImageRecord& record, JpegHeader header, const Encoder& e,
              std::vector<uint8_t>& file, std::string& why) {
    const uint8_t* s = e.buffer;
    const std::size_t size = e.size;
    if (!s || size < 4 || s[0] != 0xFF || s[1] != 0xD8) {
        why = "JPEG encoder produced no stream";
        return false;
    }
    try {
        file.clear();
        if (header == JpegHeader::jfif) {
            file.assign(s, s + size);
            return true;
        }
        append_exif_header(record, file);
        file.insert(file.end(), s + after_soi_and_app0(s, size), s + size);
    } catch (const std::bad_alloc&) {
        why = "not enough memory for JPEG";
        return false;
    }
    return true;
}

}  // namespace

ReadResult decode_jpeg(const uint8_t* data, std::size_t size, ImageRecord& out) {
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8)
        return read_failed(ReadStatus::not_this_format, "not a JPEG file");
    DecodedPlanes planes;
    std::vector<uint8_t> rows;
    {
        Decoder d;
        if (ReadResult r = run_decoder(d, data, size, planes, rows); !r.ok()) return r;
    }
    ImageRecord exif_fields;
    try {
        exif::read_exif_into(data, size, exif_fields);
    } catch (const std::bad_alloc&) {
        return read_failed(ReadStatus::unsupported, "not enough memory for the Exif block");
    }
    planes.move_into(out);
    adopt_camera_fields(out, std::move(exif_fields));
    return read_ok();
}

ReadResult read_jpeg(const std::string& path, ImageRecord& out) {
    std::vector<uint8_t> bytes;
    if (ReadResult r = read_file_bytes(path, bytes); !r.ok()) return r;
    ReadResult r = decode_jpeg(bytes.data(), bytes.size(), out);
    if (r.ok()) out.name = path;
    return r;
}

bool encode_jpeg(const ImageRecord& record, JpegHeader header, std::vector<uint8_t>& file,
                 std::string& why) {
    if (!record.occupied()) {
        why = "empty image";
        return false;
    }
    if (!has_full_planes(record)) {
        why = "image planes incomplete";
        return false;
    }
    if (record.width > JPEG_MAX_DIMENSION || record.height > JPEG_MAX_DIMENSION) {
        why = "image too large for JPEG";
        return false;
    }
    std::vector<uint8_t> rows;
    if (!allocate_rows(rows, std::size_t(record.width) * 3 * kBatchRows)) {
        why = "not enough memory for JPEG";
        return false;
    }
    Encoder e;
    if (!run_encoder(e, record, rows, why)) return false;
    return assemble(record, header, e, file, why);
}

WriteResult write_jpeg(const std::string& path, const ImageRecord& record, JpegHeader header) {
    std::vector<uint8_t> file;
    std::string why;
    if (!encode_jpeg(record, header, file, why)) return write_failed(why);
    AtomicFile out(path);
    if (!out.is_open()) return write_failed("cannot create " + path);
    if (std::fwrite(file.data(), 1, file.size(), out.stream()) != file.size())
        return write_failed("write error");
    return out.commit();
}

}  // namespace vora
