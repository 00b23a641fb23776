// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/ReplacementFile.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>
#include <utility>

#include "FileInternal.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {
namespace {

constexpr const char* kTempPrefix = ".SVA";

bool UnnamedUnsupported(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

// Gives an unnamed file a name in the folder; false with errno on failure.
bool LinkUnnamed(int fd, int dirfd, const std::string& name) {
  if (::linkat(AT_FDCWD, detail::DescriptorPath(fd).c_str(), dirfd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return true;
  }
  if (errno == EEXIST) return false;
  return ::linkat(fd, "", dirfd, name.c_str(), AT_EMPTY_PATH) == 0;
}

}  // namespace

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : m_dirfd(std::exchange(other.m_dirfd, -1)),
      m_data(std::move(other.m_data)),
      m_targetPath(std::move(other.m_targetPath)),
      m_folder(std::move(other.m_folder)),
      m_name(std::move(other.m_name)),
      m_tempName(std::move(other.m_tempName)),
      m_published(other.m_published),
      m_discarded(std::exchange(other.m_discarded, true)) {}

ReplacementFile& ReplacementFile::operator=(ReplacementFile&& other) noexcept {
  if (this != &other) {
    std::swap(m_dirfd, other.m_dirfd);
    std::swap(m_data, other.m_data);
    std::swap(m_targetPath, other.m_targetPath);
    std::swap(m_folder, other.m_folder);
    std::swap(m_name, other.m_name);
    std::swap(m_tempName, other.m_tempName);
    std::swap(m_published, other.m_published);
    std::swap(m_discarded, other.m_discarded);
  }
  return *this;
}

ReplacementFile::~ReplacementFile() {
  Discard();
  if (m_dirfd >= 0) ::close(m_dirfd);
}

ReplacementFile ReplacementFile::Create(const std::string& targetPath) {
  if (targetPath.empty()) throw RuntimeError(rt::kBadFileName);
  auto [folder, name] = detail::SplitFolder(targetPath);
  if (name.empty() || name == "." || name == "..") throw RuntimeError(rt::kPathFileAccess, targetPath + " is a folder");
  const std::string shownFolder = folder == "." ? std::string("the current folder") : folder;

  ReplacementFile file;
  try {
    file.m_dirfd = detail::OpenFolder(folder).Release();
  } catch (const RuntimeError& e) {
    throw detail::FolderError(e.Number(), shownFolder);
  }
  file.m_targetPath = targetPath;
  file.m_folder = folder;
  file.m_name = name;

  const long maxName = ::fpathconf(file.m_dirfd, _PC_NAME_MAX);
  if (name.size() > static_cast<std::size_t>(maxName > 0 ? maxName : 255)) {
    throw RuntimeError(rt::kBadFileName, "The name " + name + " is too long for its folder");
  }
  struct stat st {};
  if (::fstatat(file.m_dirfd, name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode)) {
    throw RuntimeError(rt::kPathFileAccess, targetPath + " is a folder");
  }
  // An unnamed file needs /proc to be given its name later.
  int fd = -1;
  if (detail::DescriptorPathsWork()) {
    fd = detail::CreateUnnamedIn(file.m_dirfd, 0600);
    if (fd < 0 && !UnnamedUnsupported(errno)) throw detail::FolderError(ErrnoToRuntimeNumber(errno), shownFolder);
  }
  if (fd < 0) {
    try {
      fd = detail::CreateNamedIn(file.m_dirfd, kTempPrefix, 0600, file.m_tempName);
    } catch (const RuntimeError& e) {
      throw detail::FolderError(e.Number(), shownFolder);
    }
  }
  file.m_data = detail::FileHandleAccess::Adopt(fd);
  return file;
}

void ReplacementFile::Publish(bool replaceExisting, const std::function<void(File&)>& overwriteOld) {
  if (m_published || m_discarded) throw RuntimeError(rt::kBadFileName);
  m_data.Sync();
  const int fd = detail::FileHandleAccess::Descriptor(m_data);
  struct stat old {};
  const bool targetExists = ::fstatat(m_dirfd, m_name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (targetExists && !replaceExisting) throw RuntimeError(rt::kFileExists, m_targetPath + " already exists");

  if (m_tempName.empty()) {
    if (!targetExists) {
      // The name is free: linking claims it, and fails if anything took it.
      if (!LinkUnnamed(fd, m_dirfd, m_name)) {
        throw RuntimeError(errno == EEXIST ? rt::kFileExists : ErrnoToRuntimeNumber(errno),
                           errno == EEXIST ? m_targetPath + " already exists" : StandardDescription(ErrnoToRuntimeNumber(errno)));
      }
      m_published = true;
      detail::SyncFolder(m_dirfd);
      return;
    }
    // A name of its own first, so that the complete new file exists under a
    // name before the old one is touched.
    for (int attempt = 0; attempt < 100 && m_tempName.empty(); ++attempt) {
      std::string candidate;
      {
        // Reserve a unique name, then put the new file there.
        detail::UniqueFd probe(detail::CreateNamedIn(m_dirfd, kTempPrefix, 0600, candidate));
        ::unlinkat(m_dirfd, candidate.c_str(), 0);
      }
      if (LinkUnnamed(fd, m_dirfd, candidate)) {
        m_tempName = candidate;
      } else if (errno != EEXIST) {
        throw RuntimeErrorFromErrno(errno);
      }
    }
    if (m_tempName.empty()) throw RuntimeError(rt::kFileExists);
  } else if (!targetExists) {
    if (::renameat2(m_dirfd, m_tempName.c_str(), m_dirfd, m_name.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno == EEXIST) throw RuntimeError(rt::kFileExists, m_targetPath + " already exists");
      if (errno != EINVAL && errno != ENOSYS) throw RuntimeErrorFromErrno(errno);
      // No atomic no-replace rename here: a link claims the name instead.
      if (::linkat(m_dirfd, m_tempName.c_str(), m_dirfd, m_name.c_str(), 0) != 0) {
        if (errno == EEXIST) throw RuntimeError(rt::kFileExists, m_targetPath + " already exists");
        throw RuntimeErrorFromErrno(errno);
      }
      ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
    }
    m_tempName.clear();
    m_published = true;
    detail::SyncFolder(m_dirfd);
    return;
  }

  // The old file, when it is a regular file that no other name shares, is
  // held open now and overwritten only once the new one has its name: a
  // failed rename leaves it whole. A link is replaced, never written through.
  std::optional<File> oldFile;
  if (overwriteOld) {
    try {
      detail::UniqueFd dir(::fcntl(m_dirfd, F_DUPFD_CLOEXEC, 0));
      auto entry = dir.Valid() ? FileEntry::ResolveIn(dir.Get(), m_folder, m_name, m_targetPath) : std::nullopt;
      if (entry) {
        dir.Release();
        if (entry->Status().kind == FileKind::Regular && entry->Status().links == 1) {
          oldFile = entry->OpenForOverwrite();
        }
      }
    } catch (...) {
      // An old file that cannot be opened is replaced all the same.
    }
  }
  if (::renameat(m_dirfd, m_tempName.c_str(), m_dirfd, m_name.c_str()) != 0) throw RuntimeErrorFromErrno(errno);
  m_tempName.clear();
  m_published = true;
  detail::SyncFolder(m_dirfd);
  if (oldFile) {
    try {
      overwriteOld(*oldFile);
    } catch (...) {
      // The new file is in place; the old one's blocks go as they are.
    }
  }
}

void ReplacementFile::Discard() noexcept {
  if (m_published || m_discarded) return;
  if (!m_tempName.empty() && m_dirfd >= 0) ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
  m_tempName.clear();
  m_data.Close();
  m_discarded = true;
}

}  // namespace sealvane::platform
