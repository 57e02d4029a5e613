#pragma once

#include <string>

#include "core/files/file_access.hpp"

namespace vips {

// Copies the whole file `from` to `to` with its permission bits (on Windows
// its read-only attribute), all or nothing, through a ReplacementFile.
// Refused: a source that is a link or no regular file; a destination that is
// the source itself, read-only, or neither a regular file nor a link (which is
// replaced, never followed). Both are locked (the source shared), so a copy
// of or over a file another run is patching fails at once. Throws vips::Error
// with the cause and its path; FolderNotFlushed when the copy stands but its
// name may not be on the disk.
void CopyWholeFileOrThrow(const std::string& from, const std::string& to);

// The same copy from `source`, a regular file already open for reading and
// locked by the caller (whose lock then keeps every other run out).
void CopyOpenFileOrThrow(ExistingFile& source, const std::string& to);

// The same copy, returning false where the copy above throws.
[[nodiscard]] bool CopyWholeFile(const std::string& from, const std::string& to) noexcept;

// The platform's check of the copy's destination `to`; the handle returned
// holds its lock where the system lets an open file be renamed over.
FileHandle LockCopyDestination(const std::string& to, const FileIdentity& source);

}  // namespace vips
