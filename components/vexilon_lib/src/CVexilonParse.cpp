// T-SQL coloured as an RTF document, through the engine's text module.
#include "vexilon_lib/CVexilon.h"
#include "vexilon_lib/basParse.h"

std::string CVexilon::ParseSQLSyntax(const std::string& strSQL) { return basParse::ParseSQLSyntax(strSQL); }
