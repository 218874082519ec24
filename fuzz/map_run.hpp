#pragma once
// mapgen's map computation, as its run performs it, with every intermediate
// result checked.

#include "map_choices.hpp"
#include "memory_file.hpp"

#include <string>

namespace quen::fuzz {

// Decodes and analyses the video at `input_path`, aggregates, segments and
// writes the ROI map into `map` with mapgen's choices (agg fallback max, low
// values positive) and its console reports. A video that mapgen would refuse
// comes out as the exception mapgen would report; a broken property ends
// the process.
void run_map_computation(const std::string& input_path, const MemoryFile& map, const MapChoices& choices);

}  // namespace quen::fuzz
