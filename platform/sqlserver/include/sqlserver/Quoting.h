#pragma once
// Names and texts put into T-SQL: a name between brackets with "]" doubled, a
// Unicode literal with "'" doubled, so neither can end early or inject SQL; and
// a name written inside a block comment, which can neither end the comment nor
// open a nested one.
#include <string>

namespace vx::sqlserver {

std::string Bracket(const std::string& name);
std::string NLiteral(const std::string& text);
// A blank goes between the "*" and "/" of every "*/" and "/*", and control
// characters (line ends, tabs, NUL) become blanks, so the text stays on its
// comment's line and inside it. Text without those comes back unchanged. The
// caller keeps a character other than "*" and "/" on either side of it.
std::string CommentText(const std::string& text);

}  // namespace vx::sqlserver
