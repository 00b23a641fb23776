// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/Pinentry.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <thread>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "AssuanReply.h"
#include "sealvane/platform/Environment.h"

extern char** environ;

namespace sealvane::platform {

Passphrase::~Passphrase() { Wipe(); }

Passphrase& Passphrase::operator=(Passphrase&& other) noexcept {
  if (this != &other) {
    Wipe();
    m_text = std::move(other.m_text);
    other.Wipe();
  }
  return *this;
}

void Passphrase::Wipe() noexcept {
  if (!m_text.empty()) ::explicit_bzero(m_text.data(), m_text.size());
  m_text.clear();
}

namespace {

// What a question asked anywhere in the process needs to know: the purpose
// on the asking thread and the window program's hooks. The cipher library
// carries a copy of this code of its own; it finds the program's state by
// the name the program exports, so that both copies share one.
struct PromptState {
  std::string& (*purpose)();
  std::mutex mutex;
  PromptWaitHooks hooks;
  std::thread::id thread;
};

std::string& ThreadPurpose() {
  thread_local std::string purpose;
  return purpose;
}

}  // namespace
}  // namespace sealvane::platform

extern "C" __attribute__((visibility("default"))) void* sealvane_prompt_state_v1() {
  static sealvane::platform::PromptState state {sealvane::platform::ThreadPurpose, {}, {}, {}};
  return &state;
}

namespace sealvane::platform {
namespace {

PromptState& State() {
  static PromptState* const state = [] {
    auto* shared = reinterpret_cast<void* (*)()>(::dlsym(RTLD_DEFAULT, "sealvane_prompt_state_v1"));
    return static_cast<PromptState*>(shared != nullptr ? shared() : sealvane_prompt_state_v1());
  }();
  return *state;
}

// The window program's hooks while a question is open on its thread: the
// windows are told when it begins and ends, and kept painting between.
class Waiting {
 public:
  Waiting() {
    {
      PromptState& state = State();
      const std::lock_guard lock(state.mutex);
      if (state.thread != std::this_thread::get_id()) return;
      m_hooks = state.hooks;
    }
    if (m_hooks.begin) m_hooks.begin();
  }
  ~Waiting() {
    if (m_hooks.end) m_hooks.end();
  }
  Waiting(const Waiting&) = delete;
  Waiting& operator=(const Waiting&) = delete;

  // Waits until `fd` has something to read, keeping the windows painting.
  void UntilReadable(int fd) const {
    if (!m_hooks.idle) return;  // the read itself waits
    struct pollfd p {fd, POLLIN, 0};
    for (;;) {
      const int n = ::poll(&p, 1, 40);
      if (n > 0 || (n < 0 && errno != EINTR)) return;
      if (n == 0) m_hooks.idle();
    }
  }

 private:
  PromptWaitHooks m_hooks;
};

// One conversation with a pinentry process.
class Session {
 public:
  Session() {
    const std::string program = GetEnv("SEALVANE_PINENTRY").value_or(DefaultPinentry());
    // A socket pair rather than pipes: writes to a pinentry that has gone
    // away fail with an error instead of raising SIGPIPE in the program.
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), nullptr};
    const int rc = ::posix_spawnp(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sv[1]);
    m_fd = sv[0];
    if (rc != 0) {
      m_pid = -1;
      return;
    }
    std::string greeting;
    m_ok = ReadLine(greeting) && greeting.rfind("OK", 0) == 0;
    if (!m_ok) return;
    // Where to ask: a terminal pinentry needs the terminal's name and type
    // (it cannot find them itself with its standard streams on a socket).
    // Options a pinentry does not know are refused harmlessly.
    for (const int fd : {0, 1, 2}) {
      if (::isatty(fd) != 1) continue;
      char name[256];
      if (::ttyname_r(fd, name, sizeof(name)) != 0) continue;
      Command(std::string("OPTION ttyname=") + name);
      if (const auto term = GetEnv("TERM")) Command("OPTION ttytype=" + *term);
      break;
    }
    const auto ctype = GetEnv("LC_ALL") ? GetEnv("LC_ALL") : GetEnv("LC_CTYPE") ? GetEnv("LC_CTYPE") : GetEnv("LANG");
    if (ctype && !ctype->empty()) Command("OPTION lc-ctype=" + *ctype);
    if (const auto display = GetEnv("DISPLAY")) Command("OPTION display=" + *display);
  }

  // The pinentry that suits the session: a graphical one on a desktop, the
  // terminal one otherwise; "pinentry" (the system's choice) when neither
  // is installed.
  static std::string DefaultPinentry() {
    const bool desktop = GetEnv("DISPLAY") || GetEnv("WAYLAND_DISPLAY");
    const std::vector<const char*> graphical = {"pinentry-qt", "pinentry-gnome3", "pinentry-gtk-2"};
    const std::vector<const char*> terminal = {"pinentry-curses", "pinentry-tty"};
    for (const auto* list : {desktop ? &graphical : &terminal, desktop ? &terminal : &graphical}) {
      for (const char* name : *list) {
        if (OnPath(name)) return name;
      }
    }
    return "pinentry";
  }

  static bool OnPath(const std::string& name) {
    const auto path = GetEnv("PATH");
    if (!path) return false;
    std::size_t start = 0;
    while (start <= path->size()) {
      const std::size_t end = std::min(path->find(':', start), path->size());
      const std::string dir = path->substr(start, end - start);
      if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
      start = end + 1;
    }
    return false;
  }

  ~Session() {
    if (m_ok) Send("BYE");
    if (m_fd >= 0) ::close(m_fd);
    if (m_pid > 0) {
      int status = 0;
      while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
    ::explicit_bzero(m_buffer.data(), m_buffer.size());
  }

  bool Ok() const { return m_ok; }
  // The user cancelled the last command (rather than the pinentry failing).
  bool Cancelled() const { return (m_lastError & 0xFFFF) == kCanceled; }

  // Sends a command; true when it ends with OK. Data lines go to `data`.
  bool Command(const std::string& line, std::string* data = nullptr) {
    if (!m_ok || !Send(line)) return false;
    std::string received;
    assuan::Reply reply;
    while (ReadLine(received)) {
      assuan::TakeLine(received, reply, data);
      ::explicit_bzero(received.data(), received.size());
      if (reply.done) {
        if (!reply.ok) m_lastError = reply.error;
        return reply.ok;
      }
    }
    m_ok = false;
    return false;
  }

  static std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
      if (c == '%' || c == '\n' || c == '\r') {
        char buf[4];
        std::snprintf(buf, sizeof(buf), "%%%02X", static_cast<unsigned char>(c));
        out += buf;
      } else {
        out.push_back(c);
      }
    }
    return out;
  }

 private:
  bool Send(const std::string& line) {
    std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::send(m_fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ::explicit_bzero(text.data(), text.size());
        m_ok = false;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    ::explicit_bzero(text.data(), text.size());
    return true;
  }

  bool ReadLine(std::string& line) {
    line.clear();
    for (;;) {
      const std::size_t nl = m_buffer.find('\n');
      if (nl != std::string::npos) {
        line.assign(m_buffer, 0, nl);
        ::explicit_bzero(m_buffer.data(), nl + 1);
        m_buffer.erase(0, nl + 1);
        return true;
      }
      if (m_buffer.size() > 64 * 1024) return false;  // no reply is that long
      char chunk[512];
      m_waiting.UntilReadable(m_fd);
      const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      m_buffer.append(chunk, static_cast<std::size_t>(n));
      ::explicit_bzero(chunk, sizeof(chunk));
    }
  }

  static constexpr unsigned long kCanceled = 99;  // the protocol's "Operation cancelled"

  Waiting m_waiting;
  pid_t m_pid = -1;
  int m_fd = -1;
  bool m_ok = false;
  unsigned long m_lastError = 0;
  std::string m_buffer;
};

bool Prepare(Session& s, const std::string& title, const std::string& description) {
  return s.Ok() && s.Command("SETTITLE " + Session::Escape(title)) &&
         s.Command("SETDESC " + Session::Escape(WrapPromptText(description)));
}

// Characters, not bytes, of UTF-8 text.
std::size_t Characters(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

PromptPurpose::PromptPurpose(std::string purpose)
    : m_before(std::exchange(State().purpose(), std::move(purpose))) {}

PromptPurpose::~PromptPurpose() { State().purpose() = std::move(m_before); }

const std::string& PromptPurpose::Current() noexcept { return State().purpose(); }

void SetPromptWaitHooks(PromptWaitHooks hooks) {
  PromptState& state = State();
  const std::lock_guard lock(state.mutex);
  state.hooks = std::move(hooks);
  state.thread = std::this_thread::get_id();
}

std::string WrapPromptText(const std::string& text, std::size_t width) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    // One line of the text: words added while the line stays within the
    // width; a word longer than the width has a line of its own. A line
    // that goes on is indented, so that no text (a name from outside) can
    // be made to start a line of its own by where the break falls.
    std::size_t lineLength = 0;
    std::size_t pos = start;
    while (pos < end) {
      const std::size_t space = std::min(text.find(' ', pos), end);
      const std::string word = text.substr(pos, space - pos);
      const std::size_t length = Characters(word);
      if (lineLength > 0 && lineLength + 1 + length > width) {
        out += "\n  ";
        lineLength = 2;
      } else if (lineLength > 0) {
        out += ' ';
        ++lineLength;
      }
      out += word;
      lineLength += length;
      pos = space + 1;
    }
    if (end == text.size()) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

PinentryOutcome PinentryConfirm(const std::string& title, const std::string& description) {
  Session s;
  if (!Prepare(s, title, description)) return PinentryOutcome::Unavailable;
  s.Command("SETOK Yes");
  s.Command("SETCANCEL No");
  return s.Command("CONFIRM") ? PinentryOutcome::Yes : PinentryOutcome::No;
}

std::optional<Passphrase> PinentryGetPin(const std::string& title, const std::string& description,
                                         const std::string& prompt, bool repeat, PinentryOutcome* outcome) {
  PinentryOutcome ignored;
  PinentryOutcome& result = outcome != nullptr ? *outcome : ignored;
  result = PinentryOutcome::Unavailable;
  Session s;
  if (!Prepare(s, title, description) || !s.Command("SETPROMPT " + Session::Escape(prompt))) return std::nullopt;
  std::string first;
  if (!s.Command("GETPIN", &first)) {
    // A pinentry that could not ask (no display, no terminal) is no answer.
    result = s.Cancelled() ? PinentryOutcome::No : PinentryOutcome::Unavailable;
    ::explicit_bzero(first.data(), first.size());
    return std::nullopt;
  }
  result = PinentryOutcome::No;
  Passphrase pin(std::move(first));
  if (!repeat) return pin;
  std::string second;
  const bool ok = s.Command("SETDESC " + Session::Escape("Please enter the passphrase again.")) &&
                  s.Command("GETPIN", &second);
  const bool same = ok && second == pin.Text();
  ::explicit_bzero(second.data(), second.size());
  if (!same) return std::nullopt;
  result = PinentryOutcome::Yes;
  return pin;
}

namespace {

// The terminal as it was before the question, for a signal that ends the
// program during it.
int g_ttyFd = -1;
struct termios g_ttySaved {};

extern "C" void RestoreTerminalAndRaise(int sig) {
  if (g_ttyFd >= 0) ::tcsetattr(g_ttyFd, TCSANOW, &g_ttySaved);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

bool ReadHidden(int fd, const std::string& prompt, std::string& line) {
  line.clear();
  // Echo goes off before the question appears, so that nothing typed in
  // answer to it is shown or thrown away.
  struct termios quiet = g_ttySaved;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  ::tcsetattr(fd, TCSAFLUSH, &quiet);
  if (::write(fd, prompt.data(), prompt.size()) < 0) {
    ::tcsetattr(fd, TCSAFLUSH, &g_ttySaved);
    return false;
  }
  bool ended = false;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended = true;
      break;
    }
    if (c == '\n' || c == '\r') break;
    line.push_back(c);
  }
  ::tcsetattr(fd, TCSANOW, &g_ttySaved);
  if (::write(fd, "\n", 1) < 0) return false;
  return !ended;
}

}  // namespace

std::optional<Passphrase> AskOnTerminal(const std::string& prompt, bool repeat, std::string* problem) {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 || ::tcgetattr(fd, &g_ttySaved) != 0) {
    if (fd >= 0) ::close(fd);
    if (problem != nullptr) *problem = "there is no terminal to ask on";
    return std::nullopt;
  }
  g_ttyFd = fd;
  struct sigaction restore {}, old[3] {};
  restore.sa_handler = RestoreTerminalAndRaise;
  sigemptyset(&restore.sa_mask);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  for (int i = 0; i < 3; ++i) ::sigaction(signals[i], &restore, &old[i]);

  std::optional<Passphrase> answer;
  std::string first, second;
  if (!ReadHidden(fd, prompt, first)) {
    if (problem != nullptr) *problem = "the input ended";
  } else if (repeat && !ReadHidden(fd, "Again: ", second)) {
    if (problem != nullptr) *problem = "the input ended";
  } else if (repeat && first != second) {
    if (problem != nullptr) *problem = "the two answers differ";
  } else {
    answer.emplace(std::move(first));
  }
  if (!first.empty()) ::explicit_bzero(first.data(), first.size());
  if (!second.empty()) ::explicit_bzero(second.data(), second.size());
  for (int i = 0; i < 3; ++i) ::sigaction(signals[i], &old[i], nullptr);
  g_ttyFd = -1;
  ::close(fd);
  return answer;
}

}  // namespace sealvane::platform
