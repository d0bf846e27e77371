#pragma once
// A server message raised inside the simulator while a batch runs.
#include <string>

namespace vx::sqlsim {

struct SimError {
  int number;
  int severity;
  std::string text;
  int line = 0;  // 0: the line of the statement that raised it
};

}  // namespace vx::sqlsim
