// SPDX-License-Identifier: GPL-3.0-or-later
// What overwriting a file in place achieves where it is stored. An overwrite
// reaches the blocks that held the data only when every layer writes in
// place: the file system (no copy on write, no journal of the data, no
// shared extents) and the device beneath it (a hard disk; not flash with
// wear levelling, not a virtual disk). The report says "yes" only then,
// "no" where a layer is known to keep the old data, and "unknown" where a
// layer cannot be judged from here; the reasons say which and why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sealvane/platform/Storage.h"

namespace sealvane {

namespace platform {
class FileEntry;
}

enum class InPlace { Yes, No, Unknown };

const char* InPlaceName(InPlace verdict) noexcept;  // "yes", "no", "unknown"

struct DeletionReport {
  std::string file;
  std::string fileSystem;
  InPlace inPlace = InPlace::Unknown;
  // The file system alone, on the device it writes to.
  InPlace fileSystemInPlace = InPlace::Unknown;
  std::string device;  // the device the file system writes to ("sda1"), if any
  std::uint64_t otherNames = 0;
  bool folder = false;  // a folder's files together; otherNames are outside it
  std::vector<std::string> reasons;  // plain sentences
};

DeletionReport AssessDeletion(const std::string& path, const platform::StorageFacts& facts);
DeletionReport ReportDeletion(const platform::FileEntry& entry);

// The report for the question before the overwrite: what will be done and
// what it cannot promise. Lines are separated by carriage returns.
std::string DeletionOutlook(const DeletionReport& report);
// The report after the job: what was done and what it could not promise.
std::string DeletionOutcome(const DeletionReport& report);

}  // namespace sealvane
