#pragma once

#include <cstdint>
#include <filesystem>
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

  // The folder's full path in UTF-8, as the file layer takes paths.
  [[nodiscard]] const std::string& Path() const { return path_; }
  // Full path of `name` inside the folder.
  [[nodiscard]] std::string File(const std::string& name) const;
  // Writes `bytes` to `name` (created or replaced); returns the full path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  std::string Write(const std::string& name, const std::string& bytes) const;
  // A pipe that nobody reads or writes while the folder lives: a FIFO named
  // `name` in the folder, or on Windows a named pipe (\\.\pipe\...) with a few
  // instances waiting for a client. Returns its path.
  std::string Pipe(const std::string& name);

 private:
  std::string path_;
  std::vector<void*> pipeHandles_;
};

// A UTF-8 path as the standard library's path (whose narrow form on Windows
// is the ANSI code page).
std::filesystem::path PathOf(const std::string& utf8);
bool Exists(const std::string& path);
// The sorted names in `folder`, to see that no temporary file stays behind.
std::vector<std::string> NamesIn(const std::string& folder);
std::vector<std::uint8_t> ReadAll(const std::string& path);
// The same as text.
std::string ReadText(const std::string& path);
// The number of file descriptors (handles on Windows) this process has open.
int OpenDescriptorCount();

}  // namespace vips::testing
