#include "core/files/write_fault.hpp"

#include <atomic>

namespace vips::write_fault {

namespace {

std::atomic<int> failingStep{0};
std::atomic<int> steps{0};

}  // namespace

void FailNthStep(int n) {
  failingStep = n;
  steps = 0;
}

int StepsTaken() {
  return steps;
}

bool StepFails() {
  const int step = ++steps;
  return step == failingStep;
}

}  // namespace vips::write_fault
