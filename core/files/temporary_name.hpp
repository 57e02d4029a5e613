#pragma once

#include <cstdint>
#include <string>

namespace vips {

// Eight letters and digits made from `seed` (the platform mixes the process,
// a counter and the clock into it), for the names of temporary files.
std::string TemporaryNameSuffix(std::uint64_t seed);

}  // namespace vips
