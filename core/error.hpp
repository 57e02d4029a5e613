#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace vips {

// The one error type of the core. Its what() is the text the user sees
// ("File not found", "Read beyond end of file", ...); front ends decide how
// to show it. A failure of the file layer also carries the path of the file
// it concerns, for front ends that name the file.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text, std::string path = {})
      : std::runtime_error(text), path_(std::move(path)) {}

  // Empty when the failure concerns no one file.
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vips
