// SPDX-License-Identifier: GPL-3.0-or-later
// A folder as one stream: its tree packed as a POSIX tar stream (pax, written
// by libarchive) read in order while it is made, and a stream unpacked into a
// new folder as it arrives. Neither keeps more than a few runs in memory nor
// writes anything but the unpacked folder.
//
// Unpacking is safe by construction: every entry lands inside the folder it
// is unpacked into or is left out with a reason. Names that are absolute or
// hold "..", entries outside the stream's top folder, links that point out
// of the folder, hard links, devices, pipes and sockets, and anything that
// would be written through a symbolic link (libarchive's secure-extraction
// flags) are left out; permission bits are restored without set-id bits.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sealvane {

class FolderPacker {
 public:
  // Walks `folder` once to learn its size and to find what cannot be read
  // before anything is written. Throws RuntimeError naming what failed.
  explicit FolderPacker(const std::string& folder);
  ~FolderPacker();
  FolderPacker(const FolderPacker&) = delete;
  FolderPacker& operator=(const FolderPacker&) = delete;

  // Fills `out` with the next bytes of the stream: all of it, except at the
  // end of the stream. Throws RuntimeError (a file that cannot be read, or
  // that changed size while it was read).
  std::size_t Read(std::span<std::uint8_t> out);
  // True once the stream's last byte has been read.
  bool End() const noexcept;
  // About how long the stream is (the files' sizes and a header each), for
  // progress.
  std::uint64_t Estimate() const noexcept;
  // Special files (devices, pipes, sockets) left out, as relative names
  // without control characters.
  const std::vector<std::string>& LeftOut() const noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
};

class FolderUnpacker {
 public:
  // Unpacks into `folder`, an existing empty folder given as a path without
  // symbolic links; the stream's top folder becomes `folder` itself (its
  // times and permissions are applied by Finish).
  explicit FolderUnpacker(const std::string& folder);
  // Stops unpacking when Finish was not reached.
  ~FolderUnpacker();
  FolderUnpacker(const FolderUnpacker&) = delete;
  FolderUnpacker& operator=(const FolderUnpacker&) = delete;

  // The next bytes of the stream, in order. Throws RuntimeError when the
  // stream cannot be unpacked (it is not a tar stream, a write failed).
  void Put(std::span<const std::uint8_t> data);
  // The stream is complete: unpacks what is left and sets the folders'
  // times and permissions. Throws RuntimeError as Put does.
  void Finish();
  // Stops unpacking; what was unpacked stays for the caller to remove.
  void Abort() noexcept;
  // Entries left out, each "NAME: reason" (NAME without control characters).
  std::vector<std::string> LeftOut() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
};

// True when a symbolic link at `name` (relative to the top folder) pointing
// at `target` leads to somewhere inside the top folder however the links
// inside it resolve: a relative target whose leading ".." components do not
// climb above the top folder, and with no ".." after its first name.
bool LinkStaysInside(const std::string& name, const std::string& target);

}  // namespace sealvane
