#include "support/temp_dir.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace vips::testing {

namespace {

std::string RandomName(const std::string& prefix) {
  static std::mt19937_64 generator{std::random_device{}()};
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = prefix;
  for (int i = 0; i < 10; ++i) name.push_back(kDigits[generator() % 36]);
  return name;
}

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace

std::filesystem::path PathOf(const std::string& utf8) {
  return {std::u8string(utf8.begin(), utf8.end())};
}

TempDir::TempDir() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate = base / RandomName("vips-test-");
    // False when the name is taken: another test's folder, never reused.
    if (std::filesystem::create_directory(candidate)) {
      path_ = Utf8Of(candidate);
      return;
    }
  }
  throw std::runtime_error("no free temporary folder name");
}

TempDir::~TempDir() {
#ifdef _WIN32
  for (void* handle : pipeHandles_) ::CloseHandle(handle);
#endif
  std::error_code ignored;
  // Give back write permission first, so that read-only test files go too.
  for (auto& entry : std::filesystem::recursive_directory_iterator(PathOf(path_), ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(PathOf(path_), ignored);
}

std::string TempDir::File(const std::string& name) const {
  return path_ + "/" + name;
}

std::string TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  return Write(name, std::string(bytes.begin(), bytes.end()));
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  const std::string path = File(name);
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string TempDir::Pipe(const std::string& name) {
#ifdef _WIN32
  const std::string path = "\\\\.\\pipe\\" + RandomName("vips-test-") + "-" + name;
  const std::wstring wide(path.begin(), path.end());
  // Each instance takes one client; a test may open the pipe several times.
  for (int instance = 0; instance < 4; ++instance) {
    HANDLE handle = ::CreateNamedPipeW(wide.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
    pipeHandles_.push_back(handle);
  }
  return path;
#else
  const std::string path = File(name);
  if (::mkfifo(path.c_str(), 0666) != 0) throw std::runtime_error("cannot create " + path);
  return path;
#endif
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(PathOf(path), ignored);
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(PathOf(folder))) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadAll(path);
  return {bytes.begin(), bytes.end()};
}

#ifdef _WIN32

int OpenDescriptorCount() {
  // Wine keeps a few handles from the first C++ exception of a process
  // (GetProcessHandleCount is no help there either): raise one before the
  // first count, so that they are open in every count.
  static const bool warmedUp = [] {
    try {
      throw std::runtime_error("warm-up");
    } catch (const std::runtime_error&) {
    }
    return true;
  }();
  (void)warmedUp;
  // Handle values are multiples of four, handed out from the lowest free one;
  // a long enough run of unused values ends the table.
  int count = 0;
  int unusedRun = 0;
  for (std::uintptr_t value = 4; unusedRun < 4096; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
      unusedRun = 0;
    } else {
      ++unusedRun;
    }
  }
  return count;
}

#else

int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

#endif

}  // namespace vips::testing
