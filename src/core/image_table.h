// The image table: 256 fixed slots, the current slot and all-images mode, and the slot
// helpers every command uses.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/image_record.h"

namespace vora {

inline constexpr int kSlotCount = 256;
// The fewest samples a probe for "the largest image" assumes.
inline constexpr int64_t kMinProbeSamples = 0x200000;

// Bytes of memory the system can hand out now; the table asks this before a command runs.
using MemoryGauge = std::function<uint64_t()>;
uint64_t system_available_memory();

struct ImageTable {
    std::array<ImageRecord, kSlotCount> image_table;
    int32_t current_slot = -1;
    int32_t all_images_mode = 0;
    MemoryGauge available_memory = system_available_memory;

    ImageRecord& operator[](int slot) { return image_table[std::size_t(slot)]; }
    const ImageRecord& operator[](int slot) const { return image_table[std::size_t(slot)]; }
    bool valid_slot(int slot) const { return slot >= 0 && slot < kSlotCount; }
    bool has_current() const { return valid_slot(current_slot); }
    // A current slot that holds an image (after closing the last image the current slot
    // is 0 and empty).
    bool has_current_image() const { return has_current() && (*this)[current_slot].occupied(); }
    ImageRecord& current() { return (*this)[current_slot]; }
};

void init_image_table(ImageTable& table);
// Lowest empty slot, or -1 when memory is short or every slot is occupied.
int find_free_slot(const ImageTable& table);
// True when `count` more buffers of n × 3 samples (n as the slot, the largest image or w × h
// decides) fit in the memory the system reports available.
bool probe_memory(const ImageTable& table, int slot, int count, int w = 0, int h = 0);
void release_slot(ImageRecord& record);
void copy_record(const ImageRecord& src, ImageRecord& dst);
void expand_mono(ImageRecord& record);
void compute_statistics(ImageRecord& record);
void compute_histogram(ImageRecord& record);

// The text a slot is offered under in choice lists.
enum class LabelStyle { selection, composite };  // "%03d(%s)" and "%02d(%s)"
std::string list_label(const ImageTable& table, int slot, LabelStyle style);
// The slot a label names: the decimal number before the first '('; -1 when it names none.
int slot_from_label(const std::string& label);

// The occupied slot after / before `from`, wrapping; `from` itself when none other is.
int next_occupied_slot(const ImageTable& table, int from);
int previous_occupied_slot(const ImageTable& table, int from);
// Highest occupied slot, or 0 when the table is empty (the current slot after a close).
int highest_occupied_slot_or_zero(const ImageTable& table);
// Releases a slot (the caller has asked about saving) and makes the highest occupied slot,
// or 0, current.
void close_slot(ImageTable& table, int slot);

}  // namespace vora
