#include "core/files/replacement_file.hpp"

#include <utility>

#include "core/files/temporary_name.hpp"

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

std::string TemporaryNameSuffix(std::uint64_t seed) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (int i = 0; i < 8; ++i) {
    suffix.push_back(kDigits[seed % 36]);
    seed /= 36;
  }
  return suffix;
}

}  // namespace vips
