#pragma once
// Starts the program in a child process, so that a disk that fails on cue, a
// kill at a write or a sync, or a user other than root stays with the child;
// the parent reads back what the start came to and the messages it showed.
#include <functional>
#include <string>
#include <vector>

#include "support/ShellTestSupport.h"

namespace shell_test {

// What a start in a child process came to.
struct Outcome {
  bool killed = false;
  int result = -1;  // a StartUpResult, or kUnreachable
  std::vector<ui_test::AskedMessage> messages;
};

inline constexpr int kUnreachable = 77;  // the child cannot reach the test folders as another user

class ChildStartTest : public ShellTest {
 public:
  void LeaveRowsInTheLog();
  // Compacts the archive as the exit does: it then has pages of 4 KB.
  void CompactArchive();

 protected:
  // Runs `before` and a start in a child; the child may drop to another user.
  Outcome StartInChild(const std::function<void()>& before, bool asOtherUser = false);
  // The registered servers the archive holds, read through the engine's archive layer.
  int64_t RegisteredServers();
};

}  // namespace shell_test
