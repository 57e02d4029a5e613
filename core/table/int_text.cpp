#include "core/table/int_text.hpp"

#include <charconv>
#include <string_view>

#include "core/error.hpp"

namespace vips {

std::int32_t StrToInt(const std::string& text) {
  const auto invalid = [&text]() { return Error("'" + text + "' is not a valid integer value"); };
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) throw invalid();
  std::string_view number(text.data() + first, text.find_last_not_of(" \t") + 1 - first);
  // from_chars takes a minus sign but no plus sign.
  if (number.starts_with('+') && !number.starts_with("+-")) number.remove_prefix(1);
  std::int32_t value = 0;
  const char* const end = number.data() + number.size();
  const auto [stop, error] = std::from_chars(number.data(), end, value);
  if (error != std::errc() || stop != end) throw invalid();
  return value;
}

}  // namespace vips
