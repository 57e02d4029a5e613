#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "core/ips/hex_address.hpp"

namespace vips {

// The list of a patch's records and the user's choice of which to apply:
// four columns (record number, first address, final address, row marker) and
// a row count. Cell texts are kept per column and row independently of the
// row count: lowering it hides rows without erasing them, raising it shows
// them again with the texts they had. A cell never written holds "".
//
// Cells are stored compactly (a few bytes per row) because a patch may hold
// a million records: the usual texts (decimal numbers in column 0,
// HexAddressText in columns 1 and 2, the four markers in column 3) are
// encoded, and any other text is kept aside.
class PatchTable {
 public:
  static constexpr int kColumns = 4;
  static constexpr int kNumberColumn = 0;
  static constexpr int kFirstAddressColumn = 1;
  static constexpr int kFinalAddressColumn = 2;
  static constexpr int kMarkerColumn = 3;

  explicit PatchTable(int rowCount = 0) { SetRowCount(rowCount); }

  [[nodiscard]] int RowCount() const { return rowCount_; }
  // Never erases texts. Negative counts are taken as 0.
  void SetRowCount(int rowCount) { rowCount_ = std::max(rowCount, 0); }

  // Text of the cell at (column, row); "" if never written. Rows beyond the
  // row count keep and return their texts too.
  [[nodiscard]] std::string Cell(int column, int row) const;
  void SetCell(int column, int row, std::string_view text);

  // Fast paths used by the loader and the applier, once per row of a patch;
  // same effect as SetCell with the decimal text, HexAddressText or marker.
  void SetNumberCell(int row, std::int64_t number) {
    if (row < 0) return;
    if (number >= -1 && number <= kLargestEncodedNumber) {
      StoreCode(numbers_[kNumberColumn], kNumberColumn, row, static_cast<std::uint32_t>(number + 2),
                {});
    } else {
      SetCell(kNumberColumn, row, std::to_string(number));
    }
  }
  void SetAddressCell(int column, int row, std::int32_t address) {
    if (row < 0) return;
    if ((column == kFirstAddressColumn || column == kFinalAddressColumn) && address >= -1) {
      StoreCode(numbers_[column], column, row, static_cast<std::uint32_t>(address) + 2u, {});
    } else {
      SetCell(column, row, HexAddressText(address));
    }
  }
  void SetMarkerCell(int row, std::string_view marker) {
    if (row >= 0) StoreCode(markers_, kMarkerColumn, row, MarkerCode(marker), marker);
  }
  [[nodiscard]] bool MarkerIsExecute(int row) const {
    if (row < 0) return false;
    const std::uint8_t code = markers_.Get(static_cast<std::size_t>(row));
    return code == kExecuteEnglishCode || code == kExecuteRussianCode;
  }
  [[nodiscard]] bool MarkerIsEmpty(int row) const {
    return row < 0 || markers_.Get(static_cast<std::size_t>(row)) == 0;
  }

  // The marker rules over the rows firstRow..lastRow that lie in the table
  // (0 to RowCount() - 1): every marker cell there that is not empty becomes
  // `onMatch` when it holds exactly `match`, and `otherwise` when it holds
  // any other text; empty marker cells stay empty. With the four markers
  // this works on the stored codes alone, so that a whole-table command on a
  // million rows takes well under a millisecond instead of a text per row.
  void RewriteMarkers(int firstRow, int lastRow, std::string_view match, std::string_view onMatch,
                      std::string_view otherwise);

  // Bytes held for cell storage (for the memory benchmark).
  [[nodiscard]] std::size_t StorageBytes() const;

 private:
  // A cell's code: 0 for "", kOther for a text kept in other_, otherwise in
  // the number columns the value + 2 of the column's canonical text (so that
  // -1, the final address of an empty run at offset 0, is encoded too) and
  // in the marker column 1..4, one of the markers (see .cpp).
  template <typename Code>
  static constexpr Code kOther = std::numeric_limits<Code>::max();
  static constexpr std::uint8_t kExecuteEnglishCode = 1;
  static constexpr std::uint8_t kExecuteRussianCode = 2;
  // Largest number whose code (value + 2) stays below kOther.
  static constexpr std::int64_t kLargestEncodedNumber = 0xFFFFFFFCLL;

  // Code of one of the four markers, 0 for any other text.
  [[nodiscard]] static std::uint8_t MarkerCode(std::string_view text);

  // The codes of one column, one per row up to its highest written row.
  // It grows in large steps, moved by realloc (a large block is remapped,
  // neither copied nor zero-filled); newly covered rows get code 0,
  // the only cells ever written before their owner writes them.
  template <typename Code>
  class CodeColumn {
   public:
    CodeColumn() = default;
    CodeColumn(const CodeColumn& other) {
      if (other.size_ == 0) return;
      cells_ = static_cast<Code*>(std::malloc(other.size_ * sizeof(Code)));
      if (cells_ == nullptr) throw std::bad_alloc();
      std::memcpy(cells_, other.cells_, other.size_ * sizeof(Code));
      size_ = capacity_ = other.size_;
    }
    CodeColumn(CodeColumn&& other) noexcept { Swap(other); }
    CodeColumn& operator=(CodeColumn other) noexcept {
      Swap(other);
      return *this;
    }
    ~CodeColumn() { std::free(cells_); }

    [[nodiscard]] std::size_t Size() const { return size_; }
    [[nodiscard]] std::size_t Capacity() const { return capacity_; }
    // The code of `row`, 0 (the empty text) for a row beyond the size.
    [[nodiscard]] Code Get(std::size_t row) const { return row < size_ ? cells_[row] : 0; }
    // The covered cells, Size() of them.
    [[nodiscard]] Code* Cells() { return cells_; }
    // The cell of `row`, covering it first.
    Code& At(std::size_t row) {
      if (row >= size_) [[unlikely]] {
        if (row >= capacity_) Grow(row + 1);
        // Rows are nearly always covered one at a time, in order.
        if (row > size_) std::memset(cells_ + size_, 0, (row - size_) * sizeof(Code));
        cells_[row] = 0;
        size_ = row + 1;
      }
      return cells_[row];
    }

   private:
    // Makes room for at least `capacity` rows, and for at least twice as
    // many as before.
    void Grow(std::size_t capacity) {
      capacity = std::max({capacity, capacity_ * 2, kFirstCapacity});
      void* cells = std::realloc(cells_, capacity * sizeof(Code));
      if (cells == nullptr) throw std::bad_alloc();
      cells_ = static_cast<Code*>(cells);
      capacity_ = capacity;
    }
    void Swap(CodeColumn& other) noexcept {
      std::swap(cells_, other.cells_);
      std::swap(size_, other.size_);
      std::swap(capacity_, other.capacity_);
    }

    static constexpr std::size_t kFirstCapacity = 4096;
    Code* cells_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
  };

  // Stores `code`, or for code 0 and a text that is not empty kOther with
  // `text` kept aside; drops a text kept aside before.
  template <typename Code>
  void StoreCode(CodeColumn<Code>& cells, int column, int row, Code code, std::string_view text) {
    Code& cell = cells.At(static_cast<std::size_t>(row));
    if (code == 0 && !text.empty()) {
      code = kOther<Code>;
      other_[OtherKey(column, row)] = std::string(text);
    } else if (cell == kOther<Code>) {
      other_.erase(OtherKey(column, row));
    }
    cell = code;
  }
  [[nodiscard]] static std::uint64_t OtherKey(int column, int row) {
    return (static_cast<std::uint64_t>(column) << 32) | static_cast<std::uint32_t>(row);
  }

  int rowCount_ = 0;
  // Record numbers, first addresses and final addresses, by column.
  std::array<CodeColumn<std::uint32_t>, 3> numbers_;
  CodeColumn<std::uint8_t> markers_;
  std::unordered_map<std::uint64_t, std::string> other_;  // key: column << 32 | row
};

}  // namespace vips
