#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "core/files/file_access.hpp"
#include "core/files/io_buffer.hpp"

namespace vips {

// The header and the end marker of every IPS patch.
inline constexpr std::uint8_t kPatchHeader[] = {'P', 'A', 'T', 'C', 'H'};
inline constexpr std::uint8_t kPatchEnd[] = {'E', 'O', 'F'};
inline constexpr std::int32_t kEndMarkerOffset = 0x454F46;  // the bytes "EOF"
// One past the last byte a record can write: a record starting at 0xFFFFFF
// with 65,535 bytes ends at 0x100FFFD.
inline constexpr std::uint64_t kPatchableSize = 0x100FFFE;

struct RunBody {
  std::uint16_t runLength = 0;
  std::uint8_t value = 0;
};

// A record's head: what it writes where, without a data record's bytes.
struct IpsRecord {
  std::int32_t offset = 0;
  std::uint16_t size = 0;  // 0 for a run record
  RunBody run;

  [[nodiscard]] bool IsRun() const { return size == 0; }
  // How many bytes of the file the record writes.
  [[nodiscard]] std::uint32_t Count() const { return IsRun() ? run.runLength : size; }
  // One past the last byte it writes.
  [[nodiscard]] std::uint64_t End() const { return static_cast<std::uint64_t>(offset) + Count(); }
  // Puts the head into `head` as a patch holds it; gives its length, 5 or 8.
  std::size_t EncodeHead(std::uint8_t (&head)[8]) const {
    // Three bytes of offset, two of size, two of run length, the value.
    const std::uint64_t fields = std::uint64_t{static_cast<std::uint32_t>(offset)} << 40 |
                                 std::uint64_t{size} << 24 | run.runLength << 8 | run.value;
    for (int i = 0; i < 8; ++i) head[i] = static_cast<std::uint8_t>(fields >> (56 - 8 * i));
    return IsRun() ? 8 : 5;
  }
};

// Where a patch's bytes come from, a piece at a time: a file read in pieces
// of 64 KiB into a buffer of its own, or bytes in memory that the caller
// keeps alive, handed over as one piece.
class PatchSource {
 public:
  explicit PatchSource(ExistingFile file);
  // `name` is what errors name in place of a file's path.
  explicit PatchSource(std::span<const std::uint8_t> bytes, std::string name = {});

  // The next piece, at least one byte; empty at the end.
  [[nodiscard]] std::span<const std::uint8_t> NextPiece();
  // The file's path, or the name given to the bytes.
  [[nodiscard]] const std::string& Name() const { return file_ ? file_->Path() : name_; }
  // Closes the file, reporting a failing close; nothing for bytes in memory.
  void Close() {
    if (file_) file_->Close();
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  std::optional<ExistingFile> file_;
  IoBuffer buffer_;
  std::uint64_t read_ = 0;
  std::span<const std::uint8_t> bytes_;
  std::string name_;
};

// Reads an IPS patch strictly forward, field by field, so that callers can
// act between the fields of a record. Every read after the header must
// deliver all its bytes or throws "Read beyond end of file".
class IpsReader {
 public:
  explicit IpsReader(PatchSource source) : source_(std::move(source)) {}
  explicit IpsReader(ExistingFile patch) : IpsReader(PatchSource(std::move(patch))) {}
  // Opens the patch at `path` for reading only and reads its header; nothing,
  // with the file closed again, when the header is not "PATCH".
  [[nodiscard]] static std::optional<IpsReader> Open(const std::string& path);
  // The same for a patch held in memory: `bytes` must outlive the reader;
  // errors name `name`.
  [[nodiscard]] static std::optional<IpsReader> Open(std::span<const std::uint8_t> bytes,
                                                     std::string name = {});

  // Reads up to 5 bytes; true only for exactly "PATCH". A short file is no
  // patch rather than a failure.
  [[nodiscard]] bool ReadHeader();
  // Reads the three offset bytes. The caller compares it with
  // kEndMarkerOffset; after the end marker nothing more may be read.
  [[nodiscard]] std::int32_t ReadOffset() { return static_cast<std::int32_t>(ReadBigEndian<3>()); }
  // Reads the two size bytes: 1..65535 a data record, 0 a run record.
  [[nodiscard]] std::uint16_t ReadSize() { return static_cast<std::uint16_t>(ReadBigEndian<2>()); }
  // Reads a run record's run length and value byte.
  [[nodiscard]] RunBody ReadRunBody() {
    return {static_cast<std::uint16_t>(ReadBigEndian<2>()), ReadByte()};
  }
  // Hands the next `count` data bytes to `take(bytes, length)` piece by
  // piece, straight from the source (no copy). On a cut patch the pieces that were
  // there are handed over before "Read beyond end of file" is thrown.
  template <typename Take>
  void ReadData(std::size_t count, Take&& take) {
    while (count > 0) {
      const std::size_t length = NextPiece(count);
      take(piece_ + begin_, length);
      begin_ += length;
      count -= length;
    }
  }
  // Reads the next record's head; false at the end marker. A data record's
  // bytes follow it: the caller reads or skips them before the next head.
  [[nodiscard]] bool ReadRecordHead(IpsRecord& record) {
    record.offset = ReadOffset();
    if (record.offset == kEndMarkerOffset) return false;
    record.size = ReadSize();
    record.run = record.IsRun() ? ReadRunBody() : RunBody{};
    return true;
  }
  // Skips the next `count` data bytes (same failure as ReadData); a run
  // record's size, 0, skips none.
  void SkipData(std::size_t count) {
    ReadData(count, [](const std::uint8_t*, std::size_t) {});
  }
  // After the end marker: the file's length that some patches give in
  // exactly three more bytes (big-endian), which a patcher may cut the file
  // to. Nothing when the patch ends at its marker or has any other number
  // of bytes after it; those have no effect.
  [[nodiscard]] std::optional<std::uint32_t> ReadTruncation();
  // Closes the patch file, reporting a failing close.
  void Close() { source_.Close(); }

 private:
  [[nodiscard]] std::uint8_t ReadByte() {
    (void)NextPiece(1);
    return piece_[begin_++];
  }
  // `N` bytes, big-endian: straight from the piece when it holds them all,
  // else a byte at a time across its end.
  template <std::size_t N>
  [[nodiscard]] std::uint32_t ReadBigEndian() {
    const bool buffered = end_ - begin_ >= N;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < N; ++i)
      value = value << 8 | (buffered ? piece_[begin_++] : ReadByte());
    return value;
  }
  // How many of the next `wanted` bytes the piece holds (at least one);
  // throws "Read beyond end of file" at the end of the patch.
  [[nodiscard]] std::size_t NextPiece(std::size_t wanted);
  bool Fill();

  PatchSource source_;
  // The source's current piece, read up to begin_.
  const std::uint8_t* piece_ = nullptr;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

// Whether the file at `path` begins with the header "PATCH"; a file that
// cannot be opened or read is no patch here.
[[nodiscard]] bool BeginsAsPatch(const std::string& path) noexcept;

// What a walk through a whole patch finds: its records and how far they
// reach into a file.
struct PatchSummary {
  std::size_t records = 0;
  std::uint64_t reach = 0;
  // The length the patch gives after its end marker (IpsReader::ReadTruncation).
  std::optional<std::uint32_t> truncation;
};
// Reads the patch at `path` through to its end marker. Nothing for a file
// whose header is not "PATCH"; a cut patch throws "Read beyond end of file".
[[nodiscard]] std::optional<PatchSummary> SummarizePatch(const std::string& path);

// Final address of a record: offset + size - 1, or offset + run length - 1.
[[nodiscard]] constexpr std::int32_t FinalAddress(std::int32_t offset, std::uint32_t count) {
  return offset + static_cast<std::int32_t>(count) - 1;
}

}  // namespace vips
