#pragma once

namespace vips {

// What a BPS or UPS patch is refused for. The texts name no file: front ends
// add the patch's name. The CRC-32 refusals, whose texts carry the values,
// are spelled in delta_frame.cpp.
inline constexpr const char* kDeltaCutShort = "The patch is cut short";
inline constexpr const char* kDeltaNumberTooLarge = "A number in the patch is too large";
inline constexpr const char* kDeltaNotBps = "Not a BPS patch";
inline constexpr const char* kDeltaNotUps = "Not a UPS patch";
inline constexpr const char* kDeltaMetadataPastEnd = "The patch's metadata reaches past its end";
inline constexpr const char* kDeltaTooLarge = "The patch makes a file larger than 4 GiB";
inline constexpr const char* kDeltaOutOfMemory = "Not enough memory for the patched file";
inline constexpr const char* kDeltaPastTarget = "The patch writes past the patched file's size";
inline constexpr const char* kDeltaShortOfTarget =
    "The patch ends before the patched file is complete";
inline constexpr const char* kDeltaOutsideSource = "The patch reads outside the original";
inline constexpr const char* kDeltaOutsideTarget =
    "The patch copies bytes of the patched file not written yet";
inline constexpr const char* kDeltaPastBothEnds =
    "The patch changes bytes past the end of both files";

}  // namespace vips
