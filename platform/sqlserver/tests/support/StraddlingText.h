#pragma once
// A procedure text that the server cuts into syscomments rows of 4,000 UTF-16
// code units with each cut between the two halves of a character beyond the
// BMP: one stands at units 3,999-4,000 and one at 7,999-8,000.
#include <string>

namespace tds_test {

inline std::string StraddlingProcedure(const std::string& name) {
  std::string text = "CREATE PROCEDURE " + name + " AS\r\nSELECT 1 -- Grüße ";
  size_t units = text.size() - 2;  // "ü" and "ß" are two bytes and one unit each
  for (size_t cut : {4000u, 8000u}) {
    for (; units < cut - 1; ++units) text += units % 9 ? "x" : "é";
    text += "\xF0\x9D\x84\x9E";  // U+1D11E, two units
    units += 2;
  }
  return text + " 東京 ✓ \xF0\x9F\x98\x80\r\nRETURN 0";
}

}  // namespace tds_test
