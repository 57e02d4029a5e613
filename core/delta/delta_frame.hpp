#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/delta/numbers.hpp"

namespace vips {

// The largest file a BPS or UPS patch may make here. Decoding holds the whole
// result in memory, and a header can claim any size in a few bytes; 4 GiB
// covers every cartridge and disc image such patches are made for.
inline constexpr std::uint64_t kMaxDeltaResultSize = std::uint64_t{1} << 32;

// What BPS and UPS patches share: four bytes of format, the original's
// ("source") and the result's ("target") sizes, a body, and a footer of three
// little-endian CRC-32s: the source's, the target's and the patch's bytes
// before that last one.
struct DeltaFrame {
  std::uint64_t sourceSize = 0;
  std::uint64_t targetSize = 0;
  std::uint32_t sourceCrc = 0;
  std::uint32_t targetCrc = 0;
  std::uint32_t patchCrc = 0;
  ByteCursor body{{}};  // after the two sizes, up to the footer
};

// Reads the frame of `patch` whose first bytes must be `magic` (else throws
// `notThisFormat`). With `checkPatchCrc`, the patch's own CRC-32 is checked
// first of all, so that a damaged patch is refused as such.
[[nodiscard]] DeltaFrame ReadDeltaFrame(std::span<const std::uint8_t> patch,
                                        std::span<const std::uint8_t, 4> magic,
                                        const char* notThisFormat, bool checkPatchCrc);

// zlib's CRC-32 of `bytes`, of any length.
[[nodiscard]] std::uint32_t Crc32Of(std::span<const std::uint8_t> bytes);
// The CRC-32 of a patch's bytes that its footer's last four bytes check.
[[nodiscard]] std::uint32_t PatchBodyCrc(std::span<const std::uint8_t> patch);

// Throws the wrong-original refusal unless `original` has the `size` and
// `crc` a patch was made for: "CRC-32 of NAME is X, the patch is for Y".
void CheckOriginal(std::span<const std::uint8_t> original, const std::string& originalName,
                   std::uint64_t size, std::uint32_t crc);
// The wrong-original refusal's text, for an original whose CRC-32 is `actual`.
[[nodiscard]] std::string WrongOriginalText(const std::string& originalName, std::uint32_t actual,
                                            std::uint32_t expected);
// Throws kDeltaTooLarge for a result past kMaxDeltaResultSize.
void CheckResultSize(std::uint64_t size);
// A zero-filled result of `size` bytes; kDeltaOutOfMemory when the system
// has no room for it.
[[nodiscard]] std::vector<std::uint8_t> NewResult(std::uint64_t size);
// Throws unless the decoded `result`'s CRC-32 is `expected`.
void CheckResultCrc(std::span<const std::uint8_t> result, std::uint32_t expected);

}  // namespace vips
