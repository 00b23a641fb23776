// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/TempFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "FileInternal.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {

std::string CreateTempFile(const std::string& folder, std::string_view prefix) {
  detail::UniqueFd dir = detail::OpenFolder(folder);
  std::string name;
  ::close(detail::CreateNamedIn(dir.Get(), std::string(prefix), 0600, name));
  std::string path = folder;
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path + name;
}

namespace {

File CreateScratchFileIn(const std::string& folder, std::string_view prefix) {
  detail::UniqueFd dir = detail::OpenFolder(folder);
  const int fd = detail::CreateUnnamedIn(dir.Get(), 0600);
  if (fd >= 0) return detail::FileHandleAccess::Adopt(fd);
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
    throw RuntimeErrorFromErrno(errno);
  }
  // The file system has no unnamed files: a name that goes at once.
  std::string name;
  File file = detail::FileHandleAccess::Adopt(detail::CreateNamedIn(dir.Get(), std::string(prefix), 0600, name));
  ::unlinkat(dir.Get(), name.c_str(), 0);
  return file;
}

}  // namespace

File CreateScratchFile(const std::string& folder, std::string_view prefix) {
  try {
    return CreateScratchFileIn(folder, prefix);
  } catch (const RuntimeError& e) {
    // Which folder, and why: the temporary folder is not one the user chose.
    throw detail::FolderError(e.Number(), folder);
  }
}

}  // namespace sealvane::platform
