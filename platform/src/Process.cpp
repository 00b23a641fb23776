// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/Process.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "sealvane/platform/RuntimeError.h"

extern char** environ;

namespace sealvane::platform {
namespace {

std::vector<char*> Argv(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  for (const auto& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

int Wait(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::optional<std::string> RunAndCapture(const std::vector<std::string>& argv) {
  if (argv.empty()) return std::nullopt;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  auto args = Argv(argv);
  const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    return std::nullopt;
  }
  std::string text;
  char buf[1024];
  for (;;) {
    const ssize_t n = ::read(out[0], buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (text.size() < (1u << 20)) text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  if (Wait(pid) != 0) return std::nullopt;
  return text;
}

// True when `program` names an executable, directly or on PATH.
bool Findable(const std::string& program) {
  if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

std::int32_t LaunchDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return rt::kInvalidCall;
  if (!Findable(argv[0])) return rt::kFileNotFound;
  // A shell starts the program in the background and exits at once: the
  // program is adopted by init and never becomes a zombie of this one.
  std::vector<std::string> shell = {"/bin/sh", "-c", "\"$@\" >/dev/null 2>&1 </dev/null &", "sh"};
  shell.insert(shell.end(), argv.begin(), argv.end());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  auto args = Argv(shell);
  const int rc = ::posix_spawn(&pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return ErrnoToRuntimeNumber(rc);
  return Wait(pid) == 0 ? 0 : rt::kDeviceIO;
}

std::vector<std::string> SplitParameters(std::string_view parameters) {
  std::vector<std::string> out;
  std::size_t i = 0;
  const std::size_t n = parameters.size();
  for (;;) {
    while (i < n && (parameters[i] == ' ' || parameters[i] == '\t')) ++i;
    if (i >= n) break;
    std::string argument;
    bool quoted = false;
    while (i < n) {
      const char c = parameters[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        std::size_t run = 0;
        while (i < n && parameters[i] == '\\') {
          ++run;
          ++i;
        }
        if (i < n && parameters[i] == '"') {
          argument.append(run / 2, '\\');
          if (run % 2 == 1) {
            argument.push_back('"');
            ++i;
          }
        } else {
          argument.append(run, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < n && parameters[i + 1] == '"') {
          argument.push_back('"');
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      argument.push_back(c);
      ++i;
    }
    out.push_back(std::move(argument));
  }
  return out;
}

std::string QuoteParameter(std::string_view argument) {
  std::string out = "\"";
  std::size_t run = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++run;
      continue;
    }
    if (c == '"') {
      out.append(run * 2 + 1, '\\');
    } else {
      out.append(run, '\\');
    }
    run = 0;
    out.push_back(c);
  }
  out.append(run * 2, '\\');
  out.push_back('"');
  return out;
}

}  // namespace sealvane::platform

#include <csignal>

namespace sealvane::platform {
namespace {
volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) { g_interrupted = 1; }
}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool TakeInterrupt() noexcept {
  if (g_interrupted == 0) return false;
  g_interrupted = 0;
  return true;
}

bool StdinIsTerminal() noexcept { return ::isatty(0) == 1; }
bool StderrIsTerminal() noexcept { return ::isatty(2) == 1; }

std::size_t TerminalColumns(int fd) noexcept {
  struct winsize size {};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) {
    const long value = std::strtol(columns, nullptr, 10);
    if (value > 0 && value < 10000) return static_cast<std::size_t>(value);
  }
  return 80;
}

}  // namespace sealvane::platform

namespace sealvane::platform {

void KeepSecretsOutOfCoreDumps() noexcept {
  const rlimit none {0, 0};
  ::setrlimit(RLIMIT_CORE, &none);
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace sealvane::platform
