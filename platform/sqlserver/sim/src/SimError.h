#pragma once
// A server message raised inside the simulator while a batch runs.
#include <string>

namespace vx::sqlsim {

struct SimError {
  int number;
  int severity;
  std::string text;
  int line = 1;
};

}  // namespace vx::sqlsim
