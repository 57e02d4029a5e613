#pragma once

#include <stdexcept>
#include <string>

namespace vips::cli {

// Wrong use of the command line: the command ends with status 64 before any
// file is touched. what() says what was wrong, without the usage line.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace vips::cli
