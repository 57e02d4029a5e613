#pragma once

namespace vips::write_fault {

// A test seam in the file layer, only in the tests' core (VIPS_WRITE_FAULTS):
// every write step (a write, a copy, a flush, a rename, a change of length, the
// close of a file written and flushed) can fail as a full disk would, a read
// find nothing, and a test act just before a lock is taken.
#ifdef VIPS_WRITE_FAULTS
// Counts one write step and tells whether it must fail.
[[nodiscard]] bool StepFails();
// StepFails() for a step that flushes a file or a folder, counted as a flush too.
[[nodiscard]] bool FlushFails();
// Counts one read of a file's bytes and tells whether it finds nothing.
[[nodiscard]] bool ReadEnds();
// Called between opening a file to patch and taking its lock.
void RunBeforeLock();
#else
[[nodiscard]] constexpr bool StepFails() {
  return false;
}
[[nodiscard]] constexpr bool FlushFails() {
  return false;
}
[[nodiscard]] constexpr bool ReadEnds() {
  return false;
}
constexpr void RunBeforeLock() {}
#endif

}  // namespace vips::write_fault
