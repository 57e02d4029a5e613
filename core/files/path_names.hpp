#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vips {

// The part of a path after its last separator (the whole path if it has
// none): the backslash, the slash and the colon on Windows, else the slash.
std::string BareName(const std::string& path);

// The backup file of an original file: its full path with "_backup" appended.
std::string BackupPathOf(const std::string& originalPath);

// The file `path` stands for: itself, or where a symbolic link is, the file it leads to through
// any links, as the applier writes through them; a dangling link comes back for the copy to refuse.
[[nodiscard]] std::string FileBehindLinks(const std::string& path);

// The other names in its folder of the file at `path`, as paths: its hard
// links there. Empty for a file of one name, and where it cannot be told.
[[nodiscard]] std::vector<std::string> OtherNamesInFolder(const std::string& path);

// Eight letters and digits for a temporary name that no other run picks at the
// same moment, made from the clock, a counter and the caller's `process` number.
std::string UniqueNameSuffix(std::uint64_t process);

// The longest name the folder of the file at `path` takes.
std::size_t NameLimitOf(const std::string& path);

// The hidden name of a file belonging to the file `name` in the same folder,
// less its last `room` bytes: "." + name + `mark`, at most `nameLimit` bytes.
// A name too long keeps its start (whole UTF-8 characters) and gets eight
// letters made from the whole name for its end, the same for the same name.
std::string CompanionPrefix(const std::string& name, const char* mark, std::size_t room,
                            std::size_t nameLimit);
// The same name, for the file at `path` and its folder's name limit, in that folder.
std::string CompanionPath(const std::string& path, const char* mark, std::size_t room);

}  // namespace vips
