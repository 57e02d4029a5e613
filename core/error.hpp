#pragma once

#include <stdexcept>
#include <string>

namespace vips {

// The one error type of the core. Its what() is the text the user sees
// ("File not found", "Read beyond end of file", ...); front ends decide how
// to show it.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace vips
