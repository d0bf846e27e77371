#include "syntax_colourer/TokenSpans.h"

#include "TokenScanner.h"

namespace vx::colour {
namespace {

struct SpanList {
  std::vector<TokenSpan>& out;
  void operator()(const TokenSpan& span, bool /*leftOpen*/) { out.push_back(span); }
};

}  // namespace

TokenState TokenSpans::Scan(std::string_view text, TokenState start, std::vector<TokenSpan>& out) {
  SpanList sink{out};
  return TokenScanner<SpanList>(text, sink).Run(start);
}

std::vector<TokenSpan> TokenSpans::Scan(std::string_view text) {
  std::vector<TokenSpan> out;
  out.reserve(text.size() / 4 + 4);
  Scan(text, TokenState{}, out);
  return out;
}

}  // namespace vx::colour
