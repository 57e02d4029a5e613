#include "core/patch_header.hpp"

#include <exception>

#include "core/file_access.hpp"
#include "core/ips_reader.hpp"

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
