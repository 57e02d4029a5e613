#pragma once

namespace vips::write_fault {

// A test seam in the file layer: every write step of the file layer (a
// write, a copy, a flush to stable storage, a rename, a change of length)
// counts one step, and the chosen step fails as if the disk were full. Tests
// use it to interrupt a copy or an apply at every point and check what the
// files hold afterwards. Only the tests' core (VIPS_WRITE_FAULTS) has it;
// in the shipped programs no step fails and nothing of it is built in.

#ifdef VIPS_WRITE_FAULTS
// Makes the `n`th write step from now fail (n >= 1); 0 lets every step pass.
void FailNthStep(int n);
// The write steps counted since the last FailNthStep.
[[nodiscard]] int StepsTaken();

// For the file layer: counts one step and tells whether it must fail.
[[nodiscard]] bool StepFails();
#else
[[nodiscard]] constexpr bool StepFails() {
  return false;
}
#endif

}  // namespace vips::write_fault
