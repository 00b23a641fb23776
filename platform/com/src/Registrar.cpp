// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/com/Registrar.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "Key.h"

namespace sealvane::com {
namespace {

using detail::Key;
namespace reg = sealvane::platform;

constexpr std::size_t kMaxScript = 1u << 20;
constexpr int kMaxDepth = 32;

struct Token {
  std::string text;
  bool quoted = false;
};

enum class Mark { None, NoRemove, ForceRemove, Delete };

struct Value {
  std::string name;  // empty: the key's default value
  reg::DWORD type = reg::REG_SZ;
  std::string data;  // the bytes as stored (a string with its NUL)
};

struct Node {
  std::string name;
  Mark mark = Mark::None;
  std::optional<Value> defaultValue;
  std::vector<Value> values;
  std::vector<Node> children;
};

struct Root {
  reg::HKEY hkey = 0;
  std::vector<Node> keys;
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

class Parser {
 public:
  Parser(std::string_view script, const std::map<std::string, std::string>& replacements)
      : m_script(script), m_replacements(replacements) {}

  bool Parse(std::vector<Root>& roots) {
    if (m_script.size() > kMaxScript) return Fail("the script is too large");
    if (!Tokenize()) return false;
    while (m_pos < m_tokens.size()) {
      Root root;
      const Token& name = m_tokens[m_pos++];
      const std::string upper = Lower(name.text);
      if (upper == "hkcr" || upper == "hkey_classes_root") {
        root.hkey = reg::HKEY_CLASSES_ROOT;
      } else if (upper == "hkcu" || upper == "hkey_current_user") {
        root.hkey = reg::HKEY_CURRENT_USER;
      } else if (upper == "hklm" || upper == "hkey_local_machine") {
        root.hkey = reg::HKEY_LOCAL_MACHINE;
      } else {
        return Fail("unknown root key \"" + name.text + "\"");
      }
      if (!Expect("{")) return false;
      if (!ParseBody(root.keys, nullptr, 1)) return false;
      roots.push_back(std::move(root));
    }
    return true;
  }

  const std::string& Error() const { return m_error; }

 private:
  bool Fail(const std::string& what) {
    m_error = what;
    return false;
  }

  bool Tokenize() {
    std::size_t i = 0;
    while (i < m_script.size()) {
      const char c = m_script[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
      Token t;
      if (c == '\'') {
        t.quoted = true;
        ++i;
        for (;;) {
          if (i >= m_script.size()) return Fail("a quoted text is not closed");
          if (m_script[i] == '\'') {
            if (i + 1 < m_script.size() && m_script[i + 1] == '\'') {
              t.text.push_back('\'');
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          t.text.push_back(m_script[i++]);
        }
      } else {
        while (i < m_script.size() && !std::isspace(static_cast<unsigned char>(m_script[i]))) t.text.push_back(m_script[i++]);
      }
      if (!Replace(t.text)) return false;
      m_tokens.push_back(std::move(t));
    }
    return true;
  }

  bool Replace(std::string& text) {
    if (text.find('%') == std::string::npos) return true;
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '%') {
        out.push_back(text[i]);
        continue;
      }
      const std::size_t close = text.find('%', i + 1);
      if (close == std::string::npos) return Fail("a % is not closed in \"" + text + "\"");
      const std::string name = text.substr(i + 1, close - i - 1);
      if (name.empty()) {
        out.push_back('%');
      } else {
        auto it = m_replacements.find(Lower(name));
        if (it == m_replacements.end()) return Fail("no replacement for %" + name + "%");
        out += it->second;
      }
      i = close;
    }
    text = std::move(out);
    return true;
  }

  bool IsSymbol(const char* s) const {
    return m_pos < m_tokens.size() && !m_tokens[m_pos].quoted && m_tokens[m_pos].text == s;
  }

  bool Expect(const char* s) {
    if (!IsSymbol(s)) {
      return Fail(std::string("expected \"") + s + "\"" +
                  (m_pos < m_tokens.size() ? " before \"" + m_tokens[m_pos].text + "\"" : " at the end"));
    }
    ++m_pos;
    return true;
  }

  bool ParseValue(Value& value) {
    if (!Expect("=")) return false;
    if (m_pos + 1 >= m_tokens.size()) return Fail("a value is cut short");
    const Token& type = m_tokens[m_pos++];
    const Token& data = m_tokens[m_pos++];
    const std::string t = Lower(type.text);
    if (t == "s") {
      value.type = reg::REG_SZ;
      value.data = data.text + '\0';
    } else if (t == "d") {
      char* end = nullptr;
      errno = 0;
      const unsigned long long n = std::strtoull(data.text.c_str(), &end, 0);
      if (data.text.empty() || *end != '\0' || errno != 0 || n > 0xFFFFFFFFull) {
        return Fail("\"" + data.text + "\" is not a number");
      }
      value.type = reg::REG_DWORD;
      value.data.clear();
      for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    } else if (t == "b") {
      if (data.text.size() % 2 != 0) return Fail("\"" + data.text + "\" is not hexadecimal bytes");
      value.type = reg::REG_BINARY;
      value.data.clear();
      for (std::size_t i = 0; i < data.text.size(); i += 2) {
        const std::string pair = data.text.substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) || !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
          return Fail("\"" + data.text + "\" is not hexadecimal bytes");
        }
        value.data.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
      }
    } else {
      return Fail("unknown value type \"" + type.text + "\"");
    }
    return true;
  }

  // Reads keys and values up to the closing brace.
  bool ParseBody(std::vector<Node>& keys, Node* owner, int depth) {
    if (depth > kMaxDepth) return Fail("keys are nested too deeply");
    for (;;) {
      if (m_pos >= m_tokens.size()) return Fail("a \"}\" is missing at the end");
      if (IsSymbol("}")) {
        ++m_pos;
        return true;
      }
      if (IsSymbol("val")) {
        if (owner == nullptr) return Fail("a named value outside a key");
        ++m_pos;
        if (m_pos >= m_tokens.size()) return Fail("a value name is missing");
        Value value;
        value.name = m_tokens[m_pos++].text;
        if (value.name.empty()) return Fail("a value name is empty");
        if (!ParseValue(value)) return false;
        owner->values.push_back(std::move(value));
        continue;
      }
      Node node;
      if (IsSymbol("NoRemove") || IsSymbol("noremove")) {
        node.mark = Mark::NoRemove;
        ++m_pos;
      } else if (IsSymbol("ForceRemove") || IsSymbol("forceremove")) {
        node.mark = Mark::ForceRemove;
        ++m_pos;
      } else if (IsSymbol("Delete") || IsSymbol("delete")) {
        node.mark = Mark::Delete;
        ++m_pos;
      }
      if (m_pos >= m_tokens.size()) return Fail("a key name is missing");
      const Token& name = m_tokens[m_pos++];
      if (name.text.empty() || (!name.quoted && (name.text == "{" || name.text == "}" || name.text == "="))) {
        return Fail("a key name is missing before \"" + name.text + "\"");
      }
      node.name = name.text;
      if (IsSymbol("=")) {
        Value value;
        if (!ParseValue(value)) return false;
        node.defaultValue = std::move(value);
      }
      if (IsSymbol("{")) {
        ++m_pos;
        if (!ParseBody(node.children, &node, depth + 1)) return false;
      }
      keys.push_back(std::move(node));
    }
  }

  std::string_view m_script;
  const std::map<std::string, std::string>& m_replacements;
  std::vector<Token> m_tokens;
  std::size_t m_pos = 0;
  std::string m_error;
};

reg::LONG SetValue(const Key& key, const Value& v) {
  return reg::RegSetValueExA(key.Get(), v.name.empty() ? nullptr : v.name.c_str(), 0, v.type,
                             reinterpret_cast<const std::uint8_t*>(v.data.data()), static_cast<reg::DWORD>(v.data.size()));
}

reg::LONG RegisterKeys(reg::HKEY parent, const std::vector<Node>& keys) {
  for (const Node& node : keys) {
    if (node.mark == Mark::Delete) {
      reg::RegDeleteTreeA(parent, node.name.c_str());
      continue;
    }
    if (node.mark == Mark::ForceRemove) {
      const reg::LONG rc = reg::RegDeleteTreeA(parent, node.name.c_str());
      if (rc != 0 && rc != reg::ERROR_FILE_NOT_FOUND) return rc;
    }
    Key key;
    reg::LONG rc = Key::Create(parent, node.name, key);
    if (rc != 0) return rc;
    if (node.defaultValue) rc = SetValue(key, *node.defaultValue);
    for (const Value& v : node.values) {
      if (rc != 0) break;
      rc = SetValue(key, v);
    }
    if (rc == 0) rc = RegisterKeys(key.Get(), node.children);
    if (rc != 0) return rc;
  }
  return 0;
}

void UnregisterKeys(reg::HKEY parent, const std::vector<Node>& keys) {
  for (const Node& node : keys) {
    if (node.mark == Mark::ForceRemove || node.mark == Mark::Delete) {
      reg::RegDeleteTreeA(parent, node.name.c_str());
      continue;
    }
    Key key;
    if (Key::Open(parent, node.name, reg::KEY_ALL_ACCESS, key) != 0) continue;
    UnregisterKeys(key.Get(), node.children);
    if (node.mark == Mark::NoRemove) continue;
    for (const Value& v : node.values) reg::RegDeleteValueA(key.Get(), v.name.c_str());
    reg::DWORD subKeys = 0, values = 0;
    if (!key.Counts(subKeys, values)) continue;
    // The default value was the script's own; anything else was put there by
    // someone else and keeps the key.
    const bool hasDefault = reg::RegQueryValueExA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr) == 0;
    const reg::DWORD otherValues = values - (hasDefault && values > 0 ? 1 : 0);
    if (subKeys != 0 || otherValues != 0) continue;
    key = Key();
    reg::RegDeleteKeyA(parent, node.name.c_str());
  }
}

}  // namespace

void Registrar::AddReplacement(const std::string& name, const std::string& value) { m_replacements[Lower(name)] = value; }

HRESULT Registrar::Register(std::string_view script) { return Run(script, true); }

HRESULT Registrar::Unregister(std::string_view script) { return Run(script, false); }

HRESULT Registrar::Run(std::string_view script, bool registering) {
  std::vector<Root> roots;
  Parser parser(script, m_replacements);
  if (!parser.Parse(roots)) {
    m_error = parser.Error();
    return DISP_E_EXCEPTION;
  }
  m_error.clear();
  for (const Root& root : roots) {
    if (registering) {
      if (const reg::LONG rc = RegisterKeys(root.hkey, root.keys); rc != 0) return HRESULT_FROM_WIN32(rc);
    } else {
      UnregisterKeys(root.hkey, root.keys);
    }
  }
  return S_OK;
}

}  // namespace sealvane::com
