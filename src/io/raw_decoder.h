// Camera RAW files through the decoder library (LibRaw): identification, unpacking, metadata,
// the sensor values for the program's own development and the decoder's own interpolation.
#pragma once

#include <cstdint>
#include <string>

#include "core/image_record.h"
#include "io/io_status.h"
#include "io/raw_sensor.h"

namespace vora {

struct Workbench;

// Decodes `path` into its sensor values (as they are subtracted as dark frames and developed),
// without developing them.
ReadResult decode_raw_sensor(const std::string& path, RawSensor& out);

// develop raw: option1 = (quality + 1) × method (0 fast development, 1..4 the decoder's
// interpolation at quality 0..3), option2 = defect level × 256 + defect handling, option3 =
// hue × 2 − 36. Fills size, planes and the camera fields; leaves `out` alone on failure.
ReadResult develop_raw(const Workbench& wb, const std::string& path, ImageRecord& out,
                       int32_t option1, int32_t option2, int32_t option3);

// The registry's reader for kind 10: develop_raw with the options of the workbench's settings.
ReadResult read_raw(const Workbench& wb, const std::string& path, ImageRecord& out);

// Camera fields as the development stores them. Exposure below 1 s: 10 / trunc(10 ÷ shutter),
// otherwise trunc(shutter × 10) / 10; f-number trunc(aperture × 10) / 10. A quotient within
// 0.001 of a whole number counts as that number (the decoder's times are floats: 1/250 s
// gives 2499.99…). Times below 10/65535 s, whose 10/n would not fit, become 1/n. Packed as
// pack_rational does; 0 for unknown (≤ 0) values.
uint32_t pack_raw_exposure(double shutter);
uint32_t pack_raw_f_number(double aperture);
// "%04d:%02d:%02d %02d:%02d:%02d" of the time stamp in local time; empty if it has none.
std::string raw_date_text(int64_t timestamp);

}  // namespace vora
