#include "core/patch_table.hpp"

#include <array>
#include <string>

#include "core/hex_address.hpp"
#include "core/markers.hpp"

namespace vips {

namespace {

// Marker codes 1..4; 0 is the empty text.
constexpr std::array<std::string_view, 5> kMarkerTexts = {"", kExecuteEnglish, kExecuteRussian,
                                                          kSkipEnglish, kSkipRussian};
constexpr std::uint8_t kExecuteEnglishCode = 1;
constexpr std::uint8_t kExecuteRussianCode = 2;

// Largest value whose code (value + 2) stays below the "other text" code.
constexpr std::int64_t kLargestEncodedValue = 0xFFFFFFFCLL;
// HexAddressText takes a signed 32-bit value, so only these are canonical.
constexpr std::int64_t kLargestEncodedAddress = 0x7FFFFFFFLL;

// Code of a text in the number column, or 0 when it is not the decimal text
// that SetNumberCell would write (leading zeros, a sign, blanks, ...).
std::uint32_t DecimalCode(std::string_view text) {
  if (text == "-1") return 1;
  if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return 0;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value <= kLargestEncodedValue ? static_cast<std::uint32_t>(value + 2) : 0;
}

// Code of a text in an address column, or 0 when HexAddressText would not
// produce exactly this text (lower case, leading zeros, ...).
std::uint32_t HexCode(std::string_view text) {
  if (text == "-1") return 1;
  if (text.empty() || text.size() > 8 || (text.size() > 1 && text[0] == '0')) return 0;
  std::int64_t value = 0;
  for (const char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return 0;
    }
    value = value * 16 + digit;
  }
  return value <= kLargestEncodedAddress ? static_cast<std::uint32_t>(value + 2) : 0;
}

std::uint8_t MarkerCode(std::string_view text) {
  for (std::size_t i = 1; i < kMarkerTexts.size(); ++i) {
    if (text == kMarkerTexts[i]) return static_cast<std::uint8_t>(i);
  }
  return 0;
}

}  // namespace

PatchTable::PatchTable(int rowCount) {
  SetRowCount(rowCount);
}

void PatchTable::SetRowCount(int rowCount) {
  rowCount_ = rowCount < 0 ? 0 : rowCount;
}

std::uint64_t PatchTable::OtherKey(int column, int row) {
  return (static_cast<std::uint64_t>(column) << 32) | static_cast<std::uint32_t>(row);
}

void PatchTable::Reserve(int row) {
  const auto needed = static_cast<std::size_t>(row) + 1;
  if (numbers_.size() >= needed) return;
  numbers_.resize(needed);
  firstAddresses_.resize(needed);
  finalAddresses_.resize(needed);
  markers_.resize(needed);
}

std::vector<std::uint32_t>& PatchTable::NumberColumn(int column) {
  return column == kNumberColumn         ? numbers_
         : column == kFirstAddressColumn ? firstAddresses_
                                         : finalAddresses_;
}

const std::vector<std::uint32_t>& PatchTable::NumberColumn(int column) const {
  return column == kNumberColumn         ? numbers_
         : column == kFirstAddressColumn ? firstAddresses_
                                         : finalAddresses_;
}

std::string PatchTable::Cell(int column, int row) const {
  if (column < 0 || column >= kColumns || row < 0 || row >= StoredRows()) return {};
  const auto index = static_cast<std::size_t>(row);
  if (column == kMarkerColumn) {
    const std::uint8_t code = markers_[index];
    if (code == kOtherMarker) return other_.at(OtherKey(column, row));
    return std::string(kMarkerTexts[code]);
  }
  const std::uint32_t code = NumberColumn(column)[index];
  if (code == 0) return {};
  if (code == kOtherText) return other_.at(OtherKey(column, row));
  const std::int64_t value = static_cast<std::int64_t>(code) - 2;
  return column == kNumberColumn ? std::to_string(value)
                                 : HexAddressText(static_cast<std::int32_t>(value));
}

void PatchTable::StoreNumberCode(int column, int row, std::uint32_t code, std::string_view text) {
  Reserve(row);
  std::uint32_t& cell = NumberColumn(column)[static_cast<std::size_t>(row)];
  if (code == kOtherText) {
    other_[OtherKey(column, row)] = std::string(text);
  } else if (cell == kOtherText) {
    other_.erase(OtherKey(column, row));
  }
  cell = code;
}

void PatchTable::StoreMarkerCode(int row, std::uint8_t code, std::string_view text) {
  Reserve(row);
  std::uint8_t& cell = markers_[static_cast<std::size_t>(row)];
  if (code == kOtherMarker) {
    other_[OtherKey(kMarkerColumn, row)] = std::string(text);
  } else if (cell == kOtherMarker) {
    other_.erase(OtherKey(kMarkerColumn, row));
  }
  cell = code;
}

void PatchTable::SetCell(int column, int row, std::string_view text) {
  if (column < 0 || column >= kColumns || row < 0) return;
  if (column == kMarkerColumn) {
    std::uint8_t code = 0;
    if (!text.empty()) {
      code = MarkerCode(text);
      if (code == 0) code = kOtherMarker;
    }
    StoreMarkerCode(row, code, text);
    return;
  }
  std::uint32_t code = 0;
  if (!text.empty()) {
    code = column == kNumberColumn ? DecimalCode(text) : HexCode(text);
    if (code == 0) code = kOtherText;
  }
  StoreNumberCode(column, row, code, text);
}

void PatchTable::SetNumberCell(int row, std::int64_t number) {
  if (row < 0) return;
  if (number >= -1 && number <= kLargestEncodedValue) {
    StoreNumberCode(kNumberColumn, row, static_cast<std::uint32_t>(number + 2), {});
  } else {
    StoreNumberCode(kNumberColumn, row, kOtherText, std::to_string(number));
  }
}

void PatchTable::SetAddressCell(int column, int row, std::int32_t address) {
  if (row < 0) return;
  if ((column == kFirstAddressColumn || column == kFinalAddressColumn) && address >= -1) {
    StoreNumberCode(column, row, static_cast<std::uint32_t>(address) + 2u, {});
  } else {
    SetCell(column, row, HexAddressText(address));
  }
}

void PatchTable::SetMarkerCell(int row, std::string_view marker) {
  SetCell(kMarkerColumn, row, marker);
}

bool PatchTable::MarkerIsExecute(int row) const {
  if (row < 0 || row >= StoredRows()) return false;
  const std::uint8_t code = markers_[static_cast<std::size_t>(row)];
  return code == kExecuteEnglishCode || code == kExecuteRussianCode;
}

bool PatchTable::MarkerIsEmpty(int row) const {
  if (row < 0 || row >= StoredRows()) return true;
  return markers_[static_cast<std::size_t>(row)] == 0;
}

std::size_t PatchTable::StorageBytes() const {
  std::size_t bytes =
      (numbers_.capacity() + firstAddresses_.capacity() + finalAddresses_.capacity()) *
          sizeof(std::uint32_t) +
      markers_.capacity() * sizeof(std::uint8_t);
  // A node of the map: the key/value pair, the next pointer and the cached hash.
  bytes += other_.bucket_count() * sizeof(void*);
  for (const auto& [key, text] : other_) {
    bytes += sizeof(std::pair<const std::uint64_t, std::string>) + 2 * sizeof(void*);
    if (text.capacity() > 15) bytes += text.capacity() + 1;
  }
  return bytes;
}

}  // namespace vips
