// SPDX-License-Identifier: GPL-3.0-or-later
// What an overwrite in place achieves, judged from the facts of where a file
// is kept; and the mount table those facts come from.
#include <gtest/gtest.h>

#include <string>

#include "sealvane/archive/DeletionReport.h"

namespace sealvane {
namespace {

using platform::BlockDevice;
using platform::StorageFacts;

BlockDevice Disk(const std::string& name, bool rotational) {
  BlockDevice d;
  d.name = name;
  d.rotational = rotational;
  return d;
}

StorageFacts On(const std::string& fileSystem, std::optional<BlockDevice> device,
                std::vector<std::string> options = {}) {
  StorageFacts f;
  f.fileSystem = fileSystem;
  f.device = std::move(device);
  f.options = std::move(options);
  f.sharedExtents = false;
  f.encodedExtents = false;
  return f;
}

bool Mentions(const DeletionReport& r, const std::string& words) {
  for (const std::string& reason : r.reasons) {
    if (reason.find(words) != std::string::npos) return true;
  }
  return false;
}

TEST(DeletionReport, YesOnlyWhereEveryLayerWritesInPlace) {
  const DeletionReport ext4 = AssessDeletion("/home/a/f", On("ext4", Disk("sda", true), {"rw", "data=ordered"}));
  EXPECT_EQ(ext4.inPlace, InPlace::Yes);
  EXPECT_EQ(ext4.fileSystemInPlace, InPlace::Yes);
  EXPECT_EQ(ext4.device, "sda");
  EXPECT_TRUE(Mentions(ext4, "ext4 (data=ordered) overwrites")) << ext4.reasons.front();
  EXPECT_TRUE(Mentions(ext4, "sda is a hard disk"));
  for (const char* type : {"ext2", "xfs", "vfat", "exfat"}) {
    EXPECT_EQ(AssessDeletion("f", On(type, Disk("sdb", true))).inPlace, InPlace::Yes) << type;
  }

  // The journal keeps the data: no, whatever the disk.
  const DeletionReport journal = AssessDeletion("f", On("ext4", Disk("sda", true), {"rw", "data=journal"}));
  EXPECT_EQ(journal.inPlace, InPlace::No);
  EXPECT_EQ(journal.fileSystemInPlace, InPlace::No);
  EXPECT_TRUE(Mentions(journal, "data=journal"));

  // Copy on write and log-structured file systems write elsewhere.
  for (const char* type : {"btrfs", "zfs", "bcachefs", "f2fs", "nilfs2"}) {
    const DeletionReport r = AssessDeletion("f", On(type, Disk("sda", true)));
    EXPECT_EQ(r.inPlace, InPlace::No) << type;
    EXPECT_TRUE(Mentions(r, "writes changes to new blocks")) << type;
  }
  // ... except a btrfs file with copy on write turned off and nothing shared.
  StorageFacts noCow = On("btrfs", Disk("sda", true));
  noCow.noCopyOnWrite = true;
  EXPECT_EQ(AssessDeletion("f", noCow).inPlace, InPlace::Yes);
  noCow.sharedExtents = true;
  EXPECT_EQ(AssessDeletion("f", noCow).inPlace, InPlace::No);

  // Shared extents (a reflinked copy) keep the data on any file system.
  StorageFacts reflinked = On("xfs", Disk("sda", true));
  reflinked.sharedExtents = true;
  const DeletionReport shared = AssessDeletion("f", reflinked);
  EXPECT_EQ(shared.inPlace, InPlace::No);
  EXPECT_TRUE(Mentions(shared, "shared with another file or a snapshot"));
  // An XFS file whose extent map could not be read may be shared.
  reflinked.sharedExtents.reset();
  EXPECT_EQ(AssessDeletion("f", reflinked).inPlace, InPlace::Unknown);
  StorageFacts compressed = On("ext4", Disk("sda", true));
  compressed.encodedExtents = true;
  EXPECT_EQ(AssessDeletion("f", compressed).inPlace, InPlace::No);
}

TEST(DeletionReport, DevicesBeneathDecideTheRest) {
  // Flash: the file system writes in place, the device does not; the
  // reasons say what to do instead.
  const DeletionReport ssd = AssessDeletion("f", On("ext4", Disk("nvme0n1p2", false)));
  EXPECT_EQ(ssd.inPlace, InPlace::No);
  EXPECT_EQ(ssd.fileSystemInPlace, InPlace::Yes);
  EXPECT_TRUE(Mentions(ssd, "wear levelling"));
  EXPECT_TRUE(Mentions(ssd, "full-disk encryption"));
  EXPECT_TRUE(Mentions(ssd, "sanitize"));

  // Device mapper: the members decide; an encrypted disk is said to be one.
  BlockDevice crypt;
  crypt.name = "dm-0";
  crypt.mapperUuid = "CRYPT-LUKS2-0123-luks";
  crypt.below = {Disk("sda2", false)};
  const DeletionReport luks = AssessDeletion("f", On("ext4", crypt));
  EXPECT_EQ(luks.inPlace, InPlace::No);
  EXPECT_TRUE(Mentions(luks, "The disk is encrypted (dm-0)"));
  crypt.below = {Disk("sda2", true), Disk("sdb2", true)};
  EXPECT_EQ(AssessDeletion("f", On("ext4", crypt)).inPlace, InPlace::Yes);
  crypt.below.clear();
  EXPECT_EQ(AssessDeletion("f", On("ext4", crypt)).inPlace, InPlace::Unknown);
  // A thin volume: its pool's snapshots may keep the old blocks.
  BlockDevice pool;
  pool.name = "dm-2";
  pool.mapperName = "vg-pool-tpool";
  pool.below = {Disk("sdb", true)};
  BlockDevice thin;
  thin.name = "dm-3";
  thin.mapperUuid = "LVM-abc";
  thin.below = {pool};
  const DeletionReport thinReport = AssessDeletion("f", On("xfs", thin));
  EXPECT_EQ(thinReport.inPlace, InPlace::Unknown);
  EXPECT_TRUE(Mentions(thinReport, "thin-provisioned pool"));
  // Flash that is told what is free erases it in time.
  BlockDevice trimmed = Disk("nvme0n1", false);
  trimmed.discard = true;
  EXPECT_TRUE(Mentions(AssessDeletion("f", On("ext4", trimmed, {"rw", "discard"})), "(discard)"));
  EXPECT_FALSE(Mentions(AssessDeletion("f", On("ext4", trimmed, {"rw"})), "(discard)"));

  // A loop device is followed to its image's own storage.
  BlockDevice loop;
  loop.name = "loop3";
  loop.rotational = true;
  loop.backingFile = "/srv/images/disk.img";
  loop.backing = {On("btrfs", Disk("sda1", true))};
  const DeletionReport image = AssessDeletion("f", On("ext4", loop));
  EXPECT_EQ(image.fileSystemInPlace, InPlace::Yes);
  EXPECT_EQ(image.inPlace, InPlace::No) << "the image's btrfs copies on write";
  EXPECT_TRUE(Mentions(image, "disk image /srv/images/disk.img (through loop3)"));
  loop.backing = {On("ext4", Disk("sda1", true))};
  EXPECT_EQ(AssessDeletion("f", On("ext4", loop)).inPlace, InPlace::Yes);
  loop.backing.clear();
  EXPECT_EQ(AssessDeletion("f", On("ext4", loop)).inPlace, InPlace::Unknown);

  // Where nothing can be known from here.
  BlockDevice vm = Disk("vda", true);
  vm.virtualDisk = true;
  BlockDevice stick = Disk("sdc", true);
  stick.removableUsb = true;
  BlockDevice kind;
  kind.name = "sdx";
  for (const auto& device : {vm, stick, kind}) {
    EXPECT_EQ(AssessDeletion("f", On("ext4", device)).inPlace, InPlace::Unknown) << device.name;
  }
  EXPECT_EQ(AssessDeletion("f", On("ext4", std::nullopt)).inPlace, InPlace::Unknown);
  EXPECT_TRUE(Mentions(AssessDeletion("f", On("ext4", std::nullopt)), "could not find out which device"));
}

TEST(DeletionReport, FileSystemsWithoutADiskOfTheirOwn) {
  StorageFacts memory = On("tmpfs", std::nullopt);
  const DeletionReport tmpfs = AssessDeletion("f", memory);
  EXPECT_EQ(tmpfs.inPlace, InPlace::Yes);
  EXPECT_TRUE(Mentions(tmpfs, "in memory (tmpfs), not on a disk"));
  memory.swapInUse = true;
  const DeletionReport swapped = AssessDeletion("f", memory);
  EXPECT_EQ(swapped.inPlace, InPlace::Unknown);
  EXPECT_TRUE(Mentions(swapped, "Swap space"));

  StorageFacts nfs = On("nfs4", std::nullopt);
  nfs.source = "server:/export";
  const DeletionReport remote = AssessDeletion("f", nfs);
  EXPECT_EQ(remote.inPlace, InPlace::Unknown);
  EXPECT_TRUE(Mentions(remote, "another computer (nfs4, server:/export)"));
  for (const char* type : {"fuse.sshfs", "fuseblk", "fuse.mergerfs", "overlay", "someday-fs"}) {
    EXPECT_EQ(AssessDeletion("f", On(type, Disk("sda", true))).inPlace, InPlace::Unknown) << type;
  }
  EXPECT_TRUE(Mentions(AssessDeletion("f", On("someday-fs", Disk("sda", true))), "does not know how someday-fs"));
}

TEST(DeletionReport, TheTextsSayWhatWasDoneAndWhatItCouldNotPromise) {
  StorageFacts facts = On("ext4", Disk("sda", true));
  facts.links = 3;
  const DeletionReport yes = AssessDeletion("/home/a/f.txt", facts);
  EXPECT_EQ(yes.otherNames, 2u);
  EXPECT_EQ(DeletionOutlook(yes).rfind("It will not be possible to recover it after it is deleted.\r- ", 0), 0u);
  const std::string done = DeletionOutcome(yes);
  EXPECT_EQ(done.rfind("/home/a/f.txt was overwritten and deleted; the overwrite reached the blocks that held it.", 0),
            0u)
      << done;
  EXPECT_NE(done.find("2 other names (hard links)"), std::string::npos);

  const DeletionReport no = AssessDeletion("f", On("btrfs", Disk("sda", true)));
  EXPECT_NE(DeletionOutlook(no).find("copies of them may remain on the disk:\r- btrfs writes"), std::string::npos);
  EXPECT_NE(DeletionOutcome(no).find("but copies of its old contents may remain"), std::string::npos);
  const DeletionReport unknown = AssessDeletion("f", On("overlay", std::nullopt));
  EXPECT_NE(DeletionOutcome(unknown).find("cannot tell whether the overwrite reached the disk"), std::string::npos);
  EXPECT_STREQ(InPlaceName(InPlace::Yes), "yes");
  EXPECT_STREQ(InPlaceName(InPlace::No), "no");
  EXPECT_STREQ(InPlaceName(InPlace::Unknown), "unknown");
}

TEST(MountInfo, FieldsOptionalTagsAndEscapes) {
  const auto mounts = platform::ParseMountInfo(
      "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
      "45 27 7:0 /sub /media/My\\040Disk rw,nosuid master:3 propagate_from:2 - ext4 /dev/loop0 rw,data=journal\n"
      "bad line\n"
      "46 27 0:50 / /net rw - nfs4 server:/export rw,vers=4.2");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[0].major, 254u);
  EXPECT_EQ(mounts[0].fileSystem, "ext4");
  EXPECT_EQ(mounts[1].mountPoint, "/media/My Disk");
  EXPECT_EQ(mounts[1].root, "/sub");
  EXPECT_EQ(mounts[1].source, "/dev/loop0");
  StorageFacts f;
  f.options = mounts[1].options;
  EXPECT_TRUE(f.HasOption("nosuid"));
  EXPECT_EQ(f.OptionValue("data"), "journal");
  EXPECT_FALSE(f.OptionValue("dat"));
  EXPECT_EQ(mounts[2].minor, 50u);
  EXPECT_EQ(mounts[2].source, "server:/export");
}

}  // namespace
}  // namespace sealvane
