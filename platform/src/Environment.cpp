// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/Environment.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sealvane/platform/File.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {
namespace {

std::string HomeDirectory() {
  if (auto home = GetEnv("HOME"); home && !home->empty()) return *home;
  return "/";
}

std::string TrimTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

std::optional<std::string> GetEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}

std::string SealvaneHome() {
  std::string home;
  if (auto v = GetEnv("SEALVANE_HOME"); v && !v->empty()) {
    home = *v;
  } else if (auto d = GetEnv("XDG_DATA_HOME"); d && !d->empty() && d->front() == '/') {
    home = *d + "/sealvane";
  } else {
    home = HomeDirectory() + "/.local/share/sealvane";
  }
  home = TrimTrailingSlashes(home);
  // Keys and certificates live here: a folder others could read or write is
  // narrowed to the owner, and another user's folder is refused.
  EnsurePrivateFolder(home, "the Sealvane data folder");
  return home;
}

std::string UserHivePath() { return SealvaneHome() + "/registry.db"; }

std::string MachineHivePath() {
  if (auto v = GetEnv("SEALVANE_MACHINE_HIVE"); v && !v->empty()) return *v;
  return "/var/lib/sealvane/machine.db";
}

std::string DocumentsFolderSetting() {
  std::string configHome;
  if (auto c = GetEnv("XDG_CONFIG_HOME"); c && !c->empty() && c->front() == '/') {
    configHome = *c;
  } else {
    configHome = HomeDirectory() + "/.config";
  }
  std::ifstream in(configHome + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    static constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
    if (line.rfind(kKey, 0) != 0) continue;
    const std::size_t end = line.rfind('"');
    if (end <= kKey.size()) break;
    std::string value = line.substr(kKey.size(), end - kKey.size());
    if (value.rfind("$HOME", 0) == 0) {
      value = "%HOME%" + value.substr(5);
    } else if (value.empty() || value.front() != '/') {
      break;  // xdg-user-dirs allows only $HOME/... or absolute paths
    }
    return TrimTrailingSlashes(value);
  }
  return "%HOME%/Documents";
}

std::string CurrentDirectory() {
  std::string buf(256, '\0');
  for (;;) {
    if (::getcwd(buf.data(), buf.size()) != nullptr) {
      buf.resize(std::strlen(buf.c_str()));
      return buf;
    }
    if (errno != ERANGE || buf.size() > (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

std::string LocaleDecimalSeparator() {
  locale_t loc = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return ".";
  const char* radix = ::nl_langinfo_l(RADIXCHAR, loc);
  std::string result = (radix != nullptr && *radix != '\0') ? radix : ".";
  ::freelocale(loc);
  return result;
}

std::string ExpandEnvironmentText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('%', i);
    if (open == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, open - i));
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      out.append(text.substr(open));
      break;
    }
    const std::string name(text.substr(open + 1, close - open - 1));
    std::optional<std::string> value;
    if (!name.empty()) value = GetEnv(name);
    if (value) {
      out.append(*value);
      i = close + 1;
    } else {
      // Not a variable: keep the first % and look again from the second,
      // which may open a variable of its own.
      out.append(text.substr(open, close - open));
      i = close;
    }
  }
  return out;
}

}  // namespace sealvane::platform
