#include "core/files/path_names.hpp"

#include <atomic>
#include <chrono>
#include <cstring>

namespace vips {
namespace {

std::string TemporaryNameSuffix(std::uint64_t seed) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (int i = 0; i < 8; ++i) {
    suffix.push_back(kDigits[seed % 36]);
    seed /= 36;
  }
  return suffix;
}

}  // namespace

std::string BareName(const std::string& path) {
#ifdef _WIN32
  const std::size_t separator = path.find_last_of("\\/:");
#else
  const std::size_t separator = path.find_last_of('/');
#endif
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string BackupPathOf(const std::string& originalPath) {
  return originalPath + "_backup";
}

std::string UniqueNameSuffix(std::uint64_t process) {
  static std::atomic<std::uint32_t> counter{0};
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return TemporaryNameSuffix(now * 0x9E3779B97F4A7C15ull ^ process << 20 ^ ++counter);
}

std::string CompanionPrefix(const std::string& name, const char* mark, std::size_t room,
                            std::size_t nameLimit) {
  const std::size_t markLength = std::strlen(mark);
  if (1 + name.size() + markLength + room <= nameLimit) return "." + name + mark;
  // FNV-1a of the whole name stands for its cut end.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  const std::string tag = "~" + TemporaryNameSuffix(hash);
  const std::size_t fixed = 1 + tag.size() + markLength + room;
  std::size_t keep = nameLimit > fixed ? nameLimit - fixed : 0;
  // Not inside a UTF-8 character: its continuation bytes are 10xxxxxx.
  while (keep > 0 && keep < name.size() &&
         (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  return "." + name.substr(0, keep) + tag + mark;
}

std::string CompanionPath(const std::string& path, const char* mark, std::size_t room) {
  const std::string name = BareName(path);
  return path.substr(0, path.size() - name.size()) +
         CompanionPrefix(name, mark, room, NameLimitOf(path));
}

}  // namespace vips
