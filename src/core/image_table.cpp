#include "core/image_table.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>

namespace vora {

uint64_t system_available_memory() {
    // MemAvailable counts reclaimable cache too; sysinfo's free RAM is the fallback on
    // kernels that do not report it.
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t value = 0;
    std::string unit;
    while (meminfo >> key >> value >> unit)
        if (key == "MemAvailable:") return value * 1024;
    struct sysinfo info {};
    if (sysinfo(&info) == 0)
        return (uint64_t(info.freeram) + uint64_t(info.bufferram)) * info.mem_unit;
    return std::numeric_limits<uint64_t>::max();
}

void init_image_table(ImageTable& table) {
    for (ImageRecord& r : table.image_table) r = ImageRecord{};
    table.current_slot = -1;
    table.all_images_mode = 0;
}

bool probe_memory(const ImageTable& table, int slot, int count, int w, int h) {
    int64_t n;
    if (slot >= 0) {
        if (!table.valid_slot(slot)) return false;
        n = int64_t(table[slot].width) * table[slot].height;
    } else if (w < 1 || h < 1) {
        n = kMinProbeSamples;
        for (const ImageRecord& r : table.image_table)
            n = std::max<int64_t>(n, int64_t(r.width) * r.height);
    } else {
        n = int64_t(w) * h;
    }
    if (n < 1) return true;
    if (count < 1 || count > 8) count = 8;
    // Under memory overcommit a trial allocation proves nothing, so the bytes the command
    // will need are compared with what the system reports available.
    const uint64_t needed = uint64_t(count) * uint64_t(n) * 3u * 2u;
    return needed <= table.available_memory();
}

int find_free_slot(const ImageTable& table) {
    if (!probe_memory(table, -1, 1)) return -1;
    for (int i = 0; i < kSlotCount; ++i)
        if (table[i].width == 0 || table[i].height == 0) return i;
    return -1;
}

void release_slot(ImageRecord& r) {
    r.name.clear();
    r.width = r.height = r.undo_width = r.undo_height = 0;
    r.zoom = 100;
    r.scroll_x = r.scroll_y = 0;
    r.point_a_x = r.point_a_y = r.point_b_x = r.point_b_y = -1;
    for (Plane* p : {&r.red, &r.green, &r.blue, &r.undo_red, &r.undo_green, &r.undo_blue})
        Plane().swap(*p);
    std::vector<uint8_t>().swap(r.exif_block);
    r.undo_available = r.redo_available = r.stats_stale = r.changed = 0;
    r.mono = r.undo_mono = 0;
    r.histogram_peak = 1;
    r.camera_make.clear();
    r.camera_model.clear();
    r.date_time.clear();
    r.exposure_time = r.f_number = 0;
    r.iso_speed = 0;
}

void copy_record(const ImageRecord& src, ImageRecord& dst) {
    if (&src == &dst) return;
    dst.red = src.red;  // assignment reuses dst's memory when it is large enough
    dst.green = src.green;
    dst.blue = src.blue;
    dst.width = src.width;
    dst.height = src.height;
    dst.mono = src.mono;
    dst.exif_block = src.exif_block;
    dst.camera_make = src.camera_make;
    dst.camera_model = src.camera_model;
    dst.date_time = src.date_time;
    dst.exposure_time = src.exposure_time;
    dst.f_number = src.f_number;
    dst.iso_speed = src.iso_speed;
}

void expand_mono(ImageRecord& r) {
    if (r.mono != 1) return;
    r.green = r.red;
    r.blue = r.red;
}

void compute_statistics(ImageRecord& r) {
    if (r.width < 1 || r.height < 1) {
        r.max_value.fill(65535);
        r.min_value.fill(0);
        r.mean_value.fill(32768);
        return;
    }
    const std::size_t w = std::size_t(r.width);
    for (int c = 0; c < 3; ++c) {
        const uint16_t* p = r.plane(c).data();
        uint16_t lo = 65535, hi = 0;
        uint64_t sum_of_row_means = 0;
        for (int y = 0; y < r.height; ++y, p += w) {
            uint64_t row_sum = 0;
            for (std::size_t x = 0; x < w; ++x) {
                const uint16_t v = p[x];
                row_sum += v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            sum_of_row_means += row_sum / w;  // mean of the row means, integer divisions
        }
        r.max_value[std::size_t(c)] = hi;
        r.min_value[std::size_t(c)] = lo;
        r.mean_value[std::size_t(c)] = int32_t(sum_of_row_means / uint64_t(r.height));
    }
}

void compute_histogram(ImageRecord& r) {
    for (auto& h : r.histogram) h.fill(0);
    r.histogram_count = 0;
    if (r.width < 1 || r.height < 1) {
        r.histogram_peak = 1;
        return;
    }
    // About 100 × 100 samples whatever the size, so it can run at every paint.
    const int step_x = r.width / 100 + 1;
    const int step_y = r.height / 100 + 1;
    for (int y = 0; y < r.height; y += step_y) {
        const std::size_t row = std::size_t(y) * std::size_t(r.width);
        for (int x = 0; x < r.width; x += step_x) {
            for (int c = 0; c < 3; ++c) ++r.histogram[std::size_t(c)][r.plane(c)[row + std::size_t(x)] >> 8];
            ++r.histogram_count;
        }
    }
    uint32_t peak = 0;
    for (const auto& h : r.histogram) peak = std::max(peak, *std::max_element(h.begin(), h.end()));
    r.histogram_peak = int32_t(peak);
}

std::string list_label(const ImageTable& table, int slot, LabelStyle style) {
    const std::string& name = table.valid_slot(slot) ? table[slot].name : std::string();
    char number[16];
    std::snprintf(number, sizeof number, style == LabelStyle::selection ? "%03d" : "%02d", slot);
    return std::string(number) + "(" + name + ")";
}

int slot_from_label(const std::string& label) {
    int value = 0;
    std::size_t i = 0;
    for (; i < label.size() && label[i] >= '0' && label[i] <= '9'; ++i) {
        value = value * 10 + (label[i] - '0');
        if (value >= kSlotCount) return -1;
    }
    return i == 0 ? -1 : value;
}

int next_occupied_slot(const ImageTable& table, int from) {
    for (int i = from + 1; i < kSlotCount; ++i)
        if (table[i].occupied()) return i;
    for (int i = 0; i <= from && i < kSlotCount; ++i)
        if (table[i].occupied()) return i;
    return from;
}

int previous_occupied_slot(const ImageTable& table, int from) {
    for (int i = std::min(from, kSlotCount) - 1; i >= 0; --i)
        if (table[i].occupied()) return i;
    for (int i = kSlotCount - 1; i >= std::max(from, 0); --i)
        if (table[i].occupied()) return i;
    return from;
}

int highest_occupied_slot_or_zero(const ImageTable& table) {
    for (int i = kSlotCount - 1; i >= 0; --i)
        if (table[i].occupied()) return i;
    return 0;
}

void close_slot(ImageTable& table, int slot) {
    if (!table.valid_slot(slot)) return;
    release_slot(table[slot]);
    table.current_slot = highest_occupied_slot_or_zero(table);
}

}  // namespace vora
