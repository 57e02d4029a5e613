#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.hpp"

namespace vips::testing {

// What one in-process run of the command line gave back.
struct Outcome {
  int status;
  std::string out;
  std::string err;
};

inline Outcome RunCommand(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace vips::testing
