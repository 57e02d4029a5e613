#pragma once

#include "core/files/write_fault.hpp"

// The tests' controls of the file layer's fault seam.
namespace vips::write_fault {

// Makes the `n`th write step from now fail (n >= 1); 0 lets every step pass.
void FailNthStep(int n);
// Makes every write step from the `n`th on fail, as a disk that keeps
// failing; 0 lets every step pass.
void FailFromNthStep(int n);
// The write steps counted since the last FailNthStep.
[[nodiscard]] int StepsTaken();
// The flushes among them.
[[nodiscard]] int FlushesTaken();
// Instead of failing, the `n`th step from now calls `action` (a test's way to
// end the process there, as a kill would); null or 0 calls nothing.
void AtNthStep(int n, void (*action)());
// From the `n`th read of a file's bytes from now on (n >= 1), every read
// finds nothing, as when another program cuts the file; 0 lets reads be.
void EndReadsFromNth(int n);
// Called between opening a file to patch and taking its lock, where another
// program may rename a file over its path; null calls nothing.
void BeforeLock(void (*action)());

}  // namespace vips::write_fault
