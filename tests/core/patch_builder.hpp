#pragma once

#include <cstdint>
#include <string>

namespace vips::testing {

// Builds the bytes of an IPS patch record by record.
class PatchBuilder {
 public:
  PatchBuilder() : bytes_("PATCH") {}

  PatchBuilder& Data(std::uint32_t offset, const std::string& data) {
    Offset(offset);
    Size(static_cast<std::uint16_t>(data.size()));
    bytes_ += data;
    return *this;
  }
  PatchBuilder& Run(std::uint32_t offset, std::uint16_t length, std::uint8_t value) {
    Offset(offset);
    Size(0);
    Size(length);
    bytes_.push_back(static_cast<char>(value));
    return *this;
  }
  PatchBuilder& End() {
    bytes_ += "EOF";
    return *this;
  }
  PatchBuilder& Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  [[nodiscard]] const std::string& Bytes() const { return bytes_; }

 private:
  void Offset(std::uint32_t offset) {
    bytes_.push_back(static_cast<char>(offset >> 16 & 0xFF));
    bytes_.push_back(static_cast<char>(offset >> 8 & 0xFF));
    bytes_.push_back(static_cast<char>(offset & 0xFF));
  }
  void Size(std::uint16_t size) {
    bytes_.push_back(static_cast<char>(size >> 8));
    bytes_.push_back(static_cast<char>(size & 0xFF));
  }

  std::string bytes_;
};

}  // namespace vips::testing
