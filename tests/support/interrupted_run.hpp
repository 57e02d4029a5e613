#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/files/file_access.hpp"
#include "core/files/rollback_journal.hpp"

namespace vips::testing {

// What a run killed half-way through its write leaves: `written` over the
// file's bytes from `position` on, and the journal of their old bytes beside
// it.
inline void LeaveInterruptedRun(const std::string& path, std::uint64_t position,
                                const std::string& written) {
  ExistingFile file = ExistingFile::Open(path);
  file.LockForWriting();
  std::vector<std::uint8_t> old(written.size());
  file.ReadAllAt(position, old.data(), old.size());
  const auto* after = reinterpret_cast<const std::uint8_t*>(written.data());
  RollbackJournal::Write write;
  write.newLength = file.Length();
  write.stretches = [&](const RollbackJournal::StretchVisitor& visit) {
    visit(position, old.data(), after, old.size());
  };
  RollbackJournal left = RollbackJournal::Begin(file, write, true);
  file.WriteAt(position, written.data(), written.size());
  file.Close();
}

}  // namespace vips::testing
