// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/Storage.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sealvane::platform {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxDepth = 4;  // loop images in loop images, mapper on mapper
constexpr std::size_t kMaxMountInfo = 4 << 20;

// A small text file of /proc or /sys, without its final line break;
// nothing when it cannot be read.
std::optional<std::string> ReadText(const std::string& path, std::size_t limit = 4096) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(limit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(limit));
  text.resize(static_cast<std::size_t>(in.gcount()));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return text;
}

std::string RealPath(const std::string& path) {
  std::error_code ec;
  const fs::path real = fs::canonical(path, ec);
  return ec ? std::string() : real.string();
}

std::string DescriptorTarget(int fd) {
  std::array<char, PATH_MAX> buf {};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string target(buf.data(), static_cast<std::size_t>(n));
  if (target.empty() || target[0] != '/') return {};  // "anon_inode:", a deleted file's " (deleted)" stays
  return target;
}

// Octal escapes of mountinfo fields ("\040" for a space).
std::string Unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
        field[i + 3] >= '0' && field[i + 3] <= '7') {
      out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

std::vector<std::string> SplitOptions(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string_view one = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
    if (!one.empty()) out.emplace_back(one);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

bool UnderMount(const std::string& path, const std::string& mountPoint) {
  if (mountPoint == "/") return true;
  return path.size() >= mountPoint.size() && path.compare(0, mountPoint.size(), mountPoint) == 0 &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The name of a file system type from its magic number, for when the mount
// table cannot be read.
std::string NameOfMagic(unsigned long magic) {
  switch (magic) {
    case EXT4_SUPER_MAGIC: return "ext4";
    case BTRFS_SUPER_MAGIC: return "btrfs";
    case XFS_SUPER_MAGIC: return "xfs";
    case TMPFS_MAGIC: return "tmpfs";
    case RAMFS_MAGIC: return "ramfs";
    case MSDOS_SUPER_MAGIC: return "vfat";
    case NFS_SUPER_MAGIC: return "nfs";
    case OVERLAYFS_SUPER_MAGIC: return "overlay";
    case F2FS_SUPER_MAGIC: return "f2fs";
    case FUSE_SUPER_MAGIC: return "fuse";
    case SMB2_SUPER_MAGIC: return "smb3";
    case CIFS_SUPER_MAGIC: return "cifs";
    default: return {};
  }
}

std::optional<StorageFacts> ExamineAt(int fd, const std::string& path, int depth);

BlockDevice DescribeDevice(const std::string& sysDir, int depth) {
  BlockDevice d;
  d.name = fs::path(sysDir).filename().string();
  std::error_code ec;
  // A partition's queue is its disk's.
  const std::string whole = fs::exists(sysDir + "/partition", ec) ? fs::path(sysDir).parent_path().string() : sysDir;
  if (const auto r = ReadText(whole + "/queue/rotational")) {
    if (*r == "0" || *r == "1") d.rotational = *r == "1";
  }
  if (const auto max = ReadText(whole + "/queue/discard_max_bytes")) d.discard = !max->empty() && *max != "0";
  d.removableUsb = ReadText(whole + "/removable").value_or("") == "1" && sysDir.find("/usb") != std::string::npos;
  const std::string wholeName = fs::path(whole).filename().string();
  d.virtualDisk = sysDir.find("/virtio") != std::string::npos || wholeName.rfind("vd", 0) == 0 ||
                  wholeName.rfind("xvd", 0) == 0;
  d.memory = wholeName.rfind("zram", 0) == 0 || wholeName.rfind("ram", 0) == 0;
  d.mapperUuid = ReadText(sysDir + "/dm/uuid").value_or("");
  d.mapperName = ReadText(sysDir + "/dm/name").value_or("");
  if (auto image = ReadText(sysDir + "/loop/backing_file", PATH_MAX)) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (image->size() > kDeleted.size() && image->ends_with(kDeleted)) image->resize(image->size() - kDeleted.size());
    d.backingFile = *image;
    if (depth < kMaxDepth) {
      const int imageFd = ::open(image->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (imageFd >= 0) {
        if (auto facts = ExamineAt(imageFd, *image, depth + 1)) d.backing.push_back(std::move(*facts));
        ::close(imageFd);
      }
    }
  }
  if (depth < kMaxDepth) {
    for (const auto& member : fs::directory_iterator(sysDir + "/slaves", ec)) {
      const std::string real = RealPath(member.path().string());
      if (!real.empty()) d.below.push_back(DescribeDevice(real, depth + 1));
    }
  }
  return d;
}

std::optional<BlockDevice> DeviceOf(dev_t dev, const std::string& source, int depth) {
  auto sysDirOf = [](unsigned major, unsigned minor) {
    return RealPath("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
  };
  std::string sysDir = sysDirOf(major(dev), minor(dev));
  // Btrfs and others give files an anonymous device: the mounted one is the
  // device named as the mount's source.
  struct stat st {};
  if (sysDir.empty() && source.rfind("/dev/", 0) == 0 && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    sysDir = sysDirOf(major(st.st_rdev), minor(st.st_rdev));
  }
  if (sysDir.empty()) return std::nullopt;
  return DescribeDevice(sysDir, depth);
}

void ReadExtentMap(int fd, StorageFacts& facts) {
  constexpr unsigned kPerCall = 64;
  // The header and its extents in one buffer of 64-bit words (the header
  // ends in a flexible array).
  std::vector<std::uint64_t> words((sizeof(struct fiemap) + kPerCall * sizeof(struct fiemap_extent) + 7) / 8);
  auto* map = reinterpret_cast<struct fiemap*>(words.data());
  std::uint64_t start = 0;
  bool shared = false, encoded = false;
  // A bound on the calls: a file of millions of extents is judged by the
  // first quarter million.
  for (int call = 0; call < 4096; ++call) {
    std::fill(words.begin(), words.end(), 0);
    map->fm_start = start;
    map->fm_length = FIEMAP_MAX_OFFSET - start;
    map->fm_flags = call == 0 ? FIEMAP_FLAG_SYNC : 0;  // delayed writes get their blocks first
    map->fm_extent_count = kPerCall;
    if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) {
      if (call == 0) return;  // no extent map here: unknown
      break;
    }
    const unsigned n = std::min(map->fm_mapped_extents, kPerCall);
    if (n == 0) break;
    for (unsigned i = 0; i < n; ++i) {
      const auto flags = map->fm_extents[i].fe_flags;
      if (flags & FIEMAP_EXTENT_SHARED) shared = true;
      if (flags & FIEMAP_EXTENT_ENCODED) encoded = true;
    }
    const struct fiemap_extent& last = map->fm_extents[n - 1];
    if ((last.fe_flags & FIEMAP_EXTENT_LAST) || last.fe_length == 0) break;
    start = last.fe_logical + last.fe_length;
  }
  facts.sharedExtents = shared;
  facts.encodedExtents = encoded;
}

void ReadFileFacts(int fd, StorageFacts& facts) {
  ReadExtentMap(fd, facts);
  int attributes = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &attributes) == 0) facts.noCopyOnWrite = (attributes & FS_NOCOW_FL) != 0;
}

std::optional<StorageFacts> ExamineAt(int fd, const std::string& path, int depth) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  StorageFacts facts;
  facts.links = st.st_nlink;
  std::string where = DescriptorTarget(fd);
  if (where.empty()) where = path;

  const auto mountInfo = ReadText("/proc/self/mountinfo", kMaxMountInfo);
  const std::vector<MountEntry> mounts = mountInfo ? ParseMountInfo(*mountInfo) : std::vector<MountEntry> {};
  const MountEntry* best = nullptr;
  for (int pass = 0; pass < 2 && !best; ++pass) {
    for (const MountEntry& m : mounts) {
      // First among the mounts of the file's own device; then any.
      if (pass == 0 && (m.major != major(st.st_dev) || m.minor != minor(st.st_dev))) continue;
      if (!UnderMount(where, m.mountPoint)) continue;
      if (!best || m.mountPoint.size() >= best->mountPoint.size()) best = &m;
    }
  }
  if (best) {
    facts.fileSystem = best->fileSystem;
    facts.source = best->source;
    facts.mountPoint = best->mountPoint;
    facts.options = best->options;
  } else {
    struct statfs sfs {};
    if (::fstatfs(fd, &sfs) == 0) facts.fileSystem = NameOfMagic(static_cast<unsigned long>(sfs.f_type));
  }
  facts.device = DeviceOf(st.st_dev, facts.source, depth);
  if (S_ISREG(st.st_mode)) ReadFileFacts(fd, facts);
  if (const auto swaps = ReadText("/proc/swaps", 1 << 16)) facts.swapInUse = swaps->find('\n') != std::string::npos;
  return facts;
}

}  // namespace

void ExamineFileFacts(int fd, StorageFacts& facts) {
  facts.sharedExtents.reset();
  facts.encodedExtents.reset();
  facts.noCopyOnWrite = false;
  facts.links = 1;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  facts.links = st.st_nlink;
  try {
    if (S_ISREG(st.st_mode)) ReadFileFacts(fd, facts);
  } catch (...) {
    // What was not learnt stays unknown.
  }
}

bool StorageFacts::HasOption(std::string_view option) const {
  for (const std::string& o : options) {
    if (o == option) return true;
  }
  return false;
}

std::optional<std::string> StorageFacts::OptionValue(std::string_view key) const {
  for (const std::string& o : options) {
    if (o.size() > key.size() && o.compare(0, key.size(), key) == 0 && o[key.size()] == '=') {
      return o.substr(key.size() + 1);
    }
  }
  return std::nullopt;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    // ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPEROPTIONS
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
      const std::size_t space = line.find(' ', at);
      const std::size_t stop = space == std::string_view::npos ? line.size() : space;
      if (stop > at) fields.push_back(line.substr(at, stop - at));
      at = stop + 1;
    }
    std::size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (fields.size() < 6 || dash + 2 >= fields.size()) continue;
    MountEntry m;
    const std::string_view dev = fields[2];
    const std::size_t colon = dev.find(':');
    if (colon == std::string_view::npos) continue;
    try {
      m.major = static_cast<unsigned>(std::stoul(std::string(dev.substr(0, colon))));
      m.minor = static_cast<unsigned>(std::stoul(std::string(dev.substr(colon + 1))));
    } catch (...) {
      continue;
    }
    m.root = Unescape(fields[3]);
    m.mountPoint = Unescape(fields[4]);
    m.options = SplitOptions(fields[5]);
    m.fileSystem = Unescape(fields[dash + 1]);
    m.source = Unescape(fields[dash + 2]);
    if (dash + 3 < fields.size()) {
      for (auto& o : SplitOptions(fields[dash + 3])) m.options.push_back(std::move(o));
    }
    out.push_back(std::move(m));
  }
  return out;
}

StorageFacts ExamineStorage(int fd, const std::string& path) {
  try {
    if (auto facts = ExamineAt(fd, path, 0)) return std::move(*facts);
  } catch (...) {
    // An allocation or a file system error: what was not learnt stays unknown.
  }
  return StorageFacts {};
}

}  // namespace sealvane::platform
