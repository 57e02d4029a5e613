#include "core/table/patch_table.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <utility>

#include "core/table/markers.hpp"

namespace vips {
namespace {

// Marker codes 1..4; 0 is the empty text.
constexpr std::array<std::string_view, 5> kMarkerTexts = {"", kExecuteEnglish, kExecuteRussian,
                                                          kSkipEnglish, kSkipRussian};

// Code of a text in a number column (base 10) or an address column (base
// 16), or 0 when it is not exactly the text that SetNumberCell or
// HexAddressText would write (leading zeros, a sign, blanks, lower case...).
std::uint32_t CanonicalCode(std::string_view text, int base) {
  std::int64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  // Numbers whose code stays below the kept-aside code; addresses that
  // HexAddressText takes (a signed 32-bit value).
  const std::int64_t largest = base == 10 ? 0xFFFFFFFCLL : 0x7FFFFFFFLL;
  if (error != std::errc() || stop != end || value < -1 || value > largest) return 0;
  const std::string canonical =
      base == 10 ? std::to_string(value) : HexAddressText(static_cast<std::int32_t>(value));
  return text == canonical ? static_cast<std::uint32_t>(value + 2) : 0;
}

}  // namespace

std::uint8_t PatchTable::MarkerCode(std::string_view text) {
  for (std::size_t i = 1; i < kMarkerTexts.size(); ++i) {
    if (text == kMarkerTexts[i]) return static_cast<std::uint8_t>(i);
  }
  return 0;
}

std::string PatchTable::Cell(int column, int row) const {
  if (column < 0 || column >= kColumns || row < 0) return {};
  const auto index = static_cast<std::size_t>(row);
  if (column == kMarkerColumn) {
    const std::uint8_t code = markers_.Get(index);
    if (code == kOther<std::uint8_t>) return other_.at(OtherKey(column, row));
    return std::string(kMarkerTexts[code]);
  }
  const std::uint32_t code = numbers_[column].Get(index);
  if (code == 0) return {};
  if (code == kOther<std::uint32_t>) return other_.at(OtherKey(column, row));
  const std::int64_t value = static_cast<std::int64_t>(code) - 2;
  return column == kNumberColumn ? std::to_string(value)
                                 : HexAddressText(static_cast<std::int32_t>(value));
}

void PatchTable::SetCell(int column, int row, std::string_view text) {
  if (column < 0 || column >= kColumns || row < 0) return;
  if (column == kMarkerColumn) {
    StoreCode(markers_, column, row, MarkerCode(text), text);
  } else {
    StoreCode(numbers_[column], column, row, CanonicalCode(text, column == kNumberColumn ? 10 : 16),
              text);
  }
}

void PatchTable::RewriteMarkers(int firstRow, int lastRow, std::string_view match,
                                std::string_view onMatch, std::string_view otherwise) {
  // Rows beyond the stored codes hold "" and stay as they are.
  const std::int64_t first = std::max(firstRow, 0);
  const std::int64_t last = std::min<std::int64_t>(
      {lastRow, rowCount_ - 1, static_cast<std::int64_t>(markers_.Size()) - 1});
  if (first > last) return;
  const std::uint8_t matchCode = MarkerCode(match);
  const std::uint8_t onMatchCode = MarkerCode(onMatch);
  const std::uint8_t otherwiseCode = MarkerCode(otherwise);
  if (matchCode == 0 || onMatchCode == 0 || otherwiseCode == 0) {
    // A text that is none of the markers: cell by cell, through the texts.
    for (auto row = static_cast<int>(first); row <= last; ++row) {
      if (MarkerIsEmpty(row)) continue;
      SetCell(kMarkerColumn, row, Cell(kMarkerColumn, row) == match ? onMatch : otherwise);
    }
    return;
  }
  std::uint8_t* const cells = markers_.Cells() + first;
  const auto count = static_cast<std::size_t>(last - first + 1);
  // Texts kept aside are never one of the markers, so never `match`: they
  // leave the side store first, and the pass below gives them `otherwise`.
  if (!other_.empty()) {
    const std::uint8_t* aside = cells;
    const std::uint8_t* const end = cells + count;
    while ((aside = static_cast<const std::uint8_t*>(std::memchr(
                aside, kOther<std::uint8_t>, static_cast<std::size_t>(end - aside)))) != nullptr) {
      other_.erase(OtherKey(kMarkerColumn, static_cast<int>(first + (aside - cells))));
      ++aside;
    }
  }
  // Without branches, so that the compiler can take many cells at a time.
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t code = cells[i];
    cells[i] = code == 0 ? 0 : code == matchCode ? onMatchCode : otherwiseCode;
  }
}

std::size_t PatchTable::StorageBytes() const {
  std::size_t bytes = (numbers_[0].Capacity() + numbers_[1].Capacity() + numbers_[2].Capacity()) *
                          sizeof(std::uint32_t) +
                      markers_.Capacity() * sizeof(std::uint8_t);
  // A node of the map: the key/value pair, the next pointer and the cached hash.
  bytes += other_.bucket_count() * sizeof(void*);
  for (const auto& [key, text] : other_) {
    bytes += sizeof(std::pair<const std::uint64_t, std::string>) + 2 * sizeof(void*);
    if (text.capacity() > 15) bytes += text.capacity() + 1;
  }
  return bytes;
}

}  // namespace vips
