#pragma once

#include <string>

namespace vips {

// Copies the whole file `from` to `to`, all or nothing: the bytes go to a new
// temporary file beside `to`, flushed to stable storage and renamed over `to`
// in one step, with `from`'s permission bits. On any failure or interruption
// `to` is exactly as it was and no temporary file remains.
//
// Refused: a source that is a link or no regular file; a destination that is
// the source itself, read-only, or neither a regular file nor a link (a link
// standing at `to` is replaced, never followed). An existing destination is
// locked as the applier locks an original file while the copy runs, and the
// source with a shared lock, so a copy over or of a file that another run of
// this program is patching fails at once with the system's lock error.
//
// Throws vips::Error with the text of the cause and the path it concerns.
void CopyWholeFileOrThrow(const std::string& from, const std::string& to);

// The same copy, returning false where the copy above throws.
[[nodiscard]] bool CopyWholeFile(const std::string& from, const std::string& to) noexcept;

}  // namespace vips
