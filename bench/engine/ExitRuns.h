#pragma once
// The program's start and exit on a large archive, each in a process of its
// own (its time and its peak memory as the program would have them).
#include <string>

namespace vx::bench {

// Keeps the archive of `folder` (its log folded in first, so that the file is
// what a user's archive is at exit: the log a run leaves is at most a few MB)
// and its workgroup file as the fixture in `fixture` (a folder).
void SaveExitFixture(const std::string& folder, const std::string& fixture);

// On copies of the fixture, `runs` times each, alternating: the first exit of
// this version (the fixture's pages of 1 KB), a later exit (pages of 4 KB), a
// start with the archive out of the OS cache and a warm start. Prints medians.
void RunExitsAndStarts(const std::string& self, const std::string& fixture, int runs);

// The child processes' work; returns the process's exit code.
int ChildExit(const std::string& folder);
int ChildStart(const std::string& folder);

}  // namespace vx::bench
