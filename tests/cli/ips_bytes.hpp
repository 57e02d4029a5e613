#pragma once

#include <cstdint>
#include <string>

namespace vips::testing {

// Builds the bytes of an IPS patch for tests, record by record.
class IpsBytes {
 public:
  IpsBytes& Data(std::uint32_t offset, const std::string& bytes) {
    Offset(offset);
    Word(static_cast<std::uint32_t>(bytes.size()));
    body_ += bytes;
    return *this;
  }
  IpsBytes& Run(std::uint32_t offset, std::uint32_t length, char value) {
    Offset(offset);
    Word(0);
    Word(length);
    body_ += value;
    return *this;
  }
  // Header and records, with the end marker.
  [[nodiscard]] std::string Complete() const { return body_ + "EOF"; }
  // Header and records, cut `dropped` bytes before the end of the last one.
  [[nodiscard]] std::string CutBy(std::size_t dropped) const {
    return body_.substr(0, body_.size() - dropped);
  }

 private:
  void Offset(std::uint32_t value) {
    body_ += static_cast<char>(value >> 16);
    Word(value);
  }
  void Word(std::uint32_t value) {
    body_ += static_cast<char>((value >> 8) & 0xFF);
    body_ += static_cast<char>(value & 0xFF);
  }

  std::string body_ = "PATCH";
};

}  // namespace vips::testing
