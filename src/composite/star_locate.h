// Star location of the rotation composite: one star picked in the first image is found in the
// other images by matching the window around it, corrected for the sky level, over a square
// of candidate shifts on the band runner.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image_record.h"

namespace vora {

// A pixel position in stored coordinates: column x and row counted from the bottom.
struct StarPosition {
    int32_t x = 0;
    int32_t row = 0;
    bool operator==(const StarPosition&) const = default;
};

// The star at `star` of images[0], found in every image: element i is star + (dx, dy) for the
// candidate of lowest cost, where (dx, dy) shifts the reference window (2·hw columns by 2·hh
// rows around the star, hw and hh at most rotation_size / 2) to the compared window of image
// i; |dx|, |dy| ≤ compare_range. Element 0 is the star itself.
// Candidates whose window leaves image i are skipped. A window under 2 × 2 (star on or
// beyond an edge, rotation size below 2) gives the star for every image; a null or empty
// image other than the first gets the star and does not narrow the window.
// Ties go to the earlier candidate: the search square is split into four quadrants
// (dx ≤ 0, dy ≤ 0 first, then dx ≥ 0 with dy ≤ 0, dx ≤ 0 with dy ≥ 0, dx ≥ 0 with dy ≥ 0),
// each scanned with dy ascending, dx ascending.
std::vector<StarPosition> locate_stars(const std::vector<const ImageRecord*>& images,
                                       StarPosition star, int32_t rotation_size,
                                       int32_t compare_range);

}  // namespace vora
