#pragma once
// Splits a command text into batches at lines that hold only "GO" (any case,
// blanks around it allowed). A "GO" inside a block comment or a quoted string
// spanning lines is not a separator. The line end before a GO line is not part
// of the batch; empty batches (only blanks) are dropped.
#include <string>
#include <string_view>
#include <vector>

namespace vx::sqlserver {

std::vector<std::string> SplitBatches(std::string_view command);

}  // namespace vx::sqlserver
