#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "core/files/file_access.hpp"

namespace vips {

// The file beside a file being patched that holds its old bytes while it is
// written: created new (never through a link, never over another file),
// written from its start, flushed, removed. Failures throw vips::Error with
// the file layer's texts and the journal's path.
class JournalFile {
 public:
  static JournalFile Create(const std::string& path);
  // Removes the journal at `path` (none there is fine); with `durable`, the
  // removal is flushed to the disk with the folder.
  static void Remove(const std::string& path, bool durable);

  void Append(const void* bytes, std::size_t size);
  // Writes `size` bytes at `position`, over bytes appended before.
  void WriteAt(std::uint64_t position, const void* bytes, std::size_t size);
  // StartWriteBack for the journal.
  void StartWriteBack(std::uint64_t position, std::uint64_t size) noexcept {
    vips::StartWriteBack(handle_.Get(), position, size);
  }
  // The bytes to the disk, then, with `withName`, the journal's name with its folder.
  void Flush(bool withName = true);
  // Flushed or not needed flushed: a failing close changes nothing that the
  // journal's check would not find.
  void Close() { handle_.Reset(); }

 private:
  JournalFile(std::string path, NativeHandle handle) : path_(std::move(path)), handle_(handle) {}
  std::string path_;
  FileHandle handle_;
};

}  // namespace vips
