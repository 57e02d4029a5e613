#pragma once

// A small file system of its own for full-disk tests: a tmpfs of a given size
// mounted on a folder, unmounted when the object goes. Mounting needs root
// and a system that allows it; where it cannot be had, Reason() says why and
// the test skips with that reason.
#include <string>

#ifndef _WIN32
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#endif

namespace vips::testing {

class SmallDisk {
 public:
  SmallDisk(const std::string& folder, std::size_t kib) : folder_(folder) {
#ifdef _WIN32
    (void)kib;
    reason_ = "no tmpfs on Windows";
#else
    std::filesystem::create_directories(folder_);
    const std::string options = "size=" + std::to_string(kib) + "k";
    if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      reason_ = "cannot mount a tmpfs here (" + std::string(std::strerror(errno)) + ")";
    }
#endif
  }
  ~SmallDisk() {
#ifndef _WIN32
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
#endif
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  [[nodiscard]] bool Mounted() const { return mounted_; }
  [[nodiscard]] const std::string& Reason() const { return reason_; }
  [[nodiscard]] std::string File(const std::string& name) const { return folder_ + "/" + name; }

 private:
  std::string folder_;
  bool mounted_ = false;
  std::string reason_;
};

}  // namespace vips::testing
