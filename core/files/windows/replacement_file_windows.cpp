#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/replacement_file.hpp"
#include "core/files/temporary_name.hpp"
#include "core/files/windows/system_error_text.hpp"
#include "core/files/windows/wide_path.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

namespace {

constexpr int kNameAttempts = 100;

[[noreturn]] void ThrowError(DWORD error, const std::string& path) {
  throw Error(windows::ErrorTextOf(error), path);
}

std::string UniqueSuffix() {
  static std::atomic<std::uint32_t> counter{0};
  return TemporaryNameSuffix(static_cast<std::uint64_t>(::GetTickCount64()) *
                                 0x9E3779B97F4A7C15ull ^
                             static_cast<std::uint64_t>(::GetCurrentProcessId()) << 20 ^ ++counter);
}

std::wstring Wide(const std::string& path) {
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide || wide->empty()) throw Error(kInvalidFilename, path);
  return *wide;
}

}  // namespace

ReplacementFile ReplacementFile::Create(const std::string& destination) {
  if (destination.empty()) throw Error(kFileNotFound, destination);
  if (destination.find('\0') != std::string::npos) throw Error(kInvalidFilename, destination);
  const std::size_t separator = destination.find_last_of("\\/:");
  const std::string name =
      separator == std::string::npos ? destination : destination.substr(separator + 1);
  if (name.empty()) throw Error(kInvalidFilename, destination);
  const std::string prefix =
      (separator == std::string::npos ? std::string() : destination.substr(0, separator + 1)) +
      // 255 UTF-16 units, never fewer than the UTF-8 bytes counted here.
      CompanionPrefix(name, kTemporaryMark, 8, 255);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string temporary = prefix + UniqueSuffix();
    // CREATE_NEW makes a new file or fails; it never opens through a link.
    HANDLE handle = ::CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  if (handle_ != kClosed) ::CloseHandle(std::exchange(handle_, kClosed));
  if (!committed_) {
    committed_ = true;
    const std::optional<std::wstring> wide = windows::WidePath(temporary_);
    if (wide && !wide->empty()) ::DeleteFileW(wide->c_str());
  }
}

void ReplacementFile::Append(const void* bytes, std::size_t size) {
  if (handle_ == kClosed) ThrowError(ERROR_INVALID_HANDLE, destination_);
  const auto* next = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    if (write_fault::StepFails()) ThrowError(ERROR_DISK_FULL, destination_);
    const auto chunk = static_cast<DWORD>(size < 0x40000000u ? size : 0x40000000u);
    DWORD count = 0;
    if (!::WriteFile(handle_, next, chunk, &count, nullptr))
      ThrowError(::GetLastError(), destination_);
    if (count == 0) ThrowError(ERROR_DISK_FULL, destination_);
    next += count;
    size -= count;
  }
}

void ReplacementFile::CopyPermissionsFrom(const std::string&) {
  // Windows files carry no permission bits; the new file takes the folder's
  // inherited access rules, as any new file there does.
}

void ReplacementFile::Commit() {
  if (handle_ == kClosed) ThrowError(ERROR_INVALID_HANDLE, destination_);
  try {
    if (write_fault::StepFails()) ThrowError(ERROR_DISK_FULL, destination_);
    if (!::FlushFileBuffers(handle_)) ThrowError(::GetLastError(), destination_);
    if (!::CloseHandle(std::exchange(handle_, kClosed))) ThrowError(::GetLastError(), destination_);
    if (write_fault::StepFails()) ThrowError(ERROR_DISK_FULL, destination_);
    // The rename replaces a link standing at the destination, not its target,
    // and returns only once it is on the disk.
    if (!::MoveFileExW(Wide(temporary_).c_str(), Wide(destination_).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      ThrowError(::GetLastError(), destination_);
    }
  } catch (...) {
    Discard();
    throw;
  }
  committed_ = true;
}

}  // namespace vips
