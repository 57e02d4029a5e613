#include "core/files/file_copy.hpp"

#include <exception>

#include "core/error.hpp"
#include "core/files/io_buffer.hpp"
#include "core/files/replacement_file.hpp"

namespace vips {

void CopyWholeFileOrThrow(const std::string& from, const std::string& to) {
  CheckPathText(from);
  // Only a regular file has a whole to copy: /dev/zero would fill the disk.
  ExistingFile source = ExistingFile::OpenForCopying(from);
  CopyOpenFileOrThrow(source, to);
}

void CopyOpenFileOrThrow(ExistingFile& source, const std::string& to) {
  CheckPathText(to);
  const std::string& from = source.Path();
  // A read that ends before the source's length is an error, not a shorter copy.
  const std::uint64_t length = source.Length();
  const FileHandle destination = LockCopyDestination(to, source.Identity());

  ReplacementFile copy = ReplacementFile::Create(to);
  copy.CopyPermissionsFrom(from);
  constexpr std::size_t kChunkSize = 1024 * 1024;
  const IoBuffer buffer = NewIoBuffer(kChunkSize);
  std::uint64_t copied = 0;
  while (const std::size_t count = source.ReadAt(copied, buffer.get(), kChunkSize)) {
    copy.Append(buffer.get(), count);
    copied += count;
  }
  if (copied < length) throw Error(kReadBeyondEnd, from);
  copy.Commit();
}

bool CopyWholeFile(const std::string& from, const std::string& to) noexcept {
  try {
    CopyWholeFileOrThrow(from, to);
    return true;
  } catch (const std::exception&) {
    // Short memory too: the copy reports failure instead of ending the program.
    return false;
  }
}

}  // namespace vips
