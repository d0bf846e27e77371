#pragma once
// Pieces of the scripts the engine runs on a server, and the error text of its log items.
#include <string>

#include "automation/ComError.h"

namespace vexilon {

// "USE [name]" CRLF "GO" CRLF, with "]" in the name doubled.
std::string UseDatabaseBatch(const std::string& databaseName);

// The error's number in signed decimal, a blank and its description.
std::string ErrorText(const vx::ComError& error);

// Runs f; returns the error it raised, if any. Used where the engine notes a
// failure and goes on instead of stopping.
template <typename F>
bool Note(F&& f, vx::ComError& noted) {
  try {
    f();
    return false;
  } catch (const vx::ComError& e) {
    noted = e;
    return true;
  }
}

}  // namespace vexilon

namespace vexilon {

// Writes text to a file as it stands (UTF-8, the caller's line ends), replacing
// the file by a complete new one readable by its owner only (0600); a failure
// leaves the earlier file intact. A file that cannot be written raises error 70
// (no permission) or 76.
void WriteTextFile(const std::string& fileName, const std::string& text);

}  // namespace vexilon
