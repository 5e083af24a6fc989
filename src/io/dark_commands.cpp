#include "io/dark_commands.h"

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "core/workbench.h"
#include "io/fits.h"
#include "io/raw_dark.h"
#include "io/raw_decoder.h"
#include "io/registry.h"

namespace vora {
namespace {

// Frames read so far, all of `kind`; averaged into the workbench when the list is complete.
struct StagedFrames {
    int kind = -1;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<ImageRecord> frames16;
    std::vector<FitsValues> fits;
    std::vector<RawSensor> raw;
    int count() const { return int(frames16.size() + fits.size() + raw.size()); }
};

bool full_planes(const ImageRecord& r) {
    const std::size_t n = std::size_t(r.width) * std::size_t(r.height);
    return r.width > 0 && r.height > 0 && r.red.size() == n && r.green.size() == n &&
           r.blue.size() == n;
}

// Reads one dark file of the staged kind and reports its size.
ReadResult read_dark_file(const Workbench& wb, const std::string& path, StagedFrames& staged,
                          int32_t& width, int32_t& height) {
    ReadResult r;
    if (staged.kind == kKindFits) {
        FitsValues v;
        if (r = read_fits_values(path, v); !r.ok()) return r;
        width = v.width;
        height = v.height;
        staged.fits.push_back(std::move(v));
    } else if (staged.kind == kKindRaw) {
        RawSensor s;
        if (r = decode_raw_sensor(path, s); !r.ok()) return r;
        if (s.empty() || s.values.size() != std::size_t(s.width) * std::size_t(s.height))
            return read_failed(ReadStatus::corrupt, "no sensor values");
        width = s.width;
        height = s.height;
        staged.raw.push_back(std::move(s));
    } else {
        const FormatHandlers handlers = format_handlers(FileKind(staged.kind));
        if (!handlers.read)
            return read_failed(ReadStatus::unsupported, "this file type cannot be read yet");
        ImageRecord frame;
        if (r = handlers.read(wb, path, frame); !r.ok()) return r;
        if (!full_planes(frame)) return read_failed(ReadStatus::corrupt, "incomplete planes");
        width = frame.width;
        height = frame.height;
        staged.frames16.push_back(std::move(frame));
    }
    return r;
}

// 16-bit frames: the sum over the frames, divided by their number (truncated), into the first.
void average_frames16(std::vector<ImageRecord>& frames) {
    const std::size_t n = frames.size();
    for (int c = 0; c < 3; ++c) {
        Plane& out = frames[0].plane(c);
        for (std::size_t i = 0; i < out.size(); ++i) {
            uint32_t sum = 0;
            for (const ImageRecord& f : frames) sum += f.plane(c)[i];
            out[i] = uint16_t(sum / n);
        }
    }
    frames.resize(1);
}

// FITS frames: each value divided by the number of frames, truncated, before summing.
void average_fits(std::vector<FitsValues>& frames) {
    const int64_t n = int64_t(frames.size());
    for (std::size_t c = 0; c < 3; ++c) {
        std::vector<int32_t>& out = frames[0].colour[c];
        for (std::size_t i = 0; i < out.size(); ++i) {
            int64_t sum = 0;
            for (const FitsValues& f : frames) sum += f.colour[c][i] / n;
            out[i] = int32_t(sum);
        }
    }
    frames.resize(1);
}

// Averages the staged frames and makes them the workbench's dark frame.
void install(StagedFrames& staged, DarkFrames& dark) {
    dark.kind = staged.kind;
    dark.width = staged.width;
    dark.height = staged.height;
    dark.frame_count = staged.count();
    if (!staged.frames16.empty()) {
        average_frames16(staged.frames16);
        dark.frame16 = std::move(staged.frames16[0]);
    } else if (!staged.fits.empty()) {
        average_fits(staged.fits);
        dark.fits_planes = std::move(staged.fits[0].colour);
    } else {
        average_raw_darks(staged.raw);
        dark.raw = std::move(staged.raw[0]);
    }
}

CommandResult load_dark_files(const Workbench& wb,
                              const std::array<std::string, kDarkFileCount>& list,
                              StagedFrames& staged) {
    for (const std::string& path : list) {
        if (path.empty()) continue;
        const FileKind kind = file_kind(path);
        if (staged.kind < 0) {
            if (kind == kKindUnknown)
                return CommandResult::fail(
                    format_message(msg::kFormatNotSupported, path, kProgramName));
            staged.kind = kind;
        } else if (kind != staged.kind) {
            return CommandResult::fail(msg::kDarkFormatDiffers);
        }
        const bool first = staged.count() == 0;
        int32_t width = 0, height = 0;
        const ReadResult read = read_dark_file(wb, path, staged, width, height);
        if (!read.ok())
            return CommandResult::fail(format_message(msg::kCannotRead, path, read.detail));
        if (first) {
            staged.width = width;
            staged.height = height;
        } else if (width != staged.width || height != staged.height) {
            return CommandResult::fail(msg::kDarkSizeDiffers);
        }
    }
    return {};
}

}  // namespace

CommandResult set_dark_files(Workbench& wb, const std::array<std::string, kDarkFileCount>& list) {
    wb.dark.files = list;
    drop_dark_frames(wb.dark);  // the old frames go before the new ones are read
    try {
        StagedFrames staged;
        CommandResult result = load_dark_files(wb, list, staged);
        if (result.ok() && staged.count() > 0) install(staged, wb.dark);
        return result;
    } catch (const std::bad_alloc&) {
        drop_dark_frames(wb.dark);
        return CommandResult::fail(msg::kNoMemoryToOpen);
    }
}

}  // namespace vora
