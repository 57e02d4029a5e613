#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace vips {

// A file that takes the place of `destination` only when Commit() succeeds:
// the bytes go to a temporary file created exclusively in the destination's
// folder (never through a link), with a recognisable name so that one left by
// a killed process is never mistaken for a real file; Commit() flushes it to
// stable storage and renames it over the destination in one step (a link
// standing at the destination is replaced, never followed; a pipe, a socket,
// a folder or a device there is refused with "File access denied"). The
// temporary name always fits the file system's name limit; a run holds its
// temporary file locked, and a successful Commit() removes the ones of
// earlier runs for the same destination that no process holds. Without Commit(),
// or when Commit() fails, the destructor removes the temporary file and the
// destination is exactly as it was. Failures throw vips::Error with the file
// layer's texts.
class ReplacementFile {
 public:
  // The part of a temporary file's name that marks it as one.
  static constexpr const char* kTemporaryMark = ".vips-incomplete-";

  static ReplacementFile Create(const std::string& destination);

  ReplacementFile(ReplacementFile&& other) noexcept;
  ReplacementFile& operator=(ReplacementFile&& other) noexcept;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  [[nodiscard]] const std::string& TemporaryPath() const { return temporary_; }
  // Writes all `size` bytes after those written before.
  void Append(const void* bytes, std::size_t size);
  // Gives the new file the permission bits of `source` (POSIX); does nothing
  // where the system has no such bits.
  void CopyPermissionsFrom(const std::string& source);
  // Flushes the new file to stable storage and renames it over the
  // destination. On failure the temporary file is removed and the
  // destination is as it was.
  void Commit();

 private:
#ifdef _WIN32
  using Native = void*;
  static constexpr Native kClosed = nullptr;
#else
  using Native = int;
  static constexpr Native kClosed = -1;
#endif
  ReplacementFile(std::string destination, std::string temporary, Native handle,
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
  Native handle_;
  bool committed_ = false;
};

}  // namespace vips
