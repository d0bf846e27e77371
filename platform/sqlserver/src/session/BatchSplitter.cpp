#include "sqlserver/BatchSplitter.h"

#include <cctype>

namespace vx::sqlserver {

namespace {
bool IsBlankLine(std::string_view s) {
  for (char c : s)
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  return true;
}

bool IsGoLine(std::string_view line) {
  size_t b = 0, e = line.size();
  while (b < e && (line[b] == ' ' || line[b] == '\t')) ++b;
  while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t' || line[e - 1] == '\r')) --e;
  return e - b == 2 && std::tolower(static_cast<unsigned char>(line[b])) == 'g' &&
         std::tolower(static_cast<unsigned char>(line[b + 1])) == 'o';
}
}  // namespace

std::vector<std::string> SplitBatches(std::string_view text) {
  std::vector<std::string> batches;
  size_t batchStart = 0;
  size_t i = 0;
  int commentDepth = 0;  // block comments nest
  char quote = 0;        // '\'', '"' or ']' while inside
  bool lineComment = false;
  size_t lineStart = 0;
  auto finishLine = [&](size_t lineEnd, size_t next) {
    // lineEnd: position of '\n' (or text end); next: start of the following line.
    if (commentDepth == 0 && quote == 0 && IsGoLine(text.substr(lineStart, lineEnd - lineStart))) {
      size_t end = lineStart;
      if (end > batchStart && text[end - 1] == '\n') --end;
      if (end > batchStart && text[end - 1] == '\r') --end;
      std::string batch(text.substr(batchStart, end > batchStart ? end - batchStart : 0));
      if (!IsBlankLine(batch)) batches.push_back(std::move(batch));
      batchStart = next;
    }
    lineStart = next;
  };
  while (i < text.size()) {
    char c = text[i];
    if (c == '\n') {
      lineComment = false;
      finishLine(i, i + 1);
      ++i;
      continue;
    }
    if (lineComment) {
      ++i;
      continue;
    }
    if (quote) {
      if (c == quote) {
        if (i + 1 < text.size() && text[i + 1] == quote) {
          i += 2;
          continue;
        }
        quote = 0;
      }
      ++i;
      continue;
    }
    if (commentDepth > 0) {
      if (c == '*' && i + 1 < text.size() && text[i + 1] == '/') {
        --commentDepth;
        i += 2;
        continue;
      }
      if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
        ++commentDepth;
        i += 2;
        continue;
      }
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      lineComment = true;
      i += 2;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      commentDepth = 1;
      i += 2;
      continue;
    }
    if (c == '\'' || c == '"') quote = c;
    if (c == '[') quote = ']';
    ++i;
  }
  finishLine(text.size(), text.size());
  if (batchStart < text.size()) {
    std::string batch(text.substr(batchStart));
    if (!IsBlankLine(batch)) batches.push_back(std::move(batch));
  }
  return batches;
}

}  // namespace vx::sqlserver
