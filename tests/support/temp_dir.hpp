#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vips::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::string& Path() const { return path_; }
  // Full path of `name` inside the folder.
  [[nodiscard]] std::string File(const std::string& name) const;
  // Writes `bytes` to `name` (created or replaced); returns the full path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);
// The number of file descriptors this process has open now.
int OpenDescriptorCount();

}  // namespace vips::testing
