#pragma once
// The workgroup file's bytes, carried by the program and written out as
// "Vexilon.sec" while it runs.
#include <cstddef>

namespace vx::archive {

const unsigned char* WorkgroupResourceData();
std::size_t WorkgroupResourceSize();

}  // namespace vx::archive
