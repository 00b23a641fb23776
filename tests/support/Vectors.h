// SPDX-License-Identifier: GPL-3.0-or-later
// The reference vectors and small helpers for reading them.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace sealvane::test {

using Json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

inline std::string FixturePath(const std::string& name) { return std::string(SEALVANE_FIXTURES) + "/" + name; }

inline std::vector<Json> VectorsOfKind(const std::string& kind) {
  std::ifstream in(FixturePath("capi/vectors.jsonl"));
  if (!in) throw std::runtime_error("vectors.jsonl is missing");
  std::vector<Json> out;
  std::string line;
  while (std::getline(in, line)) {
    Json v = Json::parse(line);
    if (v.value("kind", "") == kind) out.push_back(std::move(v));
  }
  return out;
}

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const std::uint8_t* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

// The vectors' plaintext: byte[i] = (i*7 + 3) & 0xff.
inline Bytes Pattern(std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
  return out;
}

inline Bytes ReadFixture(const std::string& name) {
  std::ifstream in(FixturePath(name), std::ios::binary);
  if (!in) throw std::runtime_error("missing fixture " + name);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::uint32_t HexNumber(const Json& v) { return static_cast<std::uint32_t>(std::stoul(v.get<std::string>(), nullptr, 16)); }

inline const char* ProviderNameOf(const std::string& provider) {
  return provider == "enhanced" ? "Microsoft Enhanced Cryptographic Provider v1.0"
                                : "Microsoft Base Cryptographic Provider v1.0";
}

}  // namespace sealvane::test
