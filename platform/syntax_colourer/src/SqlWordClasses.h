#pragma once
// The colour class of a T-SQL word, compared without regard to case.
#include <string_view>

namespace vx::colour {

// 1 keyword, 2 data type, 3 datetime, 10 any other word.
int WordClass(std::string_view word);

}  // namespace vx::colour
