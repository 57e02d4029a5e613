#include "core/ips/patch_header.hpp"

#include <exception>

#include "core/files/file_access.hpp"
#include "core/ips/reader.hpp"

namespace vips {

bool BeginsAsPatch(const std::string& path) noexcept {
  try {
    IpsReader reader(ExistingFile::OpenForReading(path));
    return reader.ReadHeader();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace vips
