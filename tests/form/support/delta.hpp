#pragma once

// BPS and UPS patches for the window's tests, from the original and the
// patched file's bytes given as text.

#include <cstdint>
#include <string>
#include <vector>

#include "core/delta/bps_maker.hpp"
#include "core/delta_builder.hpp"

namespace vips::form::testing {

inline std::vector<std::uint8_t> AsBytes(const std::string& text) {
  return {text.begin(), text.end()};
}

inline std::string LinearBps(const std::string& original, const std::string& modified) {
  const std::vector<std::uint8_t> patch = MakeLinearBps(AsBytes(original), AsBytes(modified));
  return {patch.begin(), patch.end()};
}

inline std::string Ups(const std::string& original, const std::string& modified) {
  const std::vector<std::uint8_t> patch =
      vips::testing::EncodeUps(AsBytes(original), AsBytes(modified));
  return {patch.begin(), patch.end()};
}

}  // namespace vips::form::testing
