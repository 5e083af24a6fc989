#include "io/dng_writer.h"

#include <cmath>
#include <fstream>

namespace vora::test {
namespace {

enum Type : uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSrational = 10
};

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<uint8_t> data;  // little-endian values
};

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

Entry shorts(uint16_t tag, std::vector<uint32_t> v) {
    Entry e{tag, kShort, uint32_t(v.size()), {}};
    for (uint32_t x : v) put16(e.data, x);
    return e;
}
Entry longs(uint16_t tag, std::vector<uint32_t> v) {
    Entry e{tag, kLong, uint32_t(v.size()), {}};
    for (uint32_t x : v) put32(e.data, x);
    return e;
}
Entry bytes(uint16_t tag, std::vector<uint8_t> v) {
    return Entry{tag, kByte, uint32_t(v.size()), std::move(v)};
}
Entry ascii(uint16_t tag, const std::string& s) {
    Entry e{tag, kAscii, uint32_t(s.size() + 1), {s.begin(), s.end()}};
    e.data.push_back(0);
    return e;
}
// Rationals as numerator, denominator pairs; signed when `type` is kSrational.
Entry rationals(uint16_t tag, uint16_t type, std::vector<int64_t> pairs) {
    Entry e{tag, type, uint32_t(pairs.size() / 2), {}};
    for (int64_t x : pairs) put32(e.data, uint32_t(x));
    return e;
}
int64_t fixed(double v) {
    return int64_t(std::lround(v * 10000));
}

// Size of an IFD with n entries, its next-IFD link included.
uint32_t ifd_size(std::size_t n) {
    return uint32_t(2 + 12 * n + 4);
}

// Appends the IFD at `at` (== b.size()); values that don't fit 4 bytes go to `extra`, which
// starts at `extra_at` in the file.
void put_ifd(std::vector<uint8_t>& b, const std::vector<Entry>& entries,
             std::vector<uint8_t>& extra, uint32_t extra_at) {
    put16(b, uint32_t(entries.size()));
    for (const Entry& e : entries) {
        put16(b, e.tag);
        put16(b, e.type);
        put32(b, e.count);
        if (e.data.size() <= 4) {
            std::vector<uint8_t> inline_value = e.data;
            inline_value.resize(4, 0);
            b.insert(b.end(), inline_value.begin(), inline_value.end());
        } else {
            put32(b, extra_at + uint32_t(extra.size()));
            extra.insert(extra.end(), e.data.begin(), e.data.end());
            if (extra.size() % 2) extra.push_back(0);
        }
    }
    put32(b, 0);
}

}  // namespace

DngContent flat_dng(int width, int height, uint16_t value, int samples) {
    DngContent c;
    c.width = width;
    c.height = height;
    c.samples = samples;
    c.values.assign(std::size_t(width) * std::size_t(height) * std::size_t(samples), value);
    return c;
}

bool write_dng(const std::string& path, const DngContent& c) {
    const std::size_t n = std::size_t(c.width) * std::size_t(c.height) * std::size_t(c.samples);
    if (c.width < 1 || c.height < 1 || (c.samples != 1 && c.samples != 3) || c.values.size() != n)
        return false;
    const bool cfa = c.samples == 1;
    const uint32_t strip_bytes = uint32_t(n * 2);

    std::vector<Entry> exif = {
        rationals(33434, kRational, {c.exposure_num, c.exposure_den}),
        rationals(33437, kRational, {c.f_num, c.f_den}),
        shorts(34855, {c.iso}),
        ascii(36867, c.date_time),
    };
    // XYZ (D65) to linear sRGB: the camera's colours are sRGB primaries.
    const double xyz_to_srgb[9] = {3.2404542, -1.5371385, -0.4985314, -0.9692660, 1.8760108,
                                   0.0415560, 0.0556434,  -0.2040259, 1.0572252};
    std::vector<int64_t> matrix;
    for (double v : xyz_to_srgb) {
        matrix.push_back(fixed(v));
        matrix.push_back(10000);
    }
    std::vector<int64_t> neutral;
    for (double v : c.neutral) {
        neutral.push_back(fixed(v));
        neutral.push_back(10000);
    }
    std::vector<uint32_t> bits(std::size_t(c.samples), 16);
    // Tags in ascending order; the offsets of the strip and the Exif IFD are patched below.
    std::vector<Entry> ifd0 = {
        longs(254, {0}),
        longs(256, {uint32_t(c.width)}),
        longs(257, {uint32_t(c.height)}),
        shorts(258, bits),
        shorts(259, {1}),
        shorts(262, {cfa ? 32803u : 34892u}),
        ascii(271, c.make),
        ascii(272, c.model),
        longs(273, {0}),
        shorts(274, {1}),
        shorts(277, {uint32_t(c.samples)}),
        longs(278, {uint32_t(c.height)}),
        longs(279, {strip_bytes}),
        shorts(284, {1}),
        ascii(306, c.date_time),
    };
    if (cfa) {
        ifd0.push_back(shorts(33421, {2, 2}));
        ifd0.push_back(bytes(33422, {c.cfa[0], c.cfa[1], c.cfa[2], c.cfa[3]}));
    }
    ifd0.push_back(longs(34665, {0}));
    ifd0.push_back(bytes(50706, {1, 4, 0, 0}));
    ifd0.push_back(bytes(50707, {1, 1, 0, 0}));
    ifd0.push_back(ascii(50708, c.make + " " + c.model));
    if (cfa) {
        ifd0.push_back(bytes(50710, {0, 1, 2}));
        ifd0.push_back(shorts(50711, {1}));
    }
    ifd0.push_back(longs(50714, std::vector<uint32_t>(std::size_t(c.samples), c.black)));
    ifd0.push_back(longs(50717, std::vector<uint32_t>(std::size_t(c.samples), c.white)));
    ifd0.push_back(rationals(50721, kSrational, matrix));
    ifd0.push_back(rationals(50728, kRational, neutral));
    ifd0.push_back(shorts(50778, {21}));  // D65

    // Layout: header, IFD0, Exif IFD, their out-of-line values, then the strip.
    const uint32_t ifd0_at = 8;
    const uint32_t exif_at = ifd0_at + ifd_size(ifd0.size());
    const uint32_t extra_at = exif_at + ifd_size(exif.size());
    std::vector<uint8_t> extra_probe;
    {
        std::vector<uint8_t> scratch;
        put_ifd(scratch, ifd0, extra_probe, extra_at);
        put_ifd(scratch, exif, extra_probe, extra_at);
    }
    const uint32_t strip_at = extra_at + uint32_t(extra_probe.size());
    for (Entry& e : ifd0) {
        if (e.tag == 273) e = longs(273, {strip_at});
        if (e.tag == 34665) e = longs(34665, {exif_at});
    }

    std::vector<uint8_t> file = {'I', 'I', 42, 0};
    put32(file, ifd0_at);
    std::vector<uint8_t> extra;
    put_ifd(file, ifd0, extra, extra_at);
    put_ifd(file, exif, extra, extra_at);
    file.insert(file.end(), extra.begin(), extra.end());
    for (uint16_t v : c.values) put16(file, v);

    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return bool(out);
}

}  // namespace vora::test
