#include "core/table/int_text.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/error.hpp"

namespace vips {
namespace {

TEST(StrToIntTest, AcceptsSignedDecimalsWithBlanksAround) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {" 42 ", 42},
      {"\t7\t", 7},
      {"+7", 7},
      {"-7", -7},
      {"007", 7},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"  -12  ", -12},
      {"00000000000000000001", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << "'" << c.text << "'";
}

TEST(StrToIntTest, RejectsEverythingElseWithItsText) {
  const char* const texts[] = {
      "",     " ",   "+",   "-",   "- 1",        "1 2",         "12a",
      "0x10", "$10", "1.0", "1e3", "2147483648", "-2147483649", "99999999999999999999",
      "++1",  "١",
  };
  for (const char* text : texts) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()),
                "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace vips
