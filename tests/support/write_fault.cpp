#include "tests/support/write_fault.hpp"

#include <atomic>

namespace vips::write_fault {

namespace {

std::atomic<int> failingStep{0};
std::atomic<bool> failingOn{false};
std::atomic<int> steps{0};
std::atomic<int> flushes{0};
std::atomic<int> actionStep{0};
std::atomic<void (*)()> stepAction{nullptr};
std::atomic<int> endingRead{0};
std::atomic<int> reads{0};
std::atomic<void (*)()> lockAction{nullptr};

}  // namespace

void FailNthStep(int n) {
  failingStep = n;
  failingOn = false;
  steps = 0;
  flushes = 0;
}

void FailFromNthStep(int n) {
  failingStep = n;
  failingOn = n > 0;
  steps = 0;
  flushes = 0;
}

int StepsTaken() {
  return steps;
}

int FlushesTaken() {
  return flushes;
}

void AtNthStep(int n, void (*action)()) {
  actionStep = action == nullptr ? 0 : n;
  stepAction = action;
  steps = 0;
  flushes = 0;
}

bool StepFails() {
  const int step = ++steps;
  if (step == actionStep) {
    if (void (*action)() = stepAction.load()) action();
  }
  return step == failingStep || (failingOn && step > failingStep);
}

bool FlushFails() {
  ++flushes;
  return StepFails();
}

void EndReadsFromNth(int n) {
  endingRead = n;
  reads = 0;
}

bool ReadEnds() {
  const int read = ++reads;
  const int from = endingRead;
  return from > 0 && read >= from;
}

void BeforeLock(void (*action)()) {
  lockAction = action;
}

void RunBeforeLock() {
  if (void (*action)() = lockAction.load()) action();
}

}  // namespace vips::write_fault
