#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vips {

// Error texts of failed file operations.
inline constexpr const char* kFileNotFound = "File not found";
inline constexpr const char* kInvalidFilename = "Invalid filename";
inline constexpr const char* kTooManyOpenFiles = "Too many open files";
inline constexpr const char* kFileAccessDenied = "File access denied";
inline constexpr const char* kReadBeyondEnd = "Read beyond end of file";
inline constexpr const char* kDiskFull = "Disk full";

// "I/O error %d" with the system's error number.
std::string IoErrorText(int systemError);

// An existing file opened for reading and writing, shared for reading and
// writing with other programs; never created, never truncated. A file whose
// permission bits grant no write access is refused with "File access denied",
// also for root, as a read-only file is on Windows.
//
// Every failing operation throws vips::Error with the text for its cause.
// The handle closes itself; Close() reports a failing close.
class ExistingFile {
 public:
  static ExistingFile Open(const std::string& path);
  // The same file opened for reading only: a read-only file is fine here.
  // WriteAt on such a handle fails.
  static ExistingFile OpenForReading(const std::string& path);

  ExistingFile(ExistingFile&& other) noexcept;
  ExistingFile& operator=(ExistingFile&& other) noexcept;
  ExistingFile(const ExistingFile&) = delete;
  ExistingFile& operator=(const ExistingFile&) = delete;
  ~ExistingFile();

  // Reads up to `size` bytes at the current position; returns how many were
  // read (0 at the end of the file).
  [[nodiscard]] std::size_t ReadSome(void* buffer, std::size_t size);
  // Reads up to `size` bytes at `position` without moving the position.
  [[nodiscard]] std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t size);
  // Writes all `size` bytes at `position` ("Disk full" when the device is).
  void WriteAt(std::uint64_t position, const void* buffer, std::size_t size);
  void Close();
  [[nodiscard]] bool IsOpen() const;

 private:
#ifdef _WIN32
  using Native = void*;
#else
  using Native = int;
#endif
  explicit ExistingFile(Native handle) : handle_(handle) {}
  static ExistingFile OpenWithAccess(const std::string& path, bool forWriting);
  Native handle_;
};

}  // namespace vips
