#include "tests/support/run_in_child.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <iostream>

namespace testing_support {

namespace {

constexpr int kFailedCode = 1;
constexpr int kCannotRunCode = 77;

[[noreturn]] void ExitChild(int code) {
  std::cout.flush();
  std::fflush(nullptr);
  _exit(code);  // no atexit handlers: they belong to the parent's test run
}

int RunBody(const std::function<bool()>& body) {
  try {
    if (!body()) return kCannotRunCode;
  } catch (const std::exception& error) {
    ADD_FAILURE() << "child threw: " << error.what();
  }
  return ::testing::Test::HasFailure() ? kFailedCode : 0;
}

}  // namespace

ChildResult RunInChild(const std::function<bool()>& body) {
  std::cout.flush();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    ADD_FAILURE() << "fork failed";
    return ChildResult::kFailed;
  }
  if (child == 0) ExitChild(RunBody(body));
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return ChildResult::kFailed;
  if (!WIFEXITED(status)) return ChildResult::kFailed;
  switch (WEXITSTATUS(status)) {
    case 0:
      return ChildResult::kPassed;
    case kCannotRunCode:
      return ChildResult::kCannotRun;
    default:
      return ChildResult::kFailed;
  }
}

}  // namespace testing_support
