#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/arguments.hpp"
#include "core/error.hpp"
#include "core/files/file_access.hpp"

namespace vips::cli {

// The change asked of `create` has no IPS patch: the command ends with
// status 4 and what() says why.
class NotExpressible : public std::runtime_error {
 public:
  explicit NotExpressible(const std::string& text) : std::runtime_error(text) {}
};

// An error as the command line shows it: the file it concerns first.
std::string Described(const Error& error);

// Runs `action`; an error it throws that names no file comes out naming
// `path`.
template <typename Action>
decltype(auto) AtPath(const std::string& path, Action&& action) {
  try {
    return action();
  } catch (const Error& error) {
    if (!error.Path().empty()) throw;
    throw Error(error.what(), path);
  }
}

// Runs `action`; any error it throws comes out naming `path`, as for the
// temporary file behind a new file, which the user does not know.
template <typename Action>
decltype(auto) AsPath(const std::string& path, Action&& action) {
  try {
    return action();
  } catch (const Error& error) {
    throw Error(error.what(), path);
  }
}

// Throws UsageError when `output` names the same file as one of `inputs`
// (the same text, or another name of the same existing file), and
// "File access denied" when `output` is a file without write permission:
// a read-only file is not replaced.
void CheckNewFile(const std::string& output, const std::vector<std::string>& inputs);

// The records that a --only or --skip list chooses out of the `recordCount`
// records of the patch at `patchPath` (every record for Selection::All).
// Throws UsageError, naming the patch, for a list naming a record that does
// not exist.
std::vector<bool> ChosenRecords(Selection selection, const std::vector<RecordRange>& ranges,
                                std::size_t recordCount, const std::string& patchPath);

// Writes `bytes` as the file `path`, whole or not at all, replacing it.
void WriteNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Says on `err` that a run stopped while it wrote the file at `path` was taken back.
void ReportTakenBack(const std::string& path, std::ostream& err);

// The file at `path` opened for reading and locked, never half-written: when a
// stopped run left its journal, the file is opened for writing, the journal
// played back (ReportTakenBack) and the file held with the writers' lock.
// A journal that cannot be trusted throws JournalRefused, reading nothing.
ExistingFile OpenTakenBack(const std::string& path, std::ostream& err);

// Says on `err` that the IPS patch at `path` gives the file's `length` after
// its end marker, which apply --truncate honours.
void NoteTruncation(std::ostream& err, const std::string& path, std::uint32_t length);

// "PATH: Invalid IPS file!" on `err` for the patch at `path`; when `other`,
// the command's ORIGINAL, is a patch itself (of any format), adds that the
// two may have been given the wrong way round. The status for a file that is no patch.
int NotAPatch(std::ostream& err, const std::string& path, const std::string& other = {});

}  // namespace vips::cli
