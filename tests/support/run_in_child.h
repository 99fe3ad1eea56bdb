#pragma once
// Runs part of a test in a forked child, for what must not reach the test process itself:
// a private mount namespace, a lowered resource limit. The child's gtest assertions report
// as usual on the shared output; the parent learns only whether they all held.

#include <functional>

namespace testing_support {

enum class ChildResult { kPassed, kFailed, kCannotRun };

// `body` returns false when this machine cannot give it what it needs (no privilege, say);
// it should then print why. Call only while the test process runs a single thread.
ChildResult RunInChild(const std::function<bool()>& body);

}  // namespace testing_support
