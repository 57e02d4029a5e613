#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.hpp"

#ifndef _WIN32
#include <csignal>
#endif

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// windows.h first: shellapi.h builds on its types.
#include <shellapi.h>

#include <cstdio>
#endif

namespace {

// The words after the program name. The file layer takes UTF-8 paths; on
// Windows argv holds the words in the ANSI code page, which cannot name every
// file, so they are taken from the wide command line instead.
std::vector<std::string> CommandLineWords(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    std::vector<std::string> result;
    for (int i = 1; i < count; ++i) {
      const int size =
          ::WideCharToMultiByte(CP_UTF8, 0, words[i], -1, nullptr, 0, nullptr, nullptr);
      std::string word(size > 1 ? static_cast<std::size_t>(size) : 1, '\0');
      if (size > 1) {
        ::WideCharToMultiByte(CP_UTF8, 0, words[i], -1, word.data(), size, nullptr, nullptr);
      }
      word.pop_back();  // the terminating NUL
      result.push_back(std::move(word));
    }
    ::LocalFree(words);
    return result;
  }
#endif
  return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Lines end in "\n" on every system, so that scripts read the output alike.
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
#ifndef _WIN32
  // Past a file-size limit a write must fail and be undone like any other,
  // not end the process half-way through the file.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  std::ios::sync_with_stdio(false);
  const int status = vips::cli::RunCli(CommandLineWords(argc, argv), std::cout, std::cerr);
  std::cout.flush();
  // A listing that could not be written (a closed pipe, a full disk) is a
  // failure, not a success.
  if (!std::cout && status == vips::cli::kExitDone) {
    std::cerr << "I/O error writing the output\n";
    return vips::cli::kExitIoError;
  }
  return status;
}
