#include "core/table/int_text.hpp"

#include <limits>

#include "core/error.hpp"

namespace vips {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::int32_t StrToInt(const std::string& text) {
  const auto invalid = [&text]() { return Error("'" + text + "' is not a valid integer value"); };

  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;

  bool negative = false;
  if (begin < end && (text[begin] == '+' || text[begin] == '-')) {
    negative = text[begin] == '-';
    ++begin;
  }
  if (begin == end) throw invalid();

  // Accumulate in 64 bits; stop as soon as the value leaves the 32-bit range
  // so that a long run of digits cannot overflow the accumulator.
  constexpr std::int64_t kLimit =
      static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
  std::int64_t magnitude = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') throw invalid();
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) throw invalid();
  }
  if (!negative && magnitude == kLimit) throw invalid();
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace vips
