#pragma once

#include <string>

#include "core/files/file_access.hpp"

namespace vips {

// Copies the whole file `from` to `to`, all or nothing, through a
// ReplacementFile with `from`'s permission bits: on any failure or
// interruption `to` is exactly as it was.
//
// Refused: a source that is a link or no regular file; a destination that is
// the source itself, read-only, or neither a regular file nor a link (a link
// standing at `to` is replaced, never followed). The source is held with a
// shared lock and an existing destination with the applier's lock, so a copy
// of or over a file that another run of this program is patching fails at
// once with the system's lock error.
//
// Throws vips::Error with the text of the cause and the path it concerns.
void CopyWholeFileOrThrow(const std::string& from, const std::string& to);

// The same copy, returning false where the copy above throws.
[[nodiscard]] bool CopyWholeFile(const std::string& from, const std::string& to) noexcept;

// The platform's check of the destination `to` for the copy above of the
// file `source`; the handle returned holds its lock where the system lets a
// file that is open be renamed over.
FileHandle LockCopyDestination(const std::string& to, const FileIdentity& source);

}  // namespace vips
