#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vips {

// Eight letters and digits made from `seed`, for the names of temporary files.
std::string TemporaryNameSuffix(std::uint64_t seed);
// Such a suffix that no other run picks at the same moment: made from the
// clock, a counter and `process`, the caller's process number.
std::string UniqueNameSuffix(std::uint64_t process);

// The hidden name of a file that belongs to the file `name` in the same
// folder, without its last `room` bytes: "." + name + `mark`, the whole at
// most `nameLimit` bytes. A name too long for that keeps its start (whole
// UTF-8 characters) and gets eight letters made from the whole name instead
// of its end, so that the same name always gives the same prefix.
std::string CompanionPrefix(const std::string& name, const char* mark, std::size_t room,
                            std::size_t nameLimit);

}  // namespace vips
