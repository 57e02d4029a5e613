#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.hpp"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const int status = vips::cli::RunCli(args, std::cout, std::cerr);
  std::cout.flush();
  // A listing that could not be written (a closed pipe, a full disk) is a
  // failure, not a success.
  if (!std::cout && status == vips::cli::kExitDone) {
    std::cerr << "I/O error writing the output\n";
    return vips::cli::kExitIoError;
  }
  return status;
}
