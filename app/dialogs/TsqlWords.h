#pragma once
// The word lists of the viewers' T-SQL language and the style each word takes.
#include <string_view>

namespace vx::app::tsql {

// Each list is one text of entries separated by "\n", as stored.
extern const char* const kKeywords1;
extern const char* const kKeywords2;
extern const char* const kOperators;
extern const char* const kFunctions;
extern const char* const kSystemTables;

// The viewers' styles (the editor's style numbers).
enum Style : int {
  kPlain = 0,
  kKeyword = 1,
  kOperator = 2,
  kComment = 3,
  kString = 4,
  kFunction = 5,
  kSystemTable = 6,
};

// The style of a word or operator, compared without regard to case: the
// keywords first, then the operators, functions and system tables; kPlain when
// no list holds it. Entries are matched without their trailing blanks; entries
// of several words never match a single word.
int WordStyle(std::string_view word);

}  // namespace vx::app::tsql
