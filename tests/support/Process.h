// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sealvane::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when killed by a signal
  std::string out;
  std::string err;
};

// Runs a program with the current environment and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = {});

// The argv prefix that runs a program as an unprivileged user when the tests
// run as root (root ignores file permissions); empty otherwise.
std::vector<std::string> UnprivilegedPrefix();

// A copy of `program` (and of the cipher library beside it) in the test's
// sandbox that an unprivileged user may run, wherever the build tree is;
// the program itself when the tests do not run as root.
std::string UnprivilegedProgram(const std::string& program);

// Gives a file or folder (and what a folder holds) to the unprivileged user
// of UnprivilegedPrefix when the tests run as root; nothing otherwise.
void GiveToUnprivilegedUser(const std::string& path);

// Waits (at most 20 s) until the process holds a file that no name shows,
// of at least `bytes`: a job's new or scratch file, so the job is under way.
bool WaitForUnnamedFile(int pid, long long bytes);

// Starts a program in the background; returns its pid.
int StartProcess(const std::vector<std::string>& argv);
// Waits for a started program; returns its exit code, -1 for a signal.
int WaitProcess(int pid);

// Runs a program on a pseudo-terminal of `columns` columns (its standard
// input, output and error) and returns what it wrote there. When
// `interruptAfter` appears in the output, the program gets SIGINT, as from
// Ctrl-C. `seconds` is set to how long it ran.
struct PtyResult {
  int exitCode = -1;
  std::string output;
  double seconds = 0;
};
// `answers`: when the output shows a question (the first of the pair, each
// in turn), the answer is typed.
PtyResult RunInPty(const std::vector<std::string>& argv, unsigned short columns,
                   const std::string& interruptAfter = {},
                   const std::vector<std::pair<std::string, std::string>>& answers = {});

}  // namespace sealvane::test

namespace sealvane::test {

// Puts a program named `name` into `folder` that records the arguments it
// is started with, for RecordedArguments.
void WriteRecordingProgram(const std::string& folder, const std::string& name);
// The arguments of the recording program's last start (waiting up to 5 s
// for it); the record is removed, so the next start is seen afresh.
std::vector<std::string> RecordedArguments(const std::string& folder);

}  // namespace sealvane::test
