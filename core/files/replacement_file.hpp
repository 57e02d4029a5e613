#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "core/error.hpp"
#include "core/files/file_access.hpp"

namespace vips {

// Commit()'s failure after the rename: the new file stands under its name, but
// the folder that holds the name could not be flushed (for `cause`), so a crash
// of the system may still bring back what stood there before.
class FolderNotFlushed : public Error {
 public:
  FolderNotFlushed(const std::string& cause, std::string path)
      : Error("the file is in place, but its folder could not be flushed (" + cause +
                  "); a crash of the system may still undo it",
              std::move(path)) {}
};

// A file that takes the place of `destination` only when Commit() succeeds: the
// bytes go to a new, locked temporary file beside it (never through a link),
// which Commit() flushes and renames over the destination in one step (a link
// there is replaced, never followed; a pipe, a socket, a folder or a device is
// refused with "File access denied"), then removes earlier runs' temporary files
// that no process holds. Otherwise the destination stays exactly as it was.
// Commit() returns once the new name is on the disk; where the folder cannot
// be flushed after the rename it throws FolderNotFlushed. Commit(false) waits
// for no disk: neither the file nor its folder is flushed, so a crash of the
// system before they reach it may leave the destination old, empty or partly
// written. Other failures throw vips::Error with the file layer's texts.
class ReplacementFile {
 public:
  // The part of a temporary file's name that marks it as one.
  static constexpr const char* kTemporaryMark = ".vips-incomplete-";

  static ReplacementFile Create(const std::string& destination);
  ~ReplacementFile() { Discard(); }

  [[nodiscard]] const std::string& TemporaryPath() const { return temporary_; }
  // Writes all `size` bytes after those written before.
  void Append(const void* bytes, std::size_t size);
  // Gives the new file the permission bits of `source` (on Windows, which has
  // none, its read-only attribute).
  void CopyPermissionsFrom(const std::string& source);
  void Commit(bool durable = true);

 private:
  ReplacementFile(std::string destination, std::string temporary, NativeHandle handle,
                  std::string prefix = {})
      : destination_(std::move(destination)),
        temporary_(std::move(temporary)),
        prefix_(std::move(prefix)),
        handle_(handle) {}
  void Discard() noexcept;

  std::string destination_;
  std::string temporary_;
  // The temporary names for this destination start with it.
  std::string prefix_;
  FileHandle handle_;
  bool committed_ = false;
};

}  // namespace vips
