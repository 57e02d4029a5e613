#pragma once

// IPS building blocks for the window's tests: offsets are three bytes and
// sizes two, big-endian.

#include <initializer_list>
#include <string>
#include <string_view>

namespace vips::form::testing {

inline std::string BigEndian(unsigned value, int bytes) {
  std::string out;
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
  return out;
}

inline std::string DataRecord(unsigned offset, std::string_view data) {
  return BigEndian(offset, 3) + BigEndian(static_cast<unsigned>(data.size()), 2) +
         std::string(data);
}

inline std::string RunRecord(unsigned offset, unsigned length, char value) {
  return BigEndian(offset, 3) + BigEndian(0, 2) + BigEndian(length, 2) + std::string(1, value);
}

inline std::string Ips(std::initializer_list<std::string> records) {
  std::string out = "PATCH";
  for (const auto& record : records) out += record;
  return out + "EOF";
}

// A patch of `count` one-byte records writing 'a', 'b', ... at 0, 1, ...
inline std::string PatchOfOneByteRecords(int count) {
  std::string out = "PATCH";
  for (int i = 0; i < count; ++i) {
    out += DataRecord(static_cast<unsigned>(i), std::string(1, static_cast<char>('a' + i % 26)));
  }
  return out + "EOF";
}

}  // namespace vips::form::testing
