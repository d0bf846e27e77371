#pragma once
// For tests that prove nothing is lost when the archive fails: a hook that runs
// before each operation of every connection and may raise to make it fail, as
// a full disk or a lost file would. The operations are "open", "begin",
// "commit", "rollback" and the name of each stored query run. None by default.
#include <functional>
#include <string>

namespace vx::archive {

using FaultHook = std::function<void(const std::string& operation)>;
void SetFaultHook(FaultHook hook);

}  // namespace vx::archive
