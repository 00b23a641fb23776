// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegCommand.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string_view>

#include "Help.h"
#include "sealvane/platform/CodePage.h"
#include "sealvane/platform/Registry.h"

namespace sealvane::cli {

using namespace platform;


namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct KeyName {
  HKEY root = 0;
  std::string rootName;
  std::string subKey;
};

std::optional<KeyName> ParseKey(const std::string& text) {
  const std::size_t slash = text.find('\\');
  const std::string head = text.substr(0, slash);
  std::string upper;
  for (const char c : head) upper.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
  KeyName key;
  if (upper == "HKCU" || upper == "HKEY_CURRENT_USER") {
    key = {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", {}};
  } else if (upper == "HKCR" || upper == "HKEY_CLASSES_ROOT") {
    key = {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", {}};
  } else if (upper == "HKLM" || upper == "HKEY_LOCAL_MACHINE") {
    key = {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", {}};
  } else {
    return std::nullopt;
  }
  if (slash != std::string::npos) key.subKey = text.substr(slash + 1);
  while (!key.subKey.empty() && key.subKey.back() == '\\') key.subKey.pop_back();
  return key;
}

std::string FullName(const KeyName& key) {
  return key.subKey.empty() ? key.rootName : key.rootName + "\\" + key.subKey;
}

int Fail(std::ostream& err, LONG code, const std::string& what) {
  err << "sealvane-cli: " << what << ": " << RegErrorText(code);
  const std::string detail = RegLastErrorDetail();
  if (!detail.empty()) err << " (" << detail << ")";
  err << " [error " << code << "]\n";
  return kExitFailure;
}

int Usage(std::ostream& err, const std::string& problem) {
  err << "sealvane-cli: " << problem << "\n";
  PrintUsageLine(err, *FindCommand("reg"));
  return kExitUsage;
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case 7: return "REG_MULTI_SZ";
    case 11: return "REG_QWORD";
    default: {
      char buf[16];
      std::snprintf(buf, sizeof(buf), "0x%x", static_cast<unsigned>(type));
      return buf;
    }
  }
}

std::string Hex(const std::string& data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : data) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

// Text values as printable text: control bytes, and every byte of a value
// that is not UTF-8, are shown as \xNN.
std::string Printable(std::string text) {
  if (!text.empty() && text.back() == '\0') text.pop_back();
  const bool utf8 = IsValidUtf8(text);
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || (b >= 0x80 && !utf8)) {
      char buf[5];
      std::snprintf(buf, sizeof(buf), "\\x%02X", b);
      out += buf;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string FormatData(DWORD type, const std::string& data) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) return Printable(data);
  if (type == REG_DWORD && data.size() == 4) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    char buf[16];
    std::snprintf(buf, sizeof(buf), "0x%08x", v);
    return buf;
  }
  return Hex(data);
}

void PrintValue(std::ostream& out, const std::string& name, DWORD type, const std::string& data) {
  out << "    " << (name.empty() ? "(Default)" : name) << "    " << TypeName(type) << "    " << FormatData(type, data)
      << "\n";
}

// Closes a key on every path.
struct KeyHandle {
  HKEY h = 0;
  ~KeyHandle() {
    if (h != 0) RegCloseKey(h);
  }
};

int Query(const KeyName& key, const std::optional<std::string>& valueName, std::ostream& out, std::ostream& err) {
  KeyHandle handle;
  LONG rc = RegOpenKeyExA(key.root, key.subKey.c_str(), 0, KEY_READ, &handle.h);
  if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot open " + FullName(key));

  if (valueName) {
    DWORD type = 0;
    DWORD size = 0;
    rc = RegQueryValueExA(handle.h, valueName->c_str(), nullptr, &type, nullptr, &size);
    std::string data(size, '\0');
    if (rc == ERROR_SUCCESS) {
      rc = RegQueryValueExA(handle.h, valueName->c_str(), nullptr, &type,
                            reinterpret_cast<std::uint8_t*>(data.data()), &size);
    }
    if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot read value \"" + *valueName + "\" of " + FullName(key));
    data.resize(size);
    out << FullName(key) << "\n";
    PrintValue(out, *valueName, type, data);
    return 0;
  }

  DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
  rc = RegQueryInfoKeyA(handle.h, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxValueName,
                        &maxValue, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot read " + FullName(key));
  out << FullName(key) << "\n";
  for (DWORD i = 0;; ++i) {
    std::string name(maxValueName + 1, '\0');
    std::string data(maxValue, '\0');
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    rc = RegEnumValueA(handle.h, i, name.data(), &nameLength, nullptr, &type,
                       reinterpret_cast<std::uint8_t*>(data.data()), &dataSize);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      // Changed meanwhile by another program: read the sizes again.
      rc = RegQueryInfoKeyA(handle.h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxValueName,
                            &maxValue, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot read " + FullName(key));
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot read the values of " + FullName(key));
    PrintValue(out, name.substr(0, nameLength), type, data.substr(0, dataSize));
  }
  bool first = true;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLength = sizeof(name);
    rc = RegEnumKeyExA(handle.h, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot read the subkeys of " + FullName(key));
    if (first) out << "\n";
    first = false;
    out << FullName(key) << "\\" << std::string_view(name, nameLength) << "\n";
  }
  return 0;
}

std::optional<std::string> ParseHex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  const auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = nibble(text[i]);
    const int lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return bytes;
}

std::optional<std::uint32_t> ParseDword(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::size_t i = 0;
  bool negative = false;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  } else if (text[0] == '-') {
    negative = true;
    i = 1;
  }
  if (i == text.size()) return std::nullopt;
  std::uint64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  if (negative) {
    if (v > 0x80000000ull) return std::nullopt;
    return static_cast<std::uint32_t>(-static_cast<std::int64_t>(v));
  }
  return static_cast<std::uint32_t>(v);
}

int Set(const KeyName& key, const std::string& valueName, const std::string& typeName, const std::string& dataText,
        std::ostream& out, std::ostream& err) {
  DWORD type;
  std::string data;
  if (typeName == "REG_SZ" || typeName == "REG_EXPAND_SZ") {
    type = typeName == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
    data = dataText + '\0';
  } else if (typeName == "REG_BINARY") {
    type = REG_BINARY;
    auto bytes = ParseHex(dataText);
    if (!bytes) return Usage(err, "REG_BINARY data must be hexadecimal digits in pairs: \"" + dataText + "\"");
    data = *bytes;
  } else if (typeName == "REG_DWORD") {
    type = REG_DWORD;
    auto v = ParseDword(dataText);
    if (!v) return Usage(err, "REG_DWORD data must be a 32-bit decimal or 0x number: \"" + dataText + "\"");
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>((*v >> (8 * i)) & 0xFF));
  } else {
    return Usage(err, "unknown value type \"" + typeName + "\"");
  }
  KeyHandle handle;
  DWORD disposition = 0;
  LONG rc = RegCreateKeyExA(key.root, key.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                            &handle.h, &disposition);
  if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot create " + FullName(key));
  rc = RegSetValueExA(handle.h, valueName.c_str(), 0, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                      static_cast<DWORD>(data.size()));
  if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot set value \"" + valueName + "\" of " + FullName(key));
  out << "The operation completed successfully.\n";
  return 0;
}

int Delete(const KeyName& key, const std::optional<std::string>& valueName, std::ostream& out, std::ostream& err) {
  LONG rc;
  if (valueName) {
    KeyHandle handle;
    rc = RegOpenKeyExA(key.root, key.subKey.c_str(), 0, KEY_SET_VALUE, &handle.h);
    if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot open " + FullName(key));
    rc = RegDeleteValueA(handle.h, valueName->c_str());
    if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot delete value \"" + *valueName + "\" of " + FullName(key));
  } else {
    if (key.subKey.empty()) return Usage(err, "a root key cannot be deleted");
    rc = RegDeleteTreeA(key.root, key.subKey.c_str());
    if (rc != ERROR_SUCCESS) return Fail(err, rc, "cannot delete " + FullName(key));
  }
  out << "The operation completed successfully.\n";
  return 0;
}

}  // namespace

int RunRegCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, "reg needs a command");
  const std::string& verb = args[0];
  if (args.size() < 2) return Usage(err, "reg " + verb + " needs a KEY");
  const auto key = ParseKey(args[1]);
  if (!key) return Usage(err, "the KEY must start with HKCU, HKCR or HKLM: \"" + args[1] + "\"");
  if (verb == "query") {
    if (args.size() > 3) return Usage(err, "too many arguments for reg query");
    return Query(*key, args.size() == 3 ? std::optional<std::string>(args[2]) : std::nullopt, out, err);
  }
  if (verb == "set") {
    if (args.size() != 5) return Usage(err, "reg set needs KEY VALUE TYPE DATA");
    return Set(*key, args[2], args[3], args[4], out, err);
  }
  if (verb == "delete") {
    if (args.size() > 3) return Usage(err, "too many arguments for reg delete");
    return Delete(*key, args.size() == 3 ? std::optional<std::string>(args[2]) : std::nullopt, out, err);
  }
  return Usage(err, "unknown reg command \"" + verb + "\"");
}

}  // namespace sealvane::cli
