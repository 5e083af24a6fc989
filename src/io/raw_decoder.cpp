#include "io/raw_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <new>

#include "core/workbench.h"
#include "io/dark_frames.h"
#include "io/libraw_session.h"
#include "io/raw_dark.h"
#include "io/raw_develop.h"

namespace vora {
namespace {

// trunc(q), except that a q within 0.001 of a whole number counts as that number.
int64_t near_trunc(double q) {
    const double nearest = std::round(q);
    return std::fabs(q - nearest) < 0.001 ? int64_t(nearest) : int64_t(std::trunc(q));
}

void fill_camera_fields(const RawCameraInfo& info, ImageRecord& out) {
    set_camera_text(out.camera_make, info.make);
    set_camera_text(out.camera_model, info.model);
    out.date_time = raw_date_text(info.timestamp);
    const double iso = info.iso_speed;
    out.iso_speed = std::isfinite(iso) && iso > 0 && iso < 2e9 ? int32_t(iso) : 0;
    out.exposure_time = pack_raw_exposure(info.shutter);
    out.f_number = pack_raw_f_number(info.aperture);
}

bool raw_dark_loaded(const DarkFrames& dark) {
    return dark.loaded() && dark.kind == kKindRaw;
}

// The single place where the RAW dark frames meet the sensor values, before any interpolation.
// option2 = defect level × 256 + defect handling.
void apply_raw_dark(const DarkFrames& dark, const RawSensorView& sensor, int32_t option2) {
    if (raw_dark_loaded(dark)) subtract_raw_dark(dark, sensor, option2);
}

// Moves the developed picture and its camera fields into the caller's record.
bool has_full_planes(const ImageRecord& r) {
    const std::size_t n = r.sample_count();
    return n > 0 && r.red.size() == n && r.green.size() == n && r.blue.size() == n;
}

ReadResult develop_staged(const Workbench& wb, const std::string& path, ImageRecord& staged,
                          int32_t option1, int32_t option2, int32_t option3) {
    LibRawSession session;
    if (ReadResult r = session.open(path); !r.ok()) return r;
    fill_camera_fields(session.camera(), staged);
    if (option1 == 0) {
        const auto develop = [&](const RawSensorView& sensor) {
            apply_raw_dark(wb.dark, sensor, option2);
            develop_fast(sensor, wb.settings.raw, option3, staged);
        };
        if (ReadResult r = session.with_sensor(develop); !r.ok()) return r;
    } else {
        const int quality = option1 >= 1 && option1 <= 4 ? option1 - 1 : 0;
        // The hook copies the decoder's values out and back: only worth it with a dark frame.
        LibRawSession::SensorHook subtract_dark;
        if (raw_dark_loaded(wb.dark))
            subtract_dark = [&](RawSensor& sensor) { apply_raw_dark(wb.dark, sensor, option2); };
        if (ReadResult r = session.interpolate(quality, subtract_dark, staged); !r.ok()) return r;
    }
    if (!has_full_planes(staged)) return read_failed(ReadStatus::corrupt, "nothing developed");
    return read_ok();
}

}  // namespace

uint32_t pack_raw_exposure(double shutter) {
    if (!std::isfinite(shutter) || shutter <= 0) return 0;
    if (shutter < 1) {
        const int64_t den = near_trunc(10.0 / shutter);
        // Shorter than 10/65535 s: 1/n keeps the time where 10/n no longer fits 16 bits.
        if (den > 0xFFFF)
            return pack_rational(1, uint32_t(std::min<int64_t>(near_trunc(1.0 / shutter), 0xFFFF)));
        return pack_rational(10, uint32_t(den));
    }
    if (shutter * 10 > 0xFFFF)
        return pack_rational(uint32_t(std::min(std::trunc(shutter), 65535.0)), 1);
    return pack_rational(uint32_t(near_trunc(shutter * 10)), 10);
}

uint32_t pack_raw_f_number(double aperture) {
    if (!std::isfinite(aperture) || aperture <= 0) return 0;
    return pack_rational(uint32_t(std::min<int64_t>(near_trunc(aperture * 10), 0xFFFF)), 10);
}

std::string raw_date_text(int64_t timestamp) {
    if (timestamp <= 0) return {};
    const std::time_t t = std::time_t(timestamp);
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

ReadResult decode_raw_sensor(const std::string& path, RawSensor& out) {
    LibRawSession session;
    if (ReadResult r = session.open(path); !r.ok()) return r;
    return session.sensor(out);
}

ReadResult develop_raw(const Workbench& wb, const std::string& path, ImageRecord& out,
                       int32_t option1, int32_t option2, int32_t option3) {
    try {
        ImageRecord staged;
        ReadResult r = develop_staged(wb, path, staged, option1, option2, option3);
        if (r.ok()) {
            staged.name = path;
            staged.exif_block.clear();
            adopt_picture(out, std::move(staged));
        }
        return r;
    } catch (const std::bad_alloc&) {
        return read_failed(ReadStatus::unsupported, "not enough memory");
    }
}

ReadResult read_raw(const Workbench& wb, const std::string& path, ImageRecord& out) {
    const RawSettings& raw = wb.settings.raw;
    const DarkSettings& dark = wb.settings.dark;
    const int32_t option1 = (raw.quality + 1) * raw.method;
    // The level counts only for "average of the surrounding pixels".
    const int32_t level = dark.defect_handling == kDefectAverage ? dark.defect_level : 0;
    const int32_t option2 = level * 256 + dark.defect_handling;
    const int32_t option3 = raw.hue * 2 - 36;
    return develop_raw(wb, path, out, option1, option2, option3);
}

}  // namespace vora
