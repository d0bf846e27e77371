#pragma once
// The one error type of every library: a signed 32-bit number printed in
// decimal, the source that raised it and its description. Members pass it on
// unchanged; only the member that detects a failure builds one.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vx {

class ComError : public std::runtime_error {
 public:
  ComError(int32_t number, std::string source, std::string description);

  int32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

}  // namespace vx
