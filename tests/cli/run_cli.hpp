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

// Wrong usage as the command line reports it: one line saying what is wrong,
// then where to read more.
inline bool IsUsageReport(const std::string& err) {
  const std::string prefix = "velmorant-ips-cli: ";
  const std::string hint = "Try 'velmorant-ips-cli --help'.\n";
  return err.size() > prefix.size() + hint.size() && err.rfind(prefix, 0) == 0 &&
         err.compare(err.size() - hint.size(), hint.size(), hint) == 0 &&
         err.find('\n') == err.size() - hint.size() - 1;
}

}  // namespace vips::testing
