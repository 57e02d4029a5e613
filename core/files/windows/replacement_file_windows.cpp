#include <windows.h>

#include <optional>

#include "core/error.hpp"
#include "core/files/path_names.hpp"
#include "core/files/replacement_file.hpp"
#include "core/files/windows/windows_files.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

namespace {

constexpr int kNameAttempts = 100;

[[noreturn]] void ThrowError(DWORD error, const std::string& path) {
  throw Error(windows::ErrorTextOf(error), path);
}

}  // namespace

ReplacementFile ReplacementFile::Create(const std::string& destination) {
  CheckPathText(destination);
  if (BareName(destination).empty()) throw Error(kInvalidFilename, destination);
  const std::string prefix = CompanionPath(destination, kTemporaryMark, 8);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string temporary = prefix + UniqueNameSuffix(::GetCurrentProcessId());
    // CREATE_NEW makes a new file or fails; it never opens through a link.
    HANDLE handle =
        ::CreateFileW(windows::WidePathOrThrow(temporary).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      return ReplacementFile(destination, std::move(temporary), handle);
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    ThrowError(error, destination);
  }
  ThrowError(ERROR_FILE_EXISTS, destination);
}

void ReplacementFile::Discard() noexcept {
  handle_.Reset();
  if (!std::exchange(committed_, true)) {
    if (const auto wide = windows::WidePath(temporary_)) {
      // A read-only file cannot be deleted: one that took a source's attribute gives it up.
      ::SetFileAttributesW(wide->c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(wide->c_str());
    }
  }
}

void ReplacementFile::Append(const void* bytes, std::size_t size) {
  if (!handle_.IsOpen()) ThrowError(ERROR_INVALID_HANDLE, destination_);
  windows::WriteAll(handle_.Get(), bytes, size, destination_);
}

void ReplacementFile::CopyPermissionsFrom(const std::string& source) {
  // Windows files carry no permission bits: the new file takes the folder's
  // inherited rules, and a read-only source's attribute, as a plain copy does.
  // The handle keeps the write access it was opened with.
  const DWORD attributes = ::GetFileAttributesW(windows::WidePathOrThrow(source).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) windows::ThrowLastError(source);
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return;
  FILE_BASIC_INFO info{};
  info.FileAttributes = FILE_ATTRIBUTE_READONLY;
  if (!::SetFileInformationByHandle(handle_.Get(), FileBasicInfo, &info, sizeof(info))) {
    windows::ThrowLastError(destination_);
  }
}

void ReplacementFile::Commit(bool durable) {
  if (!handle_.IsOpen()) ThrowError(ERROR_INVALID_HANDLE, destination_);
  try {
    if (durable) {
      if (write_fault::FlushFails()) ThrowError(ERROR_DISK_FULL, destination_);
      if (!::FlushFileBuffers(handle_.Get())) windows::ThrowLastError(destination_);
    }
    if (!::CloseHandle(handle_.Release())) windows::ThrowLastError(destination_);
    // The move replaces a link at the destination, not its target; durable, it
    // is written through and returns once on disk.
    if (durable ? write_fault::FlushFails() : write_fault::StepFails()) {
      ThrowError(ERROR_DISK_FULL, destination_);
    }
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (!::MoveFileExW(windows::WidePathOrThrow(temporary_).c_str(),
                       windows::WidePathOrThrow(destination_).c_str(), flags)) {
      windows::ThrowLastError(destination_);
    }
  } catch (...) {
    Discard();
    throw;
  }
  committed_ = true;
}

}  // namespace vips
