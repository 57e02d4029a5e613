#include "core/replacement_file.hpp"

#include <utility>

namespace vips {

// Moving hands the temporary file over: the moved-from object neither closes
// nor removes it.
ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : destination_(std::move(other.destination_)),
      temporary_(std::move(other.temporary_)),
      handle_(std::exchange(other.handle_, kClosed)),
      committed_(std::exchange(other.committed_, true)) {}

ReplacementFile& ReplacementFile::operator=(ReplacementFile&& other) noexcept {
  if (this != &other) {
    Discard();
    destination_ = std::move(other.destination_);
    temporary_ = std::move(other.temporary_);
    handle_ = std::exchange(other.handle_, kClosed);
    committed_ = std::exchange(other.committed_, true);
  }
  return *this;
}

ReplacementFile::~ReplacementFile() {
  Discard();
}

}  // namespace vips
