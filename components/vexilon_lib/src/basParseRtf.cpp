// T-SQL as a complete RTF document: escaped, coloured, wrapped in the fixed header.
#include "basParseText.h"
#include "syntax_colourer/SyntaxColourer.h"
#include "vexilon_lib/basParse.h"

namespace basParse {

const std::string_view kRtfHeader =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fmodern MS Shell Dlg;}}"
    "{\\colortbl\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green0\\blue255;"
    "\\red255\\green0\\blue255;\\red0\\green0\\blue255;\\red128\\green128\\blue128;"
    "\\red255\\green0\\blue0;\\red0\\green0\\blue255;\\red64\\green128\\blue128;"
    "\\red0\\green0\\blue0;\\red0\\green0\\blue0;\\red0\\green0\\blue0;\\red0\\green0\\blue0;"
    "\\red0\\green0\\blue0;\\red0\\green0\\blue0;\\red0\\green0\\blue0;} "
    "\\deflang1033\\plain\\f0\\fs16\\par ";

std::string EscapeRtfText(std::string_view source) {
  std::string out = text::ReplaceAll(source, "\\", "\\\\");
  out = text::ReplaceAll(out, "{", "\\{");
  return text::ReplaceAll(out, "}", "\\}");
}

std::string WrapRtfDocument(std::string_view coloured) {
  std::string out;
  out.reserve(kRtfHeader.size() + coloured.size() + 1);
  out.append(kRtfHeader);
  out.append(coloured);
  out += '}';
  return out;
}

std::string ParseSQLSyntax(std::string_view strSQL) {
  std::string coloured;
  {
    vx::SyntaxColourer colourer;
    coloured = colourer.ColourSQL(EscapeRtfText(strSQL), 1);
  }
  return WrapRtfDocument(coloured);
}

}  // namespace basParse
