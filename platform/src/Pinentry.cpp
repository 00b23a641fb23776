// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/Pinentry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// One conversation with a pinentry process.
class Session {
 public:
  Session() {
    const std::string program = GetEnv("SEALVANE_PINENTRY").value_or("pinentry");
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

  // Sends a command; true when it ends with OK. Data lines go to `data`.
  bool Command(const std::string& line, std::string* data = nullptr) {
    if (!m_ok || !Send(line)) return false;
    std::string reply;
    while (ReadLine(reply)) {
      if (reply.rfind("D ", 0) == 0) {
        if (data != nullptr) Unescape(reply.substr(2), *data);
        ::explicit_bzero(reply.data(), reply.size());
        continue;
      }
      if (reply == "OK" || reply.rfind("OK ", 0) == 0) return true;
      if (reply.rfind("ERR", 0) == 0) return false;
      // Status and comment lines ("S ...", "# ...") are informational.
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
      const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      m_buffer.append(chunk, static_cast<std::size_t>(n));
      ::explicit_bzero(chunk, sizeof(chunk));
    }
  }

  static void Unescape(const std::string& in, std::string& out) {
    for (std::size_t i = 0; i < in.size(); ++i) {
      if (in[i] == '%' && i + 2 < in.size()) {
        const std::string hex = in.substr(i + 1, 2);
        char* end = nullptr;
        const long v = std::strtol(hex.c_str(), &end, 16);
        if (end == hex.c_str() + 2) {
          out.push_back(static_cast<char>(v));
          i += 2;
          continue;
        }
      }
      out.push_back(in[i]);
    }
  }

  pid_t m_pid = -1;
  int m_fd = -1;
  bool m_ok = false;
  std::string m_buffer;
};

bool Prepare(Session& s, const std::string& title, const std::string& description) {
  return s.Ok() && s.Command("SETTITLE " + Session::Escape(title)) &&
         s.Command("SETDESC " + Session::Escape(description));
}

}  // namespace

PinentryOutcome PinentryConfirm(const std::string& title, const std::string& description) {
  Session s;
  if (!Prepare(s, title, description)) return PinentryOutcome::Unavailable;
  s.Command("SETOK Yes");
  s.Command("SETCANCEL No");
  return s.Command("CONFIRM") ? PinentryOutcome::Yes : PinentryOutcome::No;
}

std::optional<Passphrase> PinentryGetPin(const std::string& title, const std::string& description,
                                         const std::string& prompt, bool repeat) {
  Session s;
  if (!Prepare(s, title, description) || !s.Command("SETPROMPT " + Session::Escape(prompt))) return std::nullopt;
  std::string first;
  if (!s.Command("GETPIN", &first)) {
    ::explicit_bzero(first.data(), first.size());
    return std::nullopt;
  }
  Passphrase pin(std::move(first));
  if (!repeat) return pin;
  std::string second;
  const bool ok = s.Command("SETDESC " + Session::Escape("Please enter the passphrase again.")) &&
                  s.Command("GETPIN", &second);
  const bool same = ok && second == pin.Text();
  ::explicit_bzero(second.data(), second.size());
  if (!same) return std::nullopt;
  return pin;
}

}  // namespace sealvane::platform
