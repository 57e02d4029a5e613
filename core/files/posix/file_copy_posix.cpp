#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/error.hpp"
#include "core/files/file_copy.hpp"
#include "core/files/posix/posix_files.hpp"

namespace vips {

FileHandle LockCopyDestination(const std::string& to, const FileIdentity& source) {
  // Opened without waiting (a pipe in the way cannot hold the program) and
  // without following a link, which the copy replaces.
  FileHandle destination(posix::Open(to, O_RDONLY | O_NONBLOCK | O_NOFOLLOW));
  if (!destination.IsOpen()) {
    if (errno != ENOENT && errno != ELOOP) throw Error(posix::OpenErrorTextOf(to, errno), to);
    return destination;
  }
  struct stat info {};
  if (::fstat(destination.Get(), &info) != 0) throw Error(posix::ErrorTextOf(errno), to);
  // Copying a file over itself would destroy it; a file without write bits is
  // read-only for this program, even run by root.
  if (!S_ISREG(info.st_mode) || posix::IdentityFrom(info) == source ||
      (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw Error(kFileAccessDenied, to);
  }
  // Held until the copy has replaced the file.
  posix::Lock(destination.Get(), LOCK_EX, to);
  return destination;
}

}  // namespace vips
