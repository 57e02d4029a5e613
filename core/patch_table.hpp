#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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

  explicit PatchTable(int rowCount = 0);

  [[nodiscard]] int RowCount() const { return rowCount_; }
  // Never erases texts. Negative counts are taken as 0.
  void SetRowCount(int rowCount);

  // Text of the cell at (column, row); "" if never written. Rows beyond the
  // row count keep and return their texts too.
  [[nodiscard]] std::string Cell(int column, int row) const;
  void SetCell(int column, int row, std::string_view text);

  // Fast paths used by the loader and the applier; same effect as SetCell
  // with the corresponding text.
  void SetNumberCell(int row, std::int64_t number);                // decimal text
  void SetAddressCell(int column, int row, std::int32_t address);  // HexAddressText
  void SetMarkerCell(int row, std::string_view marker);
  [[nodiscard]] bool MarkerIsExecute(int row) const;
  [[nodiscard]] bool MarkerIsEmpty(int row) const;

  // Rows that have storage (the highest row ever written + 1).
  [[nodiscard]] int StoredRows() const { return static_cast<int>(numbers_.size()); }
  // Bytes held for cell storage (for the memory benchmark).
  [[nodiscard]] std::size_t StorageBytes() const;

 private:
  // Codes of the three number columns: 0 for "", kOtherText for a text kept
  // in other_, otherwise the value + 2 of the column's canonical text (so
  // that -1, the final address of an empty run at offset 0, is encoded too).
  static constexpr std::uint32_t kOtherText = 0xFFFFFFFFu;
  // Codes of the marker column: 0 for "", 1..4 the markers (see .cpp),
  // kOtherMarker for a text kept in other_.
  static constexpr std::uint8_t kOtherMarker = 0xFF;

  void Reserve(int row);
  [[nodiscard]] std::vector<std::uint32_t>& NumberColumn(int column);
  [[nodiscard]] const std::vector<std::uint32_t>& NumberColumn(int column) const;
  void StoreNumberCode(int column, int row, std::uint32_t code, std::string_view text);
  void StoreMarkerCode(int row, std::uint8_t code, std::string_view text);
  [[nodiscard]] static std::uint64_t OtherKey(int column, int row);

  int rowCount_ = 0;
  std::vector<std::uint32_t> numbers_;
  std::vector<std::uint32_t> firstAddresses_;
  std::vector<std::uint32_t> finalAddresses_;
  std::vector<std::uint8_t> markers_;
  std::unordered_map<std::uint64_t, std::string> other_;  // key: column << 32 | row
};

}  // namespace vips
