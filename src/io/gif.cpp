// GIF images: the first image of the file, LZW-decoded (plain or interlaced), coloured by its
// local colour table or the global one, and placed at its position on the logical screen.
#include "io/gif.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "io/byte_reader.h"
#include "io/file_bytes.h"

namespace vora {
namespace {

using io_detail::DecodedPlanes;
using io_detail::kMaxPixels;
using io_detail::le16;

// A screen larger than its first image is filled with the background colour. Up to this
// many pixels (4096 × 4096) that needs no justification; beyond it the screen may be at most
// this many times the image, so a few bytes cannot demand gigabytes of background.
constexpr int64_t kFreeCanvasPixels = int64_t(1) << 24;
constexpr int64_t kCanvasPerImagePixel = 16;

constexpr int kMaxCodeBits = 12;
constexpr int kMaxCodes = 1 << kMaxCodeBits;

ReadResult corrupt(const char* why) { return read_failed(ReadStatus::corrupt, why); }

// ---- reading the blocks ----

// A position in the file; every read is checked against its end.
class Cursor {
public:
    Cursor(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool bytes(std::size_t n, const uint8_t*& p) {
        if (size_ - pos_ < n) return false;
        p = data_ + pos_;
        pos_ += n;
        return true;
    }
    bool byte(uint8_t& b) {
        const uint8_t* p = nullptr;
        if (!bytes(1, p)) return false;
        b = *p;
        return true;
    }
    std::size_t left() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct ColourTable {
    bool present = false;
    // 8-bit entries × 256; indices past the table's end are black.
    std::array<uint16_t, 256> red{}, green{}, blue{};
};

// A table of 2^(bits+1) entries of red, green, blue, when the flags' bit 7 says there is one.
bool read_colour_table(Cursor& in, uint8_t flags, ColourTable& table) {
    if (!(flags & 0x80)) return true;
    const std::size_t entries = std::size_t(2) << (flags & 7);
    const uint8_t* p = nullptr;
    if (!in.bytes(entries * 3, p)) return false;
    table.present = true;
    for (std::size_t i = 0; i < entries; ++i) {
        table.red[i] = uint16_t(p[3 * i] << 8);
        table.green[i] = uint16_t(p[3 * i + 1] << 8);
        table.blue[i] = uint16_t(p[3 * i + 2] << 8);
    }
    return true;
}

// Data sub-blocks up to the empty one. With `keep`, their contents are appended to it; a
// chain cut off by the end of the file keeps what is there. False when the file ends first.
bool read_sub_blocks(Cursor& in, std::vector<uint8_t>* keep) {
    for (;;) {
        uint8_t n = 0;
        if (!in.byte(n)) return false;
        if (n == 0) return true;
        const uint8_t* p = nullptr;
        const std::size_t available = std::min<std::size_t>(n, in.left());
        in.bytes(available, p);
        if (keep) keep->insert(keep->end(), p, p + available);
        if (available < n) return false;
    }
}

struct Screen {
    int width = 0;
    int height = 0;
    int background = 0;
    ColourTable global;
};

struct Image {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    ColourTable local;
    int min_code_size = 0;
    std::vector<uint8_t> codes;  // the LZW data, sub-blocks joined
};

ReadResult read_screen(Cursor& in, Screen& screen) {
    const uint8_t* p = nullptr;
    if (!in.bytes(6, p) || std::memcmp(p, "GIF", 3) != 0)
        return read_failed(ReadStatus::not_this_format, "not a GIF file");
    if (!in.bytes(7, p)) return corrupt("GIF header truncated");
    screen.width = le16(p);
    screen.height = le16(p + 2);
    screen.background = p[5];
    if (!read_colour_table(in, p[4], screen.global)) return corrupt("GIF colour table truncated");
    return read_ok();
}

ReadResult read_image(Cursor& in, Image& image) {
    const uint8_t* p = nullptr;
    if (!in.bytes(9, p)) return corrupt("GIF image descriptor truncated");
    image.left = le16(p);
    image.top = le16(p + 2);
    image.width = le16(p + 4);
    image.height = le16(p + 6);
    image.interlaced = (p[8] & 0x40) != 0;
    if (image.width == 0 || image.height == 0) return corrupt("GIF image size is zero");
    if (!read_colour_table(in, p[8], image.local)) return corrupt("GIF colour table truncated");
    uint8_t code_size = 0;
    if (!in.byte(code_size)) return corrupt("GIF image data truncated");
    if (code_size < 1 || code_size > 8) return corrupt("GIF LZW code size invalid");
    image.min_code_size = code_size;
    read_sub_blocks(in, &image.codes);  // a cut-off chain is judged by what it decodes to
    return read_ok();
}

// Skips extension blocks up to the first image descriptor and reads that image.
ReadResult read_first_image(Cursor& in, Image& image) {
    for (;;) {
        uint8_t introducer = 0;
        if (!in.byte(introducer)) return corrupt("GIF ends before its first image");
        if (introducer == ',') return read_image(in, image);
        if (introducer == ';') return corrupt("GIF has no image");
        if (introducer != '!') return corrupt("GIF block unknown before the first image");
        uint8_t label = 0;
        if (!in.byte(label) || !read_sub_blocks(in, nullptr))
            return corrupt("GIF extension block truncated");
    }
}

// ---- LZW ----

enum class LzwResult { complete, truncated, bad_code };

// The GIF variant of LZW: codes packed from the lowest bit up, starting one bit wider than
// the minimum code size and growing to 12 bits; clear and end codes; when the table is full
// it stays as it is until the next clear code.
class LzwDecoder {
public:
    explicit LzwDecoder(int min_code_size)
        : min_code_size_(min_code_size), clear_(1 << min_code_size), end_(clear_ + 1) {
        for (int i = 0; i < clear_; ++i) {
            suffix_[std::size_t(i)] = first_[std::size_t(i)] = uint8_t(i);
            length_[std::size_t(i)] = 1;
        }
        reset();
    }

    // Decodes until `out` holds `limit` indices; a longer picture is cut off there.
    LzwResult decode(const std::vector<uint8_t>& in, std::size_t limit,
                     std::vector<uint8_t>& out) {
        std::size_t pos = 0;
        uint32_t bits = 0;
        int bit_count = 0;
        while (out.size() < limit) {
            while (bit_count < width_) {
                if (pos == in.size()) return LzwResult::truncated;
                bits |= uint32_t(in[pos++]) << bit_count;
                bit_count += 8;
            }
            const int code = int(bits & ((1u << width_) - 1));
            bits >>= width_;
            bit_count -= width_;
            if (code == clear_) {
                reset();
                continue;
            }
            if (code == end_) return LzwResult::truncated;
            if (!take(code, limit, out)) return LzwResult::bad_code;
        }
        return LzwResult::complete;
    }

private:
    void reset() {
        next_ = clear_ + 2;
        width_ = min_code_size_ + 1;
        previous_ = -1;
    }

    // One data code: emits its string and extends the table by the previous string plus the
    // first index of this one.
    bool take(int code, std::size_t limit, std::vector<uint8_t>& out) {
        if (previous_ < 0) {
            if (code >= clear_) return false;  // the first code after a clear is a literal
            emit(code, limit, out);
            previous_ = code;
            return true;
        }
        uint8_t first = 0;
        if (code < next_) {
            emit(code, limit, out);
            first = first_[std::size_t(code)];
        } else if (code == next_) {
            // The string being defined: the previous string and its own first index.
            first = first_[std::size_t(previous_)];
            emit(previous_, limit, out);
            if (out.size() < limit) out.push_back(first);
        } else {
            return false;
        }
        add(first);
        previous_ = code;
        return true;
    }

    void add(uint8_t last) {
        if (next_ >= kMaxCodes) return;
        const std::size_t n = std::size_t(next_);
        prefix_[n] = uint16_t(previous_);
        suffix_[n] = last;
        first_[n] = first_[std::size_t(previous_)];
        length_[n] = uint16_t(length_[std::size_t(previous_)] + 1);
        ++next_;
        if (next_ >= (1 << width_) && width_ < kMaxCodeBits) ++width_;
    }

    // Appends the string of `code`, cut at `limit`; strings are stored last index first.
    void emit(int code, std::size_t limit, std::vector<uint8_t>& out) const {
        const std::size_t length = length_[std::size_t(code)];
        const std::size_t start = out.size();
        const std::size_t kept = std::min(length, limit - start);
        out.resize(start + kept);
        for (std::size_t k = length; k-- > 0;) {
            if (k < kept) out[start + k] = suffix_[std::size_t(code)];
            code = prefix_[std::size_t(code)];
        }
    }

    int min_code_size_;
    int clear_;
    int end_;
    int next_ = 0;
    int width_ = 0;
    int previous_ = -1;
    std::array<uint16_t, kMaxCodes> prefix_{};
    std::array<uint8_t, kMaxCodes> suffix_{};
    std::array<uint8_t, kMaxCodes> first_{};
    std::array<uint16_t, kMaxCodes> length_{};
};

// ---- the picture ----

// Picture rows in the order the data hold them: top to bottom, or for an interlaced image
// every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
std::vector<int> row_order(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(std::size_t(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    constexpr int kPasses[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto& pass : kPasses)
        for (int y = pass[0]; y < height; y += pass[1]) rows.push_back(y);
    return rows;
}

struct Canvas {
    int width = 0;
    int height = 0;
};

// The logical screen, grown where the image reaches past it (a 0 × 0 screen included).
ReadResult canvas_for(const Screen& screen, const Image& image, Canvas& canvas) {
    canvas.width = std::max(screen.width, image.left + image.width);
    canvas.height = std::max(screen.height, image.top + image.height);
    const int64_t pixels = int64_t(canvas.width) * canvas.height;
    const int64_t image_pixels = int64_t(image.width) * image.height;
    if (image_pixels > kMaxPixels || pixels > kMaxPixels)
        return read_failed(ReadStatus::unsupported, "GIF image too large");
    if (pixels > kFreeCanvasPixels && pixels > kCanvasPerImagePixel * image_pixels)
        return corrupt("GIF logical screen too large for its image");
    return read_ok();
}

ReadResult decode_indices(const Image& image, std::vector<uint8_t>& indices) {
    const std::size_t count = std::size_t(image.width) * std::size_t(image.height);
    try {
        // The vector grows with what the data really decode to, never with what the
        // descriptor claims.
        indices.reserve(std::min(count, image.codes.size() * 8 + 4096));
        LzwDecoder lzw(image.min_code_size);
        switch (lzw.decode(image.codes, count, indices)) {
            case LzwResult::complete: return read_ok();
            case LzwResult::truncated: return corrupt("GIF image data truncated");
            case LzwResult::bad_code: return corrupt("GIF LZW data invalid");
        }
    } catch (const std::bad_alloc&) {
        return read_failed(ReadStatus::unsupported, "not enough memory for the GIF image");
    }
    return corrupt("GIF LZW data invalid");
}

void fill_background(const Screen& screen, DecodedPlanes& planes) {
    const std::size_t b = std::size_t(screen.background);
    std::fill(planes.red.begin(), planes.red.end(), screen.global.red[b]);
    std::fill(planes.green.begin(), planes.green.end(), screen.global.green[b]);
    std::fill(planes.blue.begin(), planes.blue.end(), screen.global.blue[b]);
}

// Places the decoded image on the canvas; the picture's top row is the planes' last row.
void place_image(const Image& image, const ColourTable& table,
                 const std::vector<uint8_t>& indices, DecodedPlanes& planes) {
    const std::vector<int> rows = row_order(image.height, image.interlaced);
    const std::size_t w = std::size_t(image.width);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const int plane_row = planes.height - 1 - (image.top + rows[k]);
        const std::size_t at = std::size_t(plane_row) * std::size_t(planes.width) +
                               std::size_t(image.left);
        const uint8_t* src = indices.data() + k * w;
        for (std::size_t x = 0; x < w; ++x) {
            planes.red[at + x] = table.red[src[x]];
            planes.green[at + x] = table.green[src[x]];
            planes.blue[at + x] = table.blue[src[x]];
        }
    }
}

}  // namespace

ReadResult decode_gif(const uint8_t* data, std::size_t size, ImageRecord& out) {
    Cursor in(data, size);
    Screen screen;
    if (ReadResult r = read_screen(in, screen); !r.ok()) return r;
    Image image;
    if (ReadResult r = read_first_image(in, image); !r.ok()) return r;
    const ColourTable& table = image.local.present ? image.local : screen.global;
    if (!table.present) return read_failed(ReadStatus::unsupported, "GIF has no colour table");
    Canvas canvas;
    if (ReadResult r = canvas_for(screen, image, canvas); !r.ok()) return r;
    std::vector<uint8_t> indices;
    if (ReadResult r = decode_indices(image, indices); !r.ok()) return r;
    DecodedPlanes planes;
    if (!planes.allocate(canvas.width, canvas.height))
        return read_failed(ReadStatus::unsupported, "not enough memory for the GIF image");
    fill_background(screen, planes);
    place_image(image, table, indices, planes);
    planes.move_into(out);
    return read_ok();
}

ReadResult read_gif(const std::string& path, ImageRecord& out) {
    std::vector<uint8_t> bytes;
    if (ReadResult r = read_file_bytes(path, bytes); !r.ok()) return r;
    ReadResult r = decode_gif(bytes.data(), bytes.size(), out);
    if (r.ok()) out.name = path;
    return r;
}

}  // namespace vora
