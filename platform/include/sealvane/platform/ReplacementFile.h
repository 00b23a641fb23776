// SPDX-License-Identifier: GPL-3.0-or-later
// A new file written beside the file it is to replace (or to become), and
// put under its name only when complete: at every moment either the old
// file or the complete new one is there, and nothing is ever written
// through a name that could have been planted meanwhile.
#pragma once

#include <functional>
#include <string>

#include "sealvane/platform/File.h"

namespace sealvane::platform {

class ReplacementFile {
 public:
  ReplacementFile(ReplacementFile&& other) noexcept;
  ReplacementFile& operator=(ReplacementFile&& other) noexcept;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Gives up a file that was not published.
  ~ReplacementFile();

  // Creates the new file (mode 0600, read and write) in the folder of
  // `targetPath`: unnamed (O_TMPFILE) where the file system allows it, so
  // that a killed process leaves nothing, else under a hidden name
  // ".SVA<hex>.tmp". Throws RuntimeError whose description is a sentence
  // for the user: 76 the folder does not exist, 70 or 75 it cannot be
  // written, 52 the name is too long for it, 75 the target is a folder.
  static ReplacementFile Create(const std::string& targetPath);

  File& Data() noexcept { return m_data; }
  const std::string& TargetPath() const noexcept { return m_targetPath; }
  const std::string& Folder() const noexcept { return m_folder; }
  bool Published() const noexcept { return m_published; }

  // Puts the new file under the target's name. The file is flushed and
  // given a name in the folder first; an old file at the target that is a
  // regular file with no other names is opened; the new file is renamed over
  // the target and the folder flushed; only then is the old file handed to
  // `overwriteOld` (open for writing, to be overwritten in place; its
  // failures are ignored). So a failure at any step leaves the old file
  // whole. A link or a file with other names at the target is replaced
  // without being written to. When `replaceExisting` is false and something
  // is at the target, nothing is published (58). Throws RuntimeError; the
  // new file is then still unpublished.
  void Publish(bool replaceExisting, const std::function<void(File&)>& overwriteOld);

  // Gives up the new file: its name, if it has one, is removed. Its content
  // is the caller's to overwrite first.
  void Discard() noexcept;

 private:
  ReplacementFile() = default;

  int m_dirfd = -1;
  File m_data;
  std::string m_targetPath;
  std::string m_folder;
  std::string m_name;      // the target's name in the folder
  std::string m_tempName;  // the new file's name meanwhile; empty when unnamed
  bool m_published = false;
  bool m_discarded = false;
};

}  // namespace sealvane::platform
