// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/DeletionReport.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/File.h"

namespace sealvane {

using platform::BlockDevice;
using platform::StorageFacts;

namespace {

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The worse of two verdicts: a layer known to keep the data outweighs one
// that cannot be judged.
InPlace Worse(InPlace a, InPlace b) {
  if (a == InPlace::No || b == InPlace::No) return InPlace::No;
  if (a == InPlace::Unknown || b == InPlace::Unknown) return InPlace::Unknown;
  return InPlace::Yes;
}

constexpr std::string_view kWearLevelling =
    " is a solid-state device: it writes changed data to fresh flash cells and erases the old ones later, when it "
    "chooses (wear levelling), so the file's old contents may stay on its chips. Keep such files on an encrypted "
    "disk (full-disk encryption), and before the device leaves your hands erase it with its own sanitize (secure "
    "erase) command.";

class Assessment {
 public:
  explicit Assessment(DeletionReport& report) : m_report(report) {}

  // The file system of `facts`; then the devices beneath it.
  InPlace Storage(const StorageFacts& facts, bool outermost) {
    const StorageFacts* const judged = m_pFacts;
    m_pFacts = &facts;
    const InPlace verdict = StorageOf(facts, outermost);
    m_pFacts = judged;
    return verdict;
  }

 private:
  InPlace StorageOf(const StorageFacts& facts, bool outermost) {
    bool onDevice = true;
    const InPlace fileSystem = FileSystem(facts, onDevice);
    if (outermost) m_report.fileSystemInPlace = fileSystem;
    if (!onDevice) return fileSystem;
    if (!facts.device) {
      Reason("Sealvane could not find out which device holds the " + Name(facts) + " file system.");
      return Worse(fileSystem, InPlace::Unknown);
    }
    if (outermost) m_report.device = facts.device->name;
    return Worse(fileSystem, Device(*facts.device));
  }

  static std::string Name(const StorageFacts& facts) {
    return facts.fileSystem.empty() ? std::string("unknown") : facts.fileSystem;
  }

  void Reason(std::string text) {
    if (std::find(m_report.reasons.begin(), m_report.reasons.end(), text) == m_report.reasons.end()) {
      m_report.reasons.push_back(std::move(text));
    }
  }

  InPlace FileSystem(const StorageFacts& facts, bool& onDevice) {
    const std::string& type = facts.fileSystem;
    const std::string name = Name(facts);
    if (OneOf(type, {"tmpfs", "ramfs", "devtmpfs", "hugetlbfs"})) {
      onDevice = false;
      Reason("The file is in memory (" + name + "), not on a disk.");
      if (type == "tmpfs" && facts.swapInUse) {
        Reason("Swap space is in use: parts of the file may have been moved there when memory was short, and "
               "stay there.");
        return InPlace::Unknown;
      }
      return InPlace::Yes;
    }
    if (OneOf(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "ceph", "glusterfs", "afs", "ncpfs", "virtiofs",
                     "fuse.sshfs", "fuse.glusterfs", "fuse.davfs", "fuse.rclone", "fuse.s3fs"})) {
      onDevice = false;
      Reason("The file is kept by another computer (" + name + (facts.source.empty() ? "" : ", " + facts.source) +
             "): whether its disks keep the old contents is beyond Sealvane's reach.");
      return InPlace::Unknown;
    }
    if (type == "fuse" || type == "fuseblk" || type.rfind("fuse.", 0) == 0) {
      onDevice = false;
      Reason("The file is kept by a program (" + name + "): whether it overwrites a file where it lies is up to "
             "that program.");
      return InPlace::Unknown;
    }
    if (type == "overlay") {
      onDevice = false;
      Reason("The file is on an overlay file system: a file that came from a lower layer is copied up when it is "
             "written, and the lower layer keeps the original.");
      return InPlace::Unknown;
    }
    InPlace verdict = InPlace::Yes;
    if (type == "btrfs" && (facts.noCopyOnWrite || facts.HasOption("nodatacow")) && facts.sharedExtents == false) {
      Reason("btrfs overwrites this file where it lies (copy on write is off for it).");
    } else if (OneOf(type, {"btrfs", "zfs", "bcachefs"})) {
      Reason(name + " writes changes to new blocks (copy on write): the blocks that held the file keep its old "
             "contents until they are reused.");
      verdict = InPlace::No;
    } else if (OneOf(type, {"f2fs", "nilfs2", "jffs2", "ubifs"})) {
      Reason(name + " writes changes to new blocks (a log-structured file system): the blocks that held the file "
             "keep its old contents until they are reused.");
      verdict = InPlace::No;
    } else if (OneOf(type, {"ext3", "ext4"}) && facts.OptionValue("data") == "journal") {
      Reason(name + " is mounted with data=journal: its journal keeps a copy of what was written to the file.");
      verdict = InPlace::No;
    } else if (OneOf(type, {"ext2", "ext3", "ext4", "xfs", "vfat", "msdos", "exfat", "ntfs3", "hfsplus", "jfs",
                            "reiserfs", "minix"})) {
      const auto data = facts.OptionValue("data");
      Reason(name + (data ? " (data=" + *data + ")" : std::string()) + " overwrites a file's blocks where they lie.");
    } else {
      Reason("Sealvane does not know how " + name + " keeps files.");
      verdict = InPlace::Unknown;
    }
    if (facts.sharedExtents == true) {
      Reason("Blocks of the file are shared with another file or a snapshot (a reflinked copy): they keep the old "
             "contents for the file that shares them.");
      verdict = InPlace::No;
    } else if (facts.encodedExtents == true && verdict != InPlace::No) {
      Reason(name + " keeps the file compressed or encoded: the overwrite is not written where the old data lies.");
      verdict = InPlace::No;
    } else if (!facts.sharedExtents && OneOf(type, {"xfs", "btrfs", "ocfs2"}) && verdict == InPlace::Yes) {
      Reason("Sealvane could not read the file's extent map to check whether a copy shares its blocks.");
      verdict = InPlace::Unknown;
    }
    return verdict;
  }

  InPlace Device(const BlockDevice& d) {
    if (d.memory) {
      Reason(d.name + " is a disk in memory.");
      return InPlace::Yes;
    }
    if (!d.backingFile.empty()) {
      Reason("The file system is in the disk image " + d.backingFile + " (through " + d.name + ").");
      if (d.backing.empty()) {
        Reason("Sealvane could not examine where the disk image " + d.backingFile + " is kept.");
        return InPlace::Unknown;
      }
      return Storage(d.backing.front(), false);
    }
    if (!d.mapperUuid.empty() || !d.below.empty()) {
      if (d.mapperUuid.rfind("CRYPT-", 0) == 0) {
        Reason("The disk is encrypted (" + d.name + "): what stays on it is encrypted with the disk's key.");
      }
      if (d.below.empty()) {
        Reason("Sealvane could not find the devices beneath " + d.name + ".");
        return InPlace::Unknown;
      }
      InPlace verdict = InPlace::Yes;
      for (const BlockDevice& member : d.below) verdict = Worse(verdict, Device(member));
      // A thin pool hands out blocks as they are written, and its snapshots
      // keep the ones they share.
      if (d.mapperName.ends_with("-tpool") || d.mapperName.ends_with("-thinpool")) {
        Reason(d.name + " is a thin-provisioned pool: snapshots of the volume keep the blocks they share with it.");
        verdict = Worse(verdict, InPlace::Unknown);
      }
      return verdict;
    }
    if (d.virtualDisk) {
      Reason(d.name + " is a virtual machine's disk: where its blocks are kept on the host is unknown.");
      return InPlace::Unknown;
    }
    if (d.removableUsb) {
      Reason(d.name + " is a removable USB device; most are flash memory, which writes changed data to fresh cells "
                      "(wear levelling), so old contents may stay on its chips.");
      return InPlace::Unknown;
    }
    if (d.rotational == true) {
      Reason(d.name + " is a hard disk: it overwrites a block where it lies.");
      return InPlace::Yes;
    }
    if (d.rotational == false) {
      Reason(d.name + std::string(kWearLevelling));
      if (d.discard && m_pFacts && m_pFacts->HasOption("discard")) {
        Reason("The file system tells " + d.name + " which blocks are free (discard), so it erases them in time; "
               "when is up to the device.");
      }
      return InPlace::No;
    }
    Reason("Sealvane could not find out what kind of device " + d.name + " is.");
    return InPlace::Unknown;
  }

  DeletionReport& m_report;
  const StorageFacts* m_pFacts = nullptr;  // the file system being judged
};

std::string Lines(const std::vector<std::string>& reasons) {
  std::string out;
  for (const std::string& r : reasons) out += std::string(1, kCR) + "- " + r;
  return out;
}

std::string OtherNames(const DeletionReport& report) {
  if (report.otherNames == 0) return {};
  return std::string(1, kCR) + (report.folder ? "- Its files have " : "- The file has ") +
         (report.otherNames == 1 ? std::string("1 other name") : std::to_string(report.otherNames) + " other names") +
         (report.folder ? " outside it" : "") + " (hard links): the overwrite reaches the contents under " +
         (report.otherNames == 1 ? "that name" : "those names") + " too, and the names stay.";
}

}  // namespace

const char* InPlaceName(InPlace verdict) noexcept {
  switch (verdict) {
    case InPlace::Yes: return "yes";
    case InPlace::No: return "no";
    case InPlace::Unknown: break;
  }
  return "unknown";
}

DeletionReport AssessDeletion(const std::string& path, const StorageFacts& facts) {
  DeletionReport report;
  report.file = path;
  report.fileSystem = facts.fileSystem;
  report.otherNames = facts.links > 1 ? facts.links - 1 : 0;
  Assessment assessment(report);
  report.inPlace = assessment.Storage(facts, true);
  return report;
}

DeletionReport ReportDeletion(const platform::FileEntry& entry) {
  return AssessDeletion(entry.Path(), entry.Storage());
}

std::string DeletionOutlook(const DeletionReport& report) {
  switch (report.inPlace) {
    case InPlace::Yes:
      return "It will not be possible to recover it after it is deleted." + Lines(report.reasons);
    case InPlace::No:
      return "Its contents are overwritten, but copies of them may remain on the disk:" + Lines(report.reasons);
    case InPlace::Unknown: break;
  }
  return "Its contents are overwritten, but Sealvane cannot tell whether that reaches the disk:" +
         Lines(report.reasons);
}

std::string DeletionOutcome(const DeletionReport& report) {
  const std::string done = report.file + " was overwritten and deleted";
  switch (report.inPlace) {
    case InPlace::Yes:
      return done + "; the overwrite reached the blocks that held it." + Lines(report.reasons) + OtherNames(report);
    case InPlace::No:
      return done + ", but copies of its old contents may remain on the disk:" + Lines(report.reasons) +
             OtherNames(report);
    case InPlace::Unknown: break;
  }
  return done + ", but Sealvane cannot tell whether the overwrite reached the disk:" + Lines(report.reasons) +
         OtherNames(report);
}

}  // namespace sealvane
