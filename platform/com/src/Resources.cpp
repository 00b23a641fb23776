// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/com/Resources.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace sealvane::com {
namespace {

std::uint32_t Get32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

void Put32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Reads exactly `size` bytes at `offset`.
bool ReadAt(int fd, std::uint64_t offset, void* buffer, std::size_t size) {
  auto* p = static_cast<char*>(buffer);
  while (size > 0) {
    const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::optional<std::vector<Resource>> ParseResources(std::string_view blob) {
  if (blob.size() < kResourceMagic.size() + 4 || blob.substr(0, kResourceMagic.size()) != kResourceMagic) {
    return std::nullopt;
  }
  std::size_t at = kResourceMagic.size();
  const std::uint32_t count = Get32(blob, at);
  at += 4;
  // Each resource takes at least 10 bytes: the count cannot exceed that.
  if (count > (blob.size() - at) / 10) return std::nullopt;
  std::vector<Resource> out;
  out.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (blob.size() - at < 2) return std::nullopt;
    const std::size_t typeLen = static_cast<unsigned char>(blob[at]) | static_cast<std::size_t>(static_cast<unsigned char>(blob[at + 1])) << 8;
    at += 2;
    if (blob.size() - at < typeLen + 8) return std::nullopt;
    Resource r;
    r.type.assign(blob.substr(at, typeLen));
    at += typeLen;
    r.id = Get32(blob, at);
    const std::uint32_t size = Get32(blob, at + 4);
    at += 8;
    if (blob.size() - at < size) return std::nullopt;
    r.data.assign(blob.substr(at, size));
    at += size;
    out.push_back(std::move(r));
  }
  return out;
}

std::string SerializeResources(const std::vector<Resource>& resources) {
  std::string out(kResourceMagic);
  Put32(out, static_cast<std::uint32_t>(resources.size()));
  for (const auto& r : resources) {
    out.push_back(static_cast<char>(r.type.size() & 0xFF));
    out.push_back(static_cast<char>((r.type.size() >> 8) & 0xFF));
    out += r.type;
    Put32(out, r.id);
    Put32(out, static_cast<std::uint32_t>(r.data.size()));
    out += r.data;
  }
  return out;
}

std::optional<std::string> FindResource(std::string_view blob, std::string_view type, std::uint32_t id) {
  auto all = ParseResources(blob);
  if (!all) return std::nullopt;
  for (auto& r : *all) {
    if (r.id == id && r.type == type) return std::move(r.data);
  }
  return std::nullopt;
}

HRESULT ReadModuleResources(const std::string& path, std::string& blob) {
  Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return TYPE_E_CANTLOADLIBRARY;
  struct stat st {};
  if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return TYPE_E_CANTLOADLIBRARY;
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);
  Elf64_Ehdr header{};
  if (!ReadAt(file.fd, 0, &header, sizeof(header))) return TYPE_E_CANTLOADLIBRARY;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_shentsize != sizeof(Elf64_Shdr)) {
    return TYPE_E_CANTLOADLIBRARY;
  }
  if (header.e_shnum == 0 || header.e_shstrndx >= header.e_shnum || header.e_shoff > fileSize ||
      (fileSize - header.e_shoff) / sizeof(Elf64_Shdr) < header.e_shnum) {
    return TYPE_E_INVDATAREAD;
  }
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  if (!ReadAt(file.fd, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) return TYPE_E_INVDATAREAD;
  const Elf64_Shdr& names = sections[header.e_shstrndx];
  if (names.sh_offset > fileSize || names.sh_size > fileSize - names.sh_offset || names.sh_size > (1u << 20)) {
    return TYPE_E_INVDATAREAD;
  }
  std::string nameTable(names.sh_size, '\0');
  if (!ReadAt(file.fd, names.sh_offset, nameTable.data(), nameTable.size())) return TYPE_E_INVDATAREAD;
  for (const auto& s : sections) {
    if (s.sh_name >= nameTable.size()) continue;
    if (std::strcmp(nameTable.c_str() + s.sh_name, kResourceSection) != 0) continue;
    if (s.sh_type == SHT_NOBITS || s.sh_offset > fileSize || s.sh_size > fileSize - s.sh_offset ||
        s.sh_size > kMaxResourceBlob) {
      return TYPE_E_INVDATAREAD;
    }
    std::string data(s.sh_size, '\0');
    if (!ReadAt(file.fd, s.sh_offset, data.data(), data.size())) return TYPE_E_INVDATAREAD;
    if (!ParseResources(data)) return TYPE_E_INVDATAREAD;
    blob = std::move(data);
    return S_OK;
  }
  return TYPE_E_INVDATAREAD;
}

std::string ModuleFileName(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0') return {};
  std::string name = info.dli_fname;
  if (name[0] == '/') return name;
  char resolved[PATH_MAX];
  // The main program is named as it was started; its file is /proc/self/exe.
  if (name.find('/') == std::string::npos) {
    const ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof(resolved) - 1);
    if (n <= 0) return {};
    resolved[n] = '\0';
    return resolved;
  }
  if (::realpath(name.c_str(), resolved) == nullptr) return {};
  name = resolved;
  return name;
}

}  // namespace sealvane::com
