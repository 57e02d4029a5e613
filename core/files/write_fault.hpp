#pragma once

namespace vips::write_fault {

// A test seam in the file layer: every write step (a write, a copy, a flush,
// a rename, a change of length, the close of a file written and flushed) can
// be made to fail as a full disk would, a read to find nothing, and a test can
// act just before a lock is taken. Only the tests' core (VIPS_WRITE_FAULTS)
// has it; its controls are in tests/support/write_fault.hpp.
#ifdef VIPS_WRITE_FAULTS
// Counts one write step and tells whether it must fail.
[[nodiscard]] bool StepFails();
// Counts one read of a file's bytes and tells whether it finds nothing.
[[nodiscard]] bool ReadEnds();
// Called between opening a file to patch and taking its lock.
void RunBeforeLock();
#else
[[nodiscard]] constexpr bool StepFails() {
  return false;
}
[[nodiscard]] constexpr bool ReadEnds() {
  return false;
}
constexpr void RunBeforeLock() {}
#endif

}  // namespace vips::write_fault
