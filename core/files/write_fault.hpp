#pragma once

namespace vips::write_fault {

// A test seam in the file layer: every write step of the file layer (a
// write, a copy, a flush to stable storage, a rename, a change of length, the
// close of a file written and flushed) counts one step, and the chosen step
// fails as if the disk were full. Tests use it to interrupt a copy or an
// apply at every point and check what the files hold afterwards; reads that
// end early and a rename just before a lock are seams of the same kind. Only
// the tests' core (VIPS_WRITE_FAULTS) has it; in the shipped programs no step
// fails and nothing of it is built in.

#ifdef VIPS_WRITE_FAULTS
// Makes the `n`th write step from now fail (n >= 1); 0 lets every step pass.
void FailNthStep(int n);
// Makes every write step from the `n`th on fail, as a disk that keeps
// failing; 0 lets every step pass.
void FailFromNthStep(int n);
// The write steps counted since the last FailNthStep.
[[nodiscard]] int StepsTaken();
// Instead of failing, the `n`th step from now calls `action` (a test's way to
// end the process there, as a kill would); null or 0 calls nothing.
void AtNthStep(int n, void (*action)());
// For the file layer: counts one step and tells whether it must fail.
[[nodiscard]] bool StepFails();

// Reads: from the `n`th read of a file's bytes from now on (n >= 1), every
// read finds nothing, as when another program cuts the file or a file system
// misbehaves; 0 lets reads be.
void EndReadsFromNth(int n);
// For the file layer: counts one read and tells whether it finds nothing.
[[nodiscard]] bool ReadEnds();

// Called between opening a file to patch and taking its lock, where another
// program may rename a file over its path; null calls nothing.
void BeforeLock(void (*action)());
// For the file layer.
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
