#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vips {

// Error texts of failed file operations.
inline constexpr const char* kFileNotFound = "File not found";
inline constexpr const char* kInvalidFilename = "Invalid filename";
inline constexpr const char* kTooManyOpenFiles = "Too many open files";
inline constexpr const char* kFileAccessDenied = "File access denied";
inline constexpr const char* kReadBeyondEnd = "Read beyond end of file";
inline constexpr const char* kDiskFull = "Disk full";
// Another process of this program holds the file's lock.
inline constexpr const char* kFileBusy = "Another run is patching the file";

// "I/O error %d" with the system's error number.
std::string IoErrorText(int systemError);
// Throws "File not found" for an empty path, "Invalid filename" for one holding a NUL.
void CheckPathText(const std::string& path);

// The device (or volume) and number of a file, whatever path names it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file at `path`, a link followed; nothing for a missing file.
[[nodiscard]] std::optional<FileIdentity> IdentityOf(const std::string& path);

// True when a regular file stands at `path` itself (a link to one is not).
[[nodiscard]] bool IsRegularFile(const std::string& path);
// True when anything stands at `path` itself: a file, a folder, a link, a dangling one too.
[[nodiscard]] bool NameTaken(const std::string& path);

#ifdef _WIN32
using NativeHandle = void*;
inline constexpr NativeHandle kClosedHandle = nullptr;
#else
using NativeHandle = int;
inline constexpr NativeHandle kClosedHandle = -1;
#endif

// A system file handle that closes itself (unreported on failure); moving hands it over.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(NativeHandle handle) : handle_(handle) {}
  FileHandle(FileHandle&& other) noexcept : handle_(other.Release()) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~FileHandle() { Reset(); }

  [[nodiscard]] NativeHandle Get() const { return handle_; }
  [[nodiscard]] bool IsOpen() const { return handle_ != kClosedHandle; }
  [[nodiscard]] NativeHandle Release() { return std::exchange(handle_, kClosedHandle); }
  // Closes the handle held, if any, and holds `handle` instead.
  void Reset(NativeHandle handle = kClosedHandle) noexcept;

 private:
  NativeHandle handle_ = kClosedHandle;
};

// Starts writing what was written to `handle` in [position, position + size)
// to the disk, without waiting: a flush later waits only for what is left.
// Where the system has no such request, nothing; errors are the flush's to find.
void StartWriteBack(NativeHandle handle, std::uint64_t position, std::uint64_t size) noexcept;

// LockForWriting's lock (`exclusive`) or LockForReading's on `handle`; errors name `path`.
void LockFile(NativeHandle handle, bool exclusive, const std::string& path);

// An existing regular file opened for reading and writing, shared with other programs;
// never created or truncated. A folder, a device, a pipe or a file without write permission
// (even for root, as on Windows) is "File access denied". Every failing operation throws
// vips::Error with the text for its cause and the file's path.
class ExistingFile {
 public:
  static ExistingFile Open(const std::string& path) { return OpenWithAccess(path, Access::Write); }
  // For reading only: a read-only file is fine, and WriteAt, SetLength and Reserve fail.
  static ExistingFile OpenForReading(const std::string& path) {
    return OpenWithAccess(path, Access::Read);
  }
  // Opened and locked (LockForWriting) as the file `path` names once locked:
  // another program may rename a file over the path before the lock is held.
  static ExistingFile OpenLocked(const std::string& path);
  // Opened for reading whole and held with LockForReading; a link at `path` is refused.
  static ExistingFile OpenForCopying(const std::string& path);

  // Reads up to `size` bytes at `position`, fewer only at the end.
  [[nodiscard]] std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t size);
  // Reads all `size` bytes at `position`: a read that ends early (the file cut
  // meanwhile, a failing file system) is "Read beyond end of file".
  void ReadAllAt(std::uint64_t position, void* buffer, std::size_t size);
  // Writes all `size` bytes at `position` ("Disk full" when the device is).
  void WriteAt(std::uint64_t position, const void* buffer, std::size_t size);
  [[nodiscard]] std::uint64_t Length();
  void SetLength(std::uint64_t length);
  // Makes a shorter file `length` bytes long with disk space behind its new bytes, so that
  // writes there cannot find the disk full; on failure it keeps its length. Holes stay.
  void Reserve(std::uint64_t length);
  // An exclusive lock among this program's processes until the file is closed,
  // never blocking other programs; fails at once with the system's lock error.
  void LockForWriting() { LockFile(handle_.Get(), true, path_); }
  // The shared counterpart, for reading a file whole (as a copy does).
  void LockForReading() { LockFile(handle_.Get(), false, path_); }
  [[nodiscard]] FileIdentity Identity();
  // The bytes free for this file where every change goes to fresh space (copy
  // on write, as btrfs); elsewhere nothing, as overwrites take no new space.
  [[nodiscard]] std::optional<std::uint64_t> FreshSpaceForOverwrites();
  // Flushes what was written to stable storage; a failure is a failed write.
  void Flush();
  // StartWriteBack for the file.
  void StartWriteBack(std::uint64_t position, std::uint64_t size) noexcept {
    vips::StartWriteBack(handle_.Get(), position, size);
  }
  [[nodiscard]] const std::string& Path() const { return path_; }
  // Closes the file; after a successful Flush() a failing close changes nothing
  // and is not reported.
  void Close();
  [[nodiscard]] bool IsOpen() const { return handle_.IsOpen(); }

 private:
  ExistingFile(NativeHandle handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  enum class Access { Read, Write, Copy };
  static ExistingFile OpenWithAccess(const std::string& path, Access access);
  [[noreturn]] void Fail(const std::string& text) const;
  void MarkWritten() {
    written_ = true;
    flushed_ = false;
  }

  FileHandle handle_;
  std::string path_;
  // Whether a write or a change of length was made, and all flushed since.
  bool written_ = false;
  bool flushed_ = false;
};

// The first `limit` bytes of `file` (fewer if it is shorter), read without moving its position.
std::vector<std::uint8_t> ReadFileStart(ExistingFile& file, std::uint64_t limit);

}  // namespace vips
