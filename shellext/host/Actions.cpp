// SPDX-License-Identifier: GPL-3.0-or-later
#include "Actions.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <fstream>
#include <sstream>

namespace sealvane::shellhost {
namespace {

struct Command {
  const char* verb;   // sealvane-shell action VERB
  const char* label;  // the handler's menu text without its & marks
  const char* help;
  const char* id;     // file and action names
};

constexpr Command kEncrypt{"encrypt", "Encrypt", "Encrypts the file.", "sealvane-encrypt"};
constexpr Command kDecrypt{"decrypt", "Decrypt", "Decrypts the file.", "sealvane-decrypt"};
constexpr Command kDelete{"delete", "Secure Delete", "Overwrites the file and then deletes it.", "sealvane-secure-delete"};
constexpr const char* kArchiveType = "application/x-sealvane-archive";
constexpr const Command* kCommands[] = {&kEncrypt, &kDecrypt, &kDelete};
constexpr const char* kEmptyThunarActions = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

std::string Home() {
  std::string home = Env("HOME");
  return home.empty() ? "/" : home;
}

bool MakeDirs(const std::string& dir) {
  std::string path;
  std::size_t start = 0;
  while (start <= dir.size()) {
    const std::size_t end = dir.find('/', start);
    path = dir.substr(0, end == std::string::npos ? dir.size() : end);
    if (!path.empty() && ::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

// Written under a temporary name and renamed, so the file is either the old or the whole new one.
bool WriteFile(const std::string& path, const std::string& text, mode_t mode) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || !MakeDirs(path.substr(0, slash))) return false;
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0;
  std::size_t done = 0;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Removes a file only when it carries the mark.
void RemoveMarked(const std::string& path, ActionFiles& result) {
  std::string text;
  if (!ReadFile(path, text) || text.find(kMark) == std::string::npos) return;
  if (::unlink(path.c_str()) == 0) {
    result.removed.push_back(path);
  } else {
    result.problems.push_back(path + " could not be removed: " + std::strerror(errno));
  }
}

void Write(const std::string& path, const std::string& text, mode_t mode, ActionFiles& result) {
  // A file of the same name that is not ours is left alone.
  std::string old;
  if (Exists(path) && (!ReadFile(path, old) || old.find(kMark) == std::string::npos)) {
    result.problems.push_back(path + " exists and was not written by Sealvane; it was left as it is");
    return;
  }
  if (WriteFile(path, text, mode)) {
    result.written.push_back(path);
  } else {
    result.problems.push_back(path + " could not be written: " + std::strerror(errno));
  }
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

// A key file's string value: backslashes doubled (its own escapes).
std::string KeyFileValue(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') out += "\\\\";
    else out.push_back(c);
  }
  return out;
}

// Every entry takes the whole selection (%F): sealvane-shell starts one
// program for all of it.
enum class DolphinMenu { Files, Archives, Folders };

std::string DolphinFileMenu(const std::string& shell, DolphinMenu kind) {
  const std::string exec = KeyFileValue(DesktopExecArgument(shell));
  std::vector<const Command*> commands;
  if (kind == DolphinMenu::Folders) {
    commands = {&kEncrypt, &kDelete};
  } else {
    commands = {kind == DolphinMenu::Archives ? &kDecrypt : &kEncrypt, &kDelete};
  }
  std::ostringstream out;
  out << "# " << kMark << ".\n"
      << "[Desktop Entry]\n"
      << "Type=Service\n"
      << "Name=Sealvane\n"
      << "Icon=sealvane\n"
      << "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n";
  if (kind == DolphinMenu::Archives) {
    out << "MimeType=" << kArchiveType << ";\n";
  } else if (kind == DolphinMenu::Folders) {
    out << "MimeType=inode/directory;\n";
  } else {
    out << "MimeType=application/octet-stream;\n"
        << "ExcludeServiceTypes=" << kArchiveType << "\n";
  }
  // Dolphin sorts one menu's actions by their keys (older KIO) or by their
  // names (newer): the ids and the labels both sort in the handler's order.
  out << "Actions=";
  for (const Command* c : commands) out << c->id << ";";
  out << "\n";
  for (const Command* c : commands) {
    out << "\n[Desktop Action " << c->id << "]\n"
        << "Name=" << c->label << "\n"
        << "Icon=sealvane\n"
        << "Exec=" << exec << " action " << c->verb << " -- %F\n";
  }
  return out.str();
}

std::string NemoAction(const std::string& shell, const Command& c) {
  std::ostringstream out;
  out << "# " << kMark << ".\n"
      << "[Nemo Action]\n"
      << "Name=" << c.label << "\n"
      << "Comment=" << c.help << "\n"
      << "Exec=" << KeyFileValue(ShellQuote(shell)) << " action " << c.verb << " -- %F\n"
      << "Icon-Name=sealvane\n"
      << "Selection=notnone\n";
  if (&c == &kDecrypt) {
    out << "Mimetypes=" << kArchiveType << ";\n";
  } else {
    out << "Extensions=any;\n";
  }
  return out.str();
}

std::string ThunarActions(const std::string& shell) {
  std::ostringstream out;
  for (const Command* c : {&kEncrypt, &kDecrypt, &kDelete}) {
    out << "<action>\n"
        << "\t<icon>sealvane</icon>\n"
        << "\t<name>" << XmlEscape(c->label) << "</name>\n"
        << "\t<submenu></submenu>\n"
        << "\t<unique-id>" << c->id << "</unique-id>\n"
        << "\t<command>" << XmlEscape(ShellQuote(shell)) << " action " << c->verb << " -- %F</command>\n"
        << "\t<description>" << XmlEscape(c->help) << "</description>\n";
    if (c == &kDecrypt) {
      out << "\t<patterns>*.sva;*.SVA;*.Sva</patterns>\n";
    } else {
      out << "\t<patterns>*</patterns>\n";
    }
    out << "\t<audio-files/>\n\t<image-files/>\n\t<other-files/>\n\t<text-files/>\n\t<video-files/>\n";
    // A folder is encrypted, or deleted, whole.
    if (c != &kDecrypt) out << "\t<directories/>\n";
    out << "</action>\n";
  }
  return out.str();
}

std::string NautilusExtension(const std::string& shell) {
  std::string literal = "\"";
  for (const char c : shell) {
    if (c == '\\' || c == '"') literal.push_back('\\');
    literal.push_back(c);
  }
  literal += "\"";
  std::ostringstream out;
  out << "# " << kMark << ".\n"
      << "# The items come from Sealvane's context-menu handler each time a menu opens.\n"
      << "import json\nimport os\nimport subprocess\nimport threading\n\n"
      << "import gi\n"
      << "gi.require_version('Nautilus', '4.0')\n"
      << "from gi.repository import GObject, Nautilus\n\n"
      << "SHELL = " << literal << "\n\n\n"
      << "def menu_items(paths):\n"
      << "    try:\n"
      << "        done = subprocess.run([SHELL, 'menu', '--json', '--', *paths], capture_output=True, timeout=10)\n"
      << "    except (OSError, subprocess.SubprocessError):\n"
      << "        return []\n"
      << "    if done.returncode != 0:\n"
      << "        return []\n"
      << "    try:\n"
      << "        return json.loads(done.stdout).get('items', [])\n"
      << "    except ValueError:\n"
      << "        return []\n\n\n"
      << "def start(args):\n"
      << "    child = subprocess.Popen([SHELL, *args], start_new_session=True, stdin=subprocess.DEVNULL,\n"
      << "                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)\n"
      << "    # Reaped when it ends, so that no defunct child stays under the file manager.\n"
      << "    threading.Thread(target=child.wait, daemon=True).start()\n\n\n"
      << "class SealvaneMenuProvider(GObject.GObject, Nautilus.MenuProvider):\n"
      << "    def get_file_items(self, *args):\n"
      << "        files = args[-1]\n"
      << "        paths = [f.get_location().get_path() for f in files]\n"
      << "        if not paths or any(p is None for p in paths):\n"
      << "            return []\n"
      << "        if len(paths) > 1 or any(os.path.isdir(p) for p in paths):\n"
      << "            # The handler takes one file: several, or a folder, go to the program at once.\n"
      << "            if all(p.lower().endswith('.sva') and os.path.isfile(p) for p in paths):\n"
      << "                verb, label, tip = 'decrypt', 'Decrypt', 'Decrypts the files, each beside itself.'\n"
      << "            else:\n"
      << "                verb, label, tip = 'encrypt', 'Encrypt', 'Encrypts each file or folder into an encrypted file of its own.'\n"
      << "            entry = Nautilus.MenuItem(name='Sealvane::' + verb, label=label, tip=tip, icon='sealvane')\n"
      << "            entry.connect('activate', lambda _entry: start(['action', verb, '--', *paths]))\n"
      << "            shred = Nautilus.MenuItem(name='Sealvane::delete', label='Secure Delete',\n"
      << "                                      tip='Overwrites each file (in folders too) and then deletes it.',\n"
      << "                                      icon='sealvane')\n"
      << "            shred.connect('activate', lambda _entry: start(['action', 'delete', '--', *paths]))\n"
      << "            return [entry, shred]\n"
      << "        result = []\n"
      << "        for item in menu_items(paths):\n"
      << "            entry = Nautilus.MenuItem(name='Sealvane::%d' % item['offset'], label=item['label'],\n"
      << "                                      tip=item['help'], icon='sealvane')\n"
      << "            entry.connect('activate', self.invoke, paths, item['offset'])\n"
      << "            result.append(entry)\n"
      << "        return result\n\n"
      << "    def invoke(self, _entry, paths, offset):\n"
      << "        start(['invoke', '--', *paths, str(offset)])\n";
  return out.str();
}

std::string NautilusScript(const std::string& shell, const Command& c) {
  std::ostringstream out;
  out << "#!/bin/sh\n# " << kMark << ".\n"
      << "exec " << ShellQuote(shell) << " action " << c.verb << " -- \"$@\"\n";
  return out.str();
}

std::string DolphinDir() { return DataHome() + "/kio/servicemenus"; }
std::string NemoDir() { return DataHome() + "/nemo/actions"; }
std::string NautilusExtensionPath() { return DataHome() + "/nautilus-python/extensions/sealvane_nautilus.py"; }
std::string NautilusScriptsDir() { return DataHome() + "/nautilus/scripts/Sealvane"; }
std::string ThunarFile() { return ConfigHome() + "/Thunar/uca.xml"; }

void UpdateThunar(const std::string& actions, ActionFiles& result) {
  const std::string path = ThunarFile();
  std::string existing;
  const bool had = ReadFile(path, existing);
  if (!had && actions.empty()) return;
  std::string merged;
  if (!MergeThunarActions(had ? existing : std::string(), actions, merged)) {
    result.problems.push_back(path + " is not a list of Thunar actions; it was left as it is");
    return;
  }
  if (had && merged == existing) return;
  // A list that registration started and that holds nothing else goes with its actions.
  if (actions.empty() && merged == kEmptyThunarActions) {
    if (::unlink(path.c_str()) == 0) result.removed.push_back(path);
    else result.problems.push_back(path + " could not be removed: " + std::strerror(errno));
    return;
  }
  if (WriteFile(path, merged, 0644)) {
    (actions.empty() ? result.edited : result.written).push_back(path);
  } else {
    result.problems.push_back(path + " could not be written: " + std::strerror(errno));
  }
}

}  // namespace

std::string DataHome() {
  std::string dir = Env("XDG_DATA_HOME");
  return dir.empty() || dir[0] != '/' ? Home() + "/.local/share" : dir;
}

std::string ConfigHome() {
  std::string dir = Env("XDG_CONFIG_HOME");
  return dir.empty() || dir[0] != '/' ? Home() + "/.config" : dir;
}

bool NautilusPythonAvailable() {
  const std::string forced = Env("SEALVANE_NAUTILUS_PYTHON");
  if (forced == "0" || forced == "1") return forced == "1";
  glob_t found{};
  const int rc = ::glob("/usr/lib/*/nautilus/extensions-4/libnautilus-python.so", 0, nullptr, &found);
  const bool present = rc == 0 && found.gl_pathc > 0;
  ::globfree(&found);
  return present;
}

std::string DesktopExecArgument(const std::string& argument) {
  static const char* reserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string escaped;
  for (const char c : argument) {
    if (c == '%') {
      escaped += "%%";
      continue;
    }
    if (c == '"' || c == '`' || c == '$' || c == '\\') escaped.push_back('\\');
    escaped.push_back(c);
  }
  if (argument.find_first_of(reserved) == std::string::npos) return escaped;
  return "\"" + escaped + "\"";
}

std::string ShellQuote(const std::string& argument) {
  std::string out = "'";
  for (const char c : argument) {
    if (c == '\'') out += "'\\''";
    else out.push_back(c);
  }
  return out + "'";
}

bool MergeThunarActions(const std::string& existing, const std::string& actions, std::string& out) {
  std::string text = existing;
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    text = kEmptyThunarActions;
  }
  const std::size_t close = text.rfind("</actions>");
  if (close == std::string::npos || text.find("<actions") == std::string::npos) return false;
  // Take out every action of ours (by its unique-id), then add the new ones at the end.
  std::string kept;
  std::size_t at = 0;
  for (;;) {
    const std::size_t open = text.find("<action>", at);
    if (open == std::string::npos || open > close) break;
    const std::size_t end = text.find("</action>", open);
    if (end == std::string::npos || end > close) return false;
    const std::size_t after = end + std::strlen("</action>");
    const std::string block = text.substr(open, after - open);
    kept += text.substr(at, open - at);
    // Ours by their exact ids: a user's own "sealvane-mine" stays.
    const bool ours = std::any_of(std::begin(kCommands), std::end(kCommands), [&](const Command* c) {
      return block.find("<unique-id>" + std::string(c->id) + "</unique-id>") != std::string::npos;
    });
    if (!ours) {
      kept += block;
      at = after;
    } else {
      at = after;
      // Its line break goes with it.
      if (at < text.size() && text[at] == '\n') ++at;
    }
  }
  const std::size_t newClose = kept.size() + (close - at);
  kept += text.substr(at);
  out = kept.substr(0, newClose) + actions + kept.substr(newClose);
  return true;
}

ActionFiles WriteActions(const std::string& shell) {
  ActionFiles result;
  Write(DolphinDir() + "/sealvane-file.desktop", DolphinFileMenu(shell, DolphinMenu::Files), 0755, result);
  Write(DolphinDir() + "/sealvane-archive.desktop", DolphinFileMenu(shell, DolphinMenu::Archives), 0755, result);
  Write(DolphinDir() + "/sealvane-folder.desktop", DolphinFileMenu(shell, DolphinMenu::Folders), 0755, result);
  for (const Command* c : {&kEncrypt, &kDecrypt, &kDelete}) {
    Write(NemoDir() + "/" + c->id + ".nemo_action", NemoAction(shell, *c), 0644, result);
  }
  UpdateThunar(ThunarActions(shell), result);
  // One Nautilus mode at a time: the other mode's files go.
  if (NautilusPythonAvailable()) {
    Write(NautilusExtensionPath(), NautilusExtension(shell), 0644, result);
    for (const Command* c : kCommands) RemoveMarked(NautilusScriptsDir() + "/" + c->label, result);
    ::rmdir(NautilusScriptsDir().c_str());  // only when it is empty
  } else {
    for (const Command* c : kCommands) {
      Write(NautilusScriptsDir() + "/" + c->label, NautilusScript(shell, *c), 0755, result);
    }
    RemoveMarked(NautilusExtensionPath(), result);
  }
  return result;
}

ActionFiles RemoveActions() {
  ActionFiles result;
  RemoveMarked(DolphinDir() + "/sealvane-file.desktop", result);
  RemoveMarked(DolphinDir() + "/sealvane-archive.desktop", result);
  RemoveMarked(DolphinDir() + "/sealvane-folder.desktop", result);
  for (const Command* c : {&kEncrypt, &kDecrypt, &kDelete}) {
    RemoveMarked(NemoDir() + "/" + c->id + ".nemo_action", result);
    RemoveMarked(NautilusScriptsDir() + "/" + c->label, result);
  }
  ::rmdir(NautilusScriptsDir().c_str());  // only when it is empty
  RemoveMarked(NautilusExtensionPath(), result);
  UpdateThunar("", result);
  return result;
}

}  // namespace sealvane::shellhost
