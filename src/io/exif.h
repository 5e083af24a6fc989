// Exif data of camera JPEGs: finding the Exif application segments at the start of a file,
// reading the camera fields the workbench shows, and the Exif header written for pictures
// that have no block of their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/image_record.h"

namespace vora::exif {

// The camera fields of an image record, as read from (or written to) an Exif block.
struct CameraFields {
    std::string make;            // tag 271, at most kCameraTextMax characters
    std::string model;           // tag 272
    std::string date_time;       // tag 306
    uint32_t exposure_time = 0;  // tag 33434, packed as pack_rational does
    uint32_t f_number = 0;       // tag 33437
    int32_t iso_speed = 0;       // tag 34855
};

// Where the Exif data sit in a JPEG file.
struct ExifLocation {
    // Length of the kept block: from the start of the file to the end of the last Exif APP1
    // segment (and an APP1 segment directly after it). 0 when the file has no Exif segment.
    std::size_t block_length = 0;
    // The TIFF data (byte-order mark onwards) of the first Exif segment, bounded by its segment.
    std::size_t tiff_offset = 0;
    std::size_t tiff_length = 0;
    bool found() const { return block_length > 0; }
};

// Scans the segments that follow SOI up to the first one that is neither APPn nor COM. Only
// complete segments count; nothing outside [data, data + size) is read.
ExifLocation locate_exif(const uint8_t* data, std::size_t size);

// Reads the camera fields from TIFF data in either byte order. Every offset and count is
// checked against `size`; tags whose data lie outside are ignored.
CameraFields parse_tiff(const uint8_t* tiff, std::size_t size);

// Fields of the file's first Exif segment (all empty / zero when there is none).
CameraFields read_camera_fields(const uint8_t* data, std::size_t size, const ExifLocation& at);

// Finds the Exif block at the start of a JPEG file and stores it and its camera fields in
// `out` (an empty block, empty texts and zero values when the file has none). Touches only
// the Exif fields of the record. Returns whether an Exif segment was found.
bool read_exif_into(const uint8_t* data, std::size_t size, ImageRecord& out);

// True when a kept block is fit to start a JPEG file: SOI, then whole APPn / COM segments
// filling it exactly, among them an Exif APP1 segment.
bool is_valid_block(const std::vector<uint8_t>& block);

// The fixed Exif header (SOI and an Exif APP1 segment of 764 bytes) filled from the fields.
inline constexpr std::size_t kTemplateSize = 768;
std::vector<uint8_t> build_template(const CameraFields& fields);

// The empty APP1 segment written after the template.
inline constexpr std::array<uint8_t, 16> kEmptyApp1 = {0xFF, 0xE1, 0x00, 0x0E};

// The record's camera fields.
CameraFields fields_of(const ImageRecord& record);

}  // namespace vora::exif
