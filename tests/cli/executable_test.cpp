// Runs the built executable, to prove that main forwards its arguments and
// that the listing and the diagnostics reach different streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ips_bytes.hpp"
#include "support/temp_dir.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace vips::cli {
namespace {

using testing::IpsBytes;
using testing::ReadAll;
using testing::TempDir;

struct Process {
  int status = -1;
  std::string out;
  std::string err;
};

#ifdef _WIN32

std::wstring Wide(const std::string& utf8) {
  const std::filesystem::path path = testing::PathOf(utf8);
  return path.wstring();
}

// The program sits beside the test program, which may have been copied to
// another folder (or machine) to run.
std::wstring CliPath() {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (size < self.size()) {
      self.resize(size);
      break;
    }
    self.resize(self.size() * 2);
  }
  const std::string built = VIPS_CLI_PATH;
  return self.substr(0, self.find_last_of(L"\\/") + 1) +
         Wide(built.substr(built.find_last_of("/\\") + 1));
}

// One word of a command line as CommandLineToArgvW splits it back.
std::wstring Quoted(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes double only before a quote, which is escaped itself.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

HANDLE InheritableOutput(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

Process RunExecutable(const TempDir& dir, const std::vector<std::string>& args) {
  const std::wstring program = CliPath();
  std::wstring commandLine = Quoted(program);
  for (const std::string& arg : args) commandLine += L" " + Quoted(Wide(arg));

  const std::string outPath = dir.File("stdout.txt");
  const std::string errPath = dir.File("stderr.txt");
  Process result;
  HANDLE out = InheritableOutput(outPath);
  HANDLE err = InheritableOutput(errPath);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const bool started = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                       ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &startup, &process);
  if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  if (err != INVALID_HANDLE_VALUE) ::CloseHandle(err);
  if (!started) return result;
  DWORD exitCode = 0;
  if (::WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
      ::GetExitCodeProcess(process.hProcess, &exitCode)) {
    result.status = static_cast<int>(exitCode);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  if (result.status < 0) return result;
  const auto outBytes = ReadAll(outPath);
  const auto errBytes = ReadAll(errPath);
  result.out.assign(outBytes.begin(), outBytes.end());
  result.err.assign(errBytes.begin(), errBytes.end());
  return result;
}

#else

Process RunExecutable(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), VIPS_CLI_PATH);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const std::string outPath = dir.File("stdout.txt");
  const std::string errPath = dir.File("stderr.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  Process result;
  if (spawned != 0) return result;
  int wait = 0;
  if (waitpid(pid, &wait, 0) != pid || !WIFEXITED(wait)) return result;
  result.status = WEXITSTATUS(wait);
  const auto out = ReadAll(outPath);
  const auto err = ReadAll(errPath);
  result.out.assign(out.begin(), out.end());
  result.err.assign(err.begin(), err.end());
  return result;
}

#endif

TEST(ExecutableTest, VersionOnStdout) {
  TempDir dir;
  const Process p = RunExecutable(dir, {"--version"});
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, "Velmorant IPS " VIPS_VERSION_TEXT "\n");
  EXPECT_EQ(p.err, "");
}

TEST(ExecutableTest, CutPatchListingOnStdoutErrorOnStderr) {
  TempDir dir;
  const std::string patch =
      dir.Write("cut.ips", IpsBytes().Data(0x100, "xyz").Run(0x20, 16, 0).CutBy(1));
  const Process p = RunExecutable(dir, {"list", patch});
  EXPECT_EQ(p.status, 2);
  EXPECT_EQ(p.out, "1\t100\t102\tdata\t3\n");
  EXPECT_EQ(p.err, patch + ": Read beyond end of file\n");
}

TEST(ExecutableTest, AppliesTheChosenRecords) {
  TempDir dir;
  const std::string original = dir.Write("o.bin", std::string("......"));
  const std::string patch =
      dir.Write("p.ips", IpsBytes().Data(0, "a").Data(2, "b").Run(4, 2, 'c').Complete());
  const Process p = RunExecutable(dir, {"apply", "--skip", "2", original, patch});
  EXPECT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, "");
  const auto bytes = ReadAll(original);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "a...cc");
}

TEST(ExecutableTest, WrongUsageOnStderrWithStatus64) {
  TempDir dir;
  const Process p = RunExecutable(dir, {"apply", "only-one-file"});
  EXPECT_EQ(p.status, 64);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err,
            "velmorant-ips-cli: 'apply' takes ORIGINAL PATCH [PATCH...], not 1 file\n"
            "Try 'velmorant-ips-cli --help'.\n");
}

// Names outside any ANSI code page and words with spaces reach the program
// whole (on Windows through the wide command line).
TEST(ExecutableTest, AppliesToFilesWithNonAsciiNamesAndSpaces) {
  TempDir dir;
  const std::string original = dir.Write("оригинал 原本.bin", std::string("...."));
  const std::string patch = dir.Write("патч パッチ.ips", IpsBytes().Data(1, "ab").Complete());
  const Process p = RunExecutable(dir, {"apply", "--backup", original, patch});
  EXPECT_EQ(p.status, 0) << p.err;
  const auto bytes = ReadAll(original);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ".ab.");
  const auto backup = ReadAll(original + "_backup");
  EXPECT_EQ(std::string(backup.begin(), backup.end()), "....");
}

#ifdef _WIN32
// The version record compiled into the executable, read back as Explorer
// reads it.
TEST(ExecutableTest, VersionRecord) {
  const std::wstring path = CliPath();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version record";
  std::vector<unsigned char> record(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, record.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020002u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
  const auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueW(record.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars) ||
        value == nullptr) {
      return std::wstring(L"(none)");
    }
    return std::wstring(value);
  };
  EXPECT_EQ(text(L"ProductName"), L"Velmorant IPS");
  EXPECT_EQ(text(L"ProductVersion"), L"" VIPS_VERSION_TEXT);
  EXPECT_EQ(text(L"FileVersion"), L"" VIPS_VERSION_TEXT);
  EXPECT_EQ(text(L"OriginalFilename"), L"velmorant-ips-cli.exe");
}
#endif

}  // namespace
}  // namespace vips::cli
