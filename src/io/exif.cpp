// Exif segments of JPEG files: locating them, reading the camera fields in either byte
// order with every offset checked, and the fixed header written for pictures without one.
#include "io/exif.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "io/byte_reader.h"

namespace vora::exif {
namespace {

using io_detail::be16;

// ---- segments ----

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kApp15 = 0xEF;
constexpr uint8_t kCom = 0xFE;

// "Exif" and a zero byte open the segment; a second zero byte pads it to six bytes, after
// which the TIFF data begin.
constexpr std::size_t kExifIdLength = 5;
constexpr std::size_t kTiffInSegment = 6;  // from the start of the payload

struct Segment {
    uint8_t marker = 0;
    std::size_t payload = 0;  // offset of the bytes after the length field
    std::size_t payload_length = 0;
    std::size_t end = 0;  // offset just past the segment
};

bool is_header_marker(uint8_t m) {
    return (m >= kApp0 && m <= kApp15) || m == kCom;
}

// The APPn or COM segment at `pos`, when it is one and lies wholly inside the data.
bool header_segment_at(const uint8_t* data, std::size_t size, std::size_t pos, Segment& seg) {
    if (size < 4 || pos > size - 4) return false;
    if (data[pos] != kMarker || !is_header_marker(data[pos + 1])) return false;
    const std::size_t length = be16(data + pos + 2);  // counts itself, not the marker
    if (length < 2 || length > size - pos - 2) return false;
    seg.marker = data[pos + 1];
    seg.payload = pos + 4;
    seg.payload_length = length - 2;
    seg.end = pos + 2 + length;
    return true;
}

bool is_exif_segment(const uint8_t* data, const Segment& seg) {
    return seg.marker == kApp1 && seg.payload_length >= kTiffInSegment &&
           std::memcmp(data + seg.payload, "Exif\0", kExifIdLength) == 0;
}

// ---- TIFF data ----

enum TiffType : uint16_t { kShort = 3, kLong = 4 };

enum Tag : uint16_t {
    kMake = 271,
    kModel = 272,
    kOrientation = 274,
    kXResolution = 282,
    kYResolution = 283,
    kResolutionUnit = 296,
    kDateTime = 306,
    kArtist = 315,
    kYCbCrPositioning = 531,
    kCopyright = 33432,
    kExposureTime = 33434,
    kFNumber = 33437,
    kExifIfd = 34665,
    kExposureProgram = 34850,
    kIsoSpeed = 34855,
    kSensitivityType = 34864,
    kRecommendedExposureIndex = 34866,
    kExifVersion = 36864,
    kDateTimeOriginal = 36867,
    kDateTimeDigitized = 36868,
};

constexpr std::size_t kEntrySize = 12;

// Bounds-checked reads of TIFF data in its byte order; offsets are from the byte-order mark.
class TiffView {
  public:
    TiffView(const uint8_t* data, std::size_t size, bool big_endian)
        : data_(data), size_(size), big_(big_endian) {}

    bool holds(uint64_t offset, uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    bool u16(uint64_t offset, uint16_t& v) const {
        if (!holds(offset, 2)) return false;
        const uint8_t* p = data_ + offset;
        v = big_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
        return true;
    }
    bool u32(uint64_t offset, uint32_t& v) const {
        uint16_t a = 0, b = 0;
        if (!u16(offset, a) || !u16(offset + 2, b)) return false;
        v = big_ ? uint32_t(a) << 16 | b : uint32_t(b) << 16 | a;
        return true;
    }
    const uint8_t* at(uint64_t offset) const { return data_ + offset; }

  private:
    const uint8_t* data_;
    std::size_t size_;
    bool big_;
};

struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint64_t value_field = 0;  // offset of the entry's 4-byte value field
};

// Calls f for each entry of the IFD at `ifd` that lies wholly inside the data. The full
// 16-bit entry count is used; entries past the end of the data are not read.
template <class F>
void for_each_entry(const TiffView& view, uint32_t ifd, F f) {
    uint16_t count = 0;
    if (!view.u16(ifd, count)) return;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t pos = uint64_t(ifd) + 2 + uint64_t(i) * kEntrySize;
        Entry e;
        if (!view.holds(pos, kEntrySize) || !view.u16(pos, e.tag) || !view.u16(pos + 2, e.type) ||
            !view.u32(pos + 4, e.count))
            return;
        e.value_field = pos + 8;
        f(e);
    }
}

// Where `length` bytes of an entry's value are: inline in the value field when they fit
// in its four bytes, otherwise at the offset it holds. False when they lie outside.
bool value_location(const TiffView& view, const Entry& e, uint64_t length, uint64_t& where) {
    if (length <= 4) {
        where = e.value_field;
        return true;
    }
    uint32_t offset = 0;
    if (!view.u32(e.value_field, offset) || !view.holds(offset, length)) return false;
    where = offset;
    return true;
}

// count bytes of text, up to the first zero byte, cut to the record's field size.
void read_text(const TiffView& view, const Entry& e, std::string& out) {
    uint64_t where = 0;
    if (!value_location(view, e, e.count, where)) return;
    const std::size_t usable = std::min<std::size_t>(e.count, kCameraTextMax + 1);
    const auto* p = reinterpret_cast<const char*>(view.at(where));
    const std::size_t length = std::find(p, p + usable, '\0') - p;
    set_camera_text(out, std::string_view(p, length));
}

// A rational packed as numerator << 16 | denominator (low 16 bits of each).
void read_rational(const TiffView& view, const Entry& e, uint32_t& out) {
    uint32_t offset = 0, numerator = 0, denominator = 0;
    if (e.count < 1 || !view.u32(e.value_field, offset) || !view.u32(offset, numerator) ||
        !view.u32(uint64_t(offset) + 4, denominator))
        return;
    out = pack_rational(numerator, denominator);
}

// The first value of a SHORT or LONG entry.
void read_integer(const TiffView& view, const Entry& e, int32_t& out) {
    if (e.count < 1 || (e.type != kShort && e.type != kLong)) return;
    const uint64_t size = e.type == kShort ? 2 : 4;
    uint64_t where = 0;
    if (!value_location(view, e, size * e.count, where)) return;
    if (e.type == kShort) {
        uint16_t v = 0;
        if (view.u16(where, v)) out = v;
    } else {
        uint32_t v = 0;
        if (view.u32(where, v)) out = int32_t(std::min<uint32_t>(v, INT32_MAX));
    }
}

// ---- the written template ----

// Offsets inside the TIFF data of the template.
constexpr std::size_t kTemplateTiff = 12;  // SOI, APP1 marker and length, "Exif\0\0"
constexpr uint32_t kIfd0 = 8;
constexpr uint16_t kIfd0Entries = 11;
constexpr uint32_t kIfd1 = 256;  // an IFD without entries
constexpr uint32_t kExifIfdOffset = 360;
constexpr uint16_t kExifEntries = 9;
constexpr uint32_t kMakeSlot = 158, kMakeChars = 21;
constexpr uint32_t kModelSlot = 180, kModelChars = 15;
constexpr uint32_t kXResolutionValue = 196;
constexpr uint32_t kYResolutionValue = 204;
constexpr uint32_t kDateSlot = 212, kDateChars = 19;
constexpr uint32_t kExposureValue = 566;
constexpr uint32_t kFNumberValue = 574;
constexpr uint32_t kDateOriginalSlot = 582;
constexpr uint32_t kDateDigitizedSlot = 602;
constexpr uint16_t kAsciiType = 2, kRationalType = 5, kUndefinedType = 7;

// Writes little-endian values into the template's TIFF data.
class TemplateWriter {
  public:
    explicit TemplateWriter(std::vector<uint8_t>& out) : tiff_(out.data() + kTemplateTiff) {}

    void u16(uint32_t offset, uint32_t v) {
        tiff_[offset] = uint8_t(v);
        tiff_[offset + 1] = uint8_t(v >> 8);
    }
    void u32(uint32_t offset, uint32_t v) {
        u16(offset, v & 0xFFFF);
        u16(offset + 2, v >> 16);
    }
    void bytes(uint32_t offset, std::string_view s) {
        std::memcpy(tiff_ + offset, s.data(), s.size());
    }

    // Entry `index` of the IFD at `ifd`; returns the offset of its value field.
    uint32_t entry(uint32_t ifd, int index, uint16_t tag, uint16_t type, uint32_t count,
                   uint32_t value) {
        const uint32_t pos = ifd + 2 + uint32_t(index) * kEntrySize;
        u16(pos, tag);
        u16(pos + 2, type);
        u32(pos + 4, count);
        u32(pos + 8, value);
        return pos + 8;
    }

    // An ASCII entry: the text cut to `max_chars` and its zero byte, inline when that fits
    // the value field, otherwise in its slot.
    void text(uint32_t ifd, int index, uint16_t tag, std::string_view s, uint32_t slot,
              uint32_t max_chars) {
        s = s.substr(0, std::min<std::size_t>(s.find('\0'), max_chars));
        const uint32_t count = uint32_t(s.size()) + 1;
        if (count <= 4) {
            bytes(entry(ifd, index, tag, kAsciiType, count, 0), s);
        } else {
            entry(ifd, index, tag, kAsciiType, count, slot);
            bytes(slot, s);
        }
    }

    // A date: always 20 bytes (19 characters and zero padding) in its slot.
    void date(uint32_t ifd, int index, uint16_t tag, std::string_view s, uint32_t slot) {
        entry(ifd, index, tag, kAsciiType, kDateChars + 1, slot);
        bytes(slot, s.substr(0, std::min<std::size_t>(s.find('\0'), kDateChars)));
    }

    void rational(uint32_t offset, uint32_t numerator, uint32_t denominator) {
        u32(offset, numerator);
        u32(offset + 4, denominator);
    }

  private:
    uint8_t* tiff_;
};

void write_segment_header(std::vector<uint8_t>& out) {
    const std::size_t app1_length = kTemplateSize - 4;  // from the length field to the end
    const uint8_t head[] = {kMarker,
                            kSoi,
                            kMarker,
                            kApp1,
                            uint8_t(app1_length >> 8),
                            uint8_t(app1_length & 0xFF),
                            'E',
                            'x',
                            'i',
                            'f',
                            0,
                            0,
                            'I',
                            'I',
                            42,
                            0};
    std::memcpy(out.data(), head, sizeof head);
}

void write_ifd0(TemplateWriter& w, const CameraFields& f) {
    w.u32(4, kIfd0);
    w.u16(kIfd0, kIfd0Entries);
    int i = 0;
    w.text(kIfd0, i++, kMake, f.make, kMakeSlot, kMakeChars);
    w.text(kIfd0, i++, kModel, f.model, kModelSlot, kModelChars);
    w.entry(kIfd0, i++, kOrientation, kShort, 1, 1);
    w.entry(kIfd0, i++, kXResolution, kRationalType, 1, kXResolutionValue);
    w.entry(kIfd0, i++, kYResolution, kRationalType, 1, kYResolutionValue);
    w.entry(kIfd0, i++, kResolutionUnit, kShort, 1, 2);
    w.date(kIfd0, i++, kDateTime, f.date_time, kDateSlot);
    w.entry(kIfd0, i++, kArtist, kAsciiType, 1, 0);
    w.entry(kIfd0, i++, kYCbCrPositioning, kShort, 1, 2);
    w.entry(kIfd0, i++, kCopyright, kAsciiType, 1, 0);
    w.entry(kIfd0, i++, kExifIfd, kLong, 1, kExifIfdOffset);
    w.u32(kIfd0 + 2 + kIfd0Entries * kEntrySize, kIfd1);
    w.rational(kXResolutionValue, 72, 1);
    w.rational(kYResolutionValue, 72, 1);
    // IFD1 at kIfd1: no entries and no next IFD, all zero bytes.
}

void write_exif_ifd(TemplateWriter& w, const CameraFields& f) {
    const uint32_t iso = uint32_t(std::clamp<int32_t>(f.iso_speed, 0, 0xFFFF));
    w.u16(kExifIfdOffset, kExifEntries);
    int i = 0;
    w.entry(kExifIfdOffset, i++, kExposureTime, kRationalType, 1, kExposureValue);
    w.entry(kExifIfdOffset, i++, kFNumber, kRationalType, 1, kFNumberValue);
    w.entry(kExifIfdOffset, i++, kExposureProgram, kShort, 1, 3);
    w.entry(kExifIfdOffset, i++, kIsoSpeed, kShort, 1, iso);
    w.entry(kExifIfdOffset, i++, kSensitivityType, kShort, 1, 2);
    w.entry(kExifIfdOffset, i++, kRecommendedExposureIndex, kLong, 1, 100);
    w.bytes(w.entry(kExifIfdOffset, i++, kExifVersion, kUndefinedType, 4, 0), "0230");
    w.date(kExifIfdOffset, i++, kDateTimeOriginal, f.date_time, kDateOriginalSlot);
    w.date(kExifIfdOffset, i++, kDateTimeDigitized, f.date_time, kDateDigitizedSlot);
    // The next-IFD offset after the entries stays 0.
    w.rational(kExposureValue, f.exposure_time >> 16, f.exposure_time & 0xFFFF);
    w.rational(kFNumberValue, f.f_number >> 16, f.f_number & 0xFFFF);
}

}  // namespace

ExifLocation locate_exif(const uint8_t* data, std::size_t size) {
    ExifLocation at;
    if (size < 2 || data[0] != kMarker || data[1] != kSoi) return at;
    bool after_exif = false;
    Segment seg;
    for (std::size_t pos = 2; header_segment_at(data, size, pos, seg); pos = seg.end) {
        const bool exif = is_exif_segment(data, seg);
        if (exif && !at.found()) {
            at.tiff_offset = seg.payload + kTiffInSegment;
            at.tiff_length = seg.payload_length - kTiffInSegment;
        }
        if (exif || (after_exif && seg.marker == kApp1)) at.block_length = seg.end;
        after_exif = exif;
    }
    return at;
}

CameraFields parse_tiff(const uint8_t* tiff, std::size_t size) {
    CameraFields f;
    if (size < 8) return f;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return f;
    const TiffView view(tiff, size, big);
    uint16_t magic = 0;
    uint32_t ifd0 = 0;
    if (!view.u16(2, magic) || magic != 42 || !view.u32(4, ifd0)) return f;
    uint32_t exif_ifd = 0;
    bool has_exif_ifd = false;
    for_each_entry(view, ifd0, [&](const Entry& e) {
        switch (e.tag) {
            case kMake:
                read_text(view, e, f.make);
                break;
            case kModel:
                read_text(view, e, f.model);
                break;
            case kDateTime:
                read_text(view, e, f.date_time);
                break;
            case kExifIfd:
                has_exif_ifd = view.u32(e.value_field, exif_ifd);
                break;
            default:
                break;
        }
    });
    if (!has_exif_ifd) return f;
    for_each_entry(view, exif_ifd, [&](const Entry& e) {
        switch (e.tag) {
            case kExposureTime:
                read_rational(view, e, f.exposure_time);
                break;
            case kFNumber:
                read_rational(view, e, f.f_number);
                break;
            case kIsoSpeed:
                read_integer(view, e, f.iso_speed);
                break;
            default:
                break;
        }
    });
    return f;
}

CameraFields read_camera_fields(const uint8_t* data, std::size_t size, const ExifLocation& at) {
    if (!at.found() || at.tiff_offset > size || at.tiff_length > size - at.tiff_offset) return {};
    return parse_tiff(data + at.tiff_offset, at.tiff_length);
}

bool read_exif_into(const uint8_t* data, std::size_t size, ImageRecord& out) {
    const ExifLocation at = locate_exif(data, size);
    const CameraFields f = read_camera_fields(data, size, at);
    out.exif_block.assign(data, data + at.block_length);
    set_camera_text(out.camera_make, f.make);
    set_camera_text(out.camera_model, f.model);
    set_camera_text(out.date_time, f.date_time);
    out.exposure_time = f.exposure_time;
    out.f_number = f.f_number;
    out.iso_speed = f.iso_speed;
    return at.found();
}

bool is_valid_block(const std::vector<uint8_t>& block) {
    const ExifLocation at = locate_exif(block.data(), block.size());
    return at.found() && at.block_length == block.size();
}

std::vector<uint8_t> build_template(const CameraFields& fields) {
    std::vector<uint8_t> out(kTemplateSize, 0);
    write_segment_header(out);
    TemplateWriter w(out);
    write_ifd0(w, fields);
    write_exif_ifd(w, fields);
    return out;
}

CameraFields fields_of(const ImageRecord& record) {
    return {record.camera_make,   record.camera_model, record.date_time,
            record.exposure_time, record.f_number,     record.iso_speed};
}

}  // namespace vora::exif
