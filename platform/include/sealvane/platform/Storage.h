// SPDX-License-Identifier: GPL-3.0-or-later
// Where a file's bytes are kept: the file system and how it is mounted, the
// block devices beneath it (followed through device mapper, RAID and loop
// devices to the disk image's own file), and whether the file's extents are
// shared with other files. Only facts are gathered here; what they mean for
// an overwrite is judged by the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sealvane::platform {

struct StorageFacts;

struct BlockDevice {
  std::string name;                // the kernel's name: "sda", "nvme0n1", "loop0", "dm-0"
  std::optional<bool> rotational;  // from the queue of the whole disk
  bool discard = false;            // the device accepts discards (TRIM)
  bool removableUsb = false;       // a removable device on USB (sticks, card readers)
  bool virtualDisk = false;        // a virtual machine's disk (virtio, Xen)
  bool memory = false;             // a RAM disk or compressed RAM (zram, brd)
  std::string mapperUuid;          // device mapper: "CRYPT-LUKS2-…", "LVM-…"
  std::string mapperName;          // device mapper: "vg-home", "vg-pool-tpool"
  std::string backingFile;         // a loop device's disk image
  std::vector<StorageFacts> backing;  // the image's own storage (at most one)
  std::vector<BlockDevice> below;     // device mapper and RAID members
};

struct StorageFacts {
  std::string fileSystem;  // the kernel's name of the type: "ext4", "btrfs", "fuse.sshfs"
  std::string source;      // what is mounted: "/dev/sda1", "server:/export"
  std::string mountPoint;
  std::vector<std::string> options;  // of the mount and of the file system
  std::optional<BlockDevice> device;
  // From the file's extent map; nothing when it could not be read.
  std::optional<bool> sharedExtents;   // shared with another file or a snapshot
  std::optional<bool> encodedExtents;  // compressed or otherwise not stored as written
  bool noCopyOnWrite = false;          // the file's own "no copy on write" attribute
  std::uint64_t links = 1;
  bool swapInUse = false;

  bool HasOption(std::string_view option) const;
  // "data" gives "journal" for "data=journal"; nothing when absent.
  std::optional<std::string> OptionValue(std::string_view key) const;
};

// The storage of the file open on `fd` (not an O_PATH descriptor: the extent
// map needs an open file). `path` finds the mount among those of the same
// device. Never throws; what cannot be read stays unknown.
StorageFacts ExamineStorage(int fd, const std::string& path);
// The facts that belong to the file open on `fd` itself (its extent map,
// attributes and links) put into `facts`, whose file system and device were
// examined for another file of the same device. Never throws.
void ExamineFileFacts(int fd, StorageFacts& facts);

// One line of /proc/self/mountinfo, its octal escapes decoded.
struct MountEntry {
  unsigned major = 0, minor = 0;
  std::string root, mountPoint, fileSystem, source;
  std::vector<std::string> options;
};
std::vector<MountEntry> ParseMountInfo(std::string_view text);

}  // namespace sealvane::platform
