#include "core/files/crc32c.hpp"

#include <array>
#include <cstring>

namespace vips {
namespace {

// The polynomial, bits reversed.
constexpr std::uint32_t kPolynomial = 0x82F63B78u;

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) != 0 ? kPolynomial : 0);
    table[i] = value;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VIPS_CRC32C_BY_PROCESSOR 1
__attribute__((target("sse4.2"))) std::uint32_t ByProcessor(std::uint32_t crc,
                                                            const std::uint8_t* bytes,
                                                            std::size_t size) {
  std::uint64_t value = ~crc;
  for (; size >= 8; size -= 8, bytes += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    value = __builtin_ia32_crc32di(value, word);
  }
  auto small = static_cast<std::uint32_t>(value);
  for (; size > 0; --size, ++bytes) small = __builtin_ia32_crc32qi(small, *bytes);
  return ~small;
}
#endif

}  // namespace

std::uint32_t Crc32cByTable(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ kTable[(crc ^ bytes[i]) & 0xFF];
  return ~crc;
}

std::uint32_t Crc32c(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size) {
#ifdef VIPS_CRC32C_BY_PROCESSOR
  static const bool byProcessor = __builtin_cpu_supports("sse4.2");
  if (byProcessor) return ByProcessor(crc, bytes, size);
#endif
  return Crc32cByTable(crc, bytes, size);
}

}  // namespace vips
