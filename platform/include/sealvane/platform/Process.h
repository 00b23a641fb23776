// SPDX-License-Identifier: GPL-3.0-or-later
// Starting other programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sealvane::platform {

// Runs a program found on PATH and returns its standard output when it
// exits with status 0; empty when it cannot be started or fails.
std::optional<std::string> RunAndCapture(const std::vector<std::string>& argv);

// Starts a program found on PATH in the background, detached from this one
// (it outlives the program and is never waited for). Returns 0 or the
// run-time error number of the failure (53 when there is no such program).
std::int32_t LaunchDetached(const std::vector<std::string>& argv);

// A parameters string split into arguments by the platform's quoting rules:
// blanks and tabs separate arguments outside double quotes; the quotes are
// removed; a backslash run before a quote halves and, when odd, makes the
// quote a literal one; "" inside quotes is a literal quote; other
// backslashes are kept as they are.
std::vector<std::string> SplitParameters(std::string_view parameters);
// One argument in double quotes, escaped so that SplitParameters gives it
// back unchanged; a path without quotes or trailing backslashes is simply
// enclosed in double quotes.
std::string QuoteParameter(std::string_view argument);

}  // namespace sealvane::platform

namespace sealvane::platform {

// A program that holds passwords and keys in memory calls this first: no
// core file is written when it crashes (RLIMIT_CORE 0), and it is not
// dumpable (no core through a pipe handler, no ptrace by other processes of
// the same user).
void KeepSecretsOutOfCoreDumps() noexcept;

// From now on Ctrl-C (SIGINT), SIGTERM and SIGHUP set a flag instead of
// ending the program, so that a running job can stop and clean up.
void CatchInterrupts();
// True once after each of those signals.
bool TakeInterrupt() noexcept;
// True when standard input / standard error is a terminal.
bool StdinIsTerminal() noexcept;
bool StderrIsTerminal() noexcept;
// The width of the terminal on `fd` in columns; $COLUMNS, else 80, when it
// cannot be told.
std::size_t TerminalColumns(int fd) noexcept;

}  // namespace sealvane::platform
