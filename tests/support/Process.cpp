// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Process.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/Sandbox.h"

extern char** environ;

namespace sealvane::test {
namespace {

std::vector<char*> Argv(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  for (const auto& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

int DecodeStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input) {
  int outPipe[2], errPipe[2], inPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 || ::pipe2(inPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  pid_t pid = 0;
  auto args = Argv(argv);
  const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (rc != 0) {
    ::close(inPipe[1]);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  if (!input.empty()) {
    [[maybe_unused]] const ssize_t n = ::write(inPipe[1], input.data(), input.size());
  }
  ::close(inPipe[1]);
  ProcessResult result;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof(buf));
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? result.out : result.err).append(buf, static_cast<std::size_t>(n));
      }
    }
  }
  result.exitCode = WaitProcess(pid);
  return result;
}

std::vector<std::string> UnprivilegedPrefix() {
  if (::geteuid() != 0) return {};
  return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
}

std::string UnprivilegedProgram(const std::string& program) {
  if (::geteuid() != 0) return program;
  namespace fs = std::filesystem;
  const fs::path source(program);
  const fs::path dir = fs::path(SandboxDir()) / "ubin";
  fs::create_directories(dir);
  fs::permissions(SandboxDir(), fs::perms(0755));
  fs::permissions(dir, fs::perms(0755));
  const fs::path target = dir / source.filename();
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms(0755));
  const fs::path library = source.parent_path() / "libsealvanelib.so";
  if (fs::exists(library)) {
    fs::copy_file(library, dir / library.filename(), fs::copy_options::overwrite_existing);
    fs::permissions(dir / library.filename(), fs::perms(0755));
  }
  return target.string();
}

void GiveToUnprivilegedUser(const std::string& path) {
  if (::geteuid() != 0) return;
  namespace fs = std::filesystem;
  const auto give = [](const fs::path& p) {
    if (::lchown(p.c_str(), 65534, 65534) != 0) throw std::runtime_error("cannot chown " + p.string());
  };
  give(path);
  if (fs::is_directory(fs::symlink_status(path))) {
    for (const auto& entry : fs::recursive_directory_iterator(path)) give(entry.path());
  }
}

namespace {

// Clock ticks of CPU time the process has used (readable by anyone).
long long CpuTicks(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return utime + stime;
}

}  // namespace

bool WaitForUnnamedFile(int pid, long long bytes) {
  namespace fs = std::filesystem;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  for (int i = 0; i < 4000; ++i) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator(fds, ec)) {
      const std::string target = fs::read_symlink(fd.path(), ec).string();
      if (ec || target.find("(deleted)") == std::string::npos) continue;
      struct stat st {};
      if (::stat(fd.path().c_str(), &st) == 0 && st.st_size >= bytes) return true;
    }
    // Sealvane's programs are not dumpable, so only root may look at their
    // files; anyone else takes half a second of work as "under way".
    if (ec == std::errc::permission_denied && CpuTicks(pid) >= ::sysconf(_SC_CLK_TCK) / 2) return true;
    ::usleep(5000);
  }
  return false;
}

int StartProcess(const std::vector<std::string>& argv) {
  pid_t pid = 0;
  auto args = Argv(argv);
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
    throw std::runtime_error("cannot start " + argv[0]);
  }
  return pid;
}

int WaitProcess(int pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return DecodeStatus(status);
}

PtyResult RunInPty(const std::vector<std::string>& argv, unsigned short columns, const std::string& interruptAfter,
                   const std::vector<std::pair<std::string, std::string>>& answers) {
  PtyResult result;
  struct winsize size {};
  size.ws_col = columns;
  size.ws_row = 24;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  bool interrupted = false;
  std::size_t answered = 0, seenUpTo = 0;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master, buffer, sizeof(buffer));
    if (n <= 0) break;  // EIO once the program has closed the terminal
    result.output.append(buffer, static_cast<std::size_t>(n));
    if (!interrupted && !interruptAfter.empty() && result.output.find(interruptAfter) != std::string::npos) {
      ::kill(pid, SIGINT);
      interrupted = true;
    }
    if (answered < answers.size()) {
      const std::size_t at = result.output.find(answers[answered].first, seenUpTo);
      if (at != std::string::npos) {
        seenUpTo = at + answers[answered].first.size();
        const std::string& typed = answers[answered].second;
        if (::write(master, typed.data(), typed.size()) < 0) break;
        ++answered;
      }
    }
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace sealvane::test

namespace sealvane::test {

void WriteRecordingProgram(const std::string& folder, const std::string& name) {
  // NUL-separated, written under another name first so that a reader never sees half.
  const std::string path = folder + "/" + name;
  WriteFileBytes(path,
                 "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$(dirname \"$0\")/argv.tmp\"\n"
                 "mv \"$(dirname \"$0\")/argv.tmp\" \"$(dirname \"$0\")/argv\"\n");
  std::filesystem::permissions(path, std::filesystem::perms(0755));
}

std::vector<std::string> RecordedArguments(const std::string& folder) {
  const std::string record = folder + "/argv";
  for (int i = 0; i < 500 && !std::filesystem::exists(record); ++i) ::usleep(10000);
  std::vector<std::string> args;
  const std::string text = ReadFileBytes(record);
  std::filesystem::remove(record);
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\0', start);
    args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

}  // namespace sealvane::test
