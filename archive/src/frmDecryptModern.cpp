// SPDX-License-Identifier: GPL-3.0-or-later
// The decrypt job for format version 2. Initialize opens the archive: the
// header (every length bounded, the password function's cost capped), the
// file key (the password's Argon2id key, or the user's private key), the
// header's MAC and the sealed description; nothing is written before all of
// them check out. The job then opens the chunks on every core, in order,
// each bound to its number and to whether it is the last, and writes them to
// the new file, which takes its name only when the last chunk checked out.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "JobWorkers.h"
#include "RunIo.h"
#include "WorkPool.h"
#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/FolderTar.h"
#include "sealvane/archive/ModernArchive.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/modern/KeyWrap.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;

namespace {

constexpr const char* kChangedHeader =
    "The encrypted file is damaged.\rIts header has been changed since it was made.";
constexpr const char* kChangedData =
    "The encrypted file is damaged.\rPart of its data has been changed, moved, cut off or added.";
constexpr const char* kCannotOpen = "The encrypted file cannot be opened.";

// What of a folder was not unpacked, and why.
void ReportLeftOut(UiPort& ui, const std::vector<std::string>& leftOut) {
  if (leftOut.empty()) return;
  ShowWarning(ui,
              (leftOut.size() == 1 ? std::string("One item of the folder was not decrypted:")
                                   : std::to_string(leftOut.size()) + " items of the folder were not decrypted:") +
                  NameLines(leftOut),
              0);
}

// Chunks in one run of the workers.
constexpr std::size_t kRunChunks = 4;
// Written bytes handed to the device at a time.
constexpr std::uint64_t kWritebackBytes = 8 << 20;

}  // namespace

struct frmDecrypt::Modern {
  v2::Header header;
  ByteArray headerBytes;
  std::optional<v2::Keys> keys;
  v2::Description description;
  std::int64_t chunksAt = 0;  // where the first chunk starts
};

unsigned frmDecrypt::DefaultWorkers() noexcept { return WorkPool::DefaultThreads(); }

bool frmDecrypt::OpenModern() {
  auto modern = std::make_shared<Modern>();
  const platform::File& file = m_oArchiveFile;
  const auto fileSize = static_cast<std::uint64_t>(file.Size());
  std::int64_t at = 0;
  const auto read = [&](std::span<std::uint8_t> out) {
    if (out.size() > fileSize - static_cast<std::uint64_t>(at)) throw v2::FormatError("It is cut short.");
    file.ReadAt(at, out);
    at += static_cast<std::int64_t>(out.size());
  };
  try {
    modern->header = v2::ReadHeader(read, fileSize, modern->headerBytes);
    const v2::Header& header = modern->header;
    // The record must still describe this archive.
    if (header.Password() != m_oParameters.m_bPwdRequired || header.Compressed() != m_oParameters.m_bCompressFile) {
      ShowError(m_ui, "Failed to read encrypted file parameters.", 0);
      return false;
    }
    std::optional<modern::Secret> fileKey;
    if (header.Password()) {
      if (const auto why = modern::Argon2Refusal(header.kdf)) {
        ShowWarning(m_ui, std::string(kCannotOpen) + kCR + *why + kCR + "It may be damaged, or made to do harm.", 0);
        return false;
      }
      const modern::Secret password(m_oParameters.m_strPassword.begin(), m_oParameters.m_strPassword.end());
      const modern::Secret passwordKey = RunWhilePainting([&] { return v2::PasswordKey(header, password); });
      fileKey = v2::OpenFileKey(header, passwordKey);
      if (!fileKey) {
        ShowWarning(m_ui, "The password is incorrect.", 0);
        return false;
      }
    } else {
      // The first entry whose digital ID is the user's own.
      const auto mine = std::find_if(header.recipients.begin(), header.recipients.end(),
                                     [](const v2::Recipient& r) { return modern::HasOwnCertificate(r.thumbprint); });
      if (mine == header.recipients.end()) {
        ShowWarning(m_ui, "You do not have access to this file.", 0);
        return false;
      }
      fileKey = modern::UnwrapWithOwnKey(mine->thumbprint, mine->wrapped);
      if (fileKey->size() != modern::kKeySize) {
        ShowError(m_ui, kChangedHeader, 0);
        return false;
      }
    }
    modern->keys.emplace(*fileKey, header.salt);
    if (!v2::HeaderIntact(modern->headerBytes, *modern->keys)) {
      ShowError(m_ui, kChangedHeader, 0);
      return false;
    }
    std::uint8_t length[4];
    read(length);
    const std::uint32_t sealedLength = v2::detail::Be32(length);
    if (sealedLength > v2::kMaxDescription) throw v2::FormatError("Its description is too long.");
    ByteArray sealed(sealedLength);
    read(sealed);
    const auto description = v2::OpenDescription(sealed, *modern->keys, header.mac);
    if (!description) {
      ShowError(m_ui, kChangedData, 0);
      return false;
    }
    if ((description->flags & ~v2::kDescFolder) != 0) {
      throw v2::FormatError("It holds something this version of Sealvane cannot decrypt.");
    }
    modern->description = *description;
    modern->chunksAt = at;
  } catch (const v2::FormatError& e) {
    ShowError(m_ui, std::string("Failed to read encrypted file parameters.") + kCR + e.what(), 0);
    return false;
  } catch (const modern::KeyWrapError& e) {
    // An empty text: the user cancelled the question for the key's
    // passphrase, which needs no message.
    if (*e.what() != '\0') ShowError(m_ui, e.what(), 0);
    return false;
  }
  // The plain file takes the stored name, in the folder asked for; only its
  // last component, so that nothing is written outside that folder.
  if (m_oParameters.m_bNameFromArchive) {
    const auto name = SafeStoredFileName(modern->description.name);
    if (!name) {
      ShowWarning(m_ui, "The encrypted file stores no usable file name.  Please specify a file.", 0);
      return false;
    }
    m_oParameters.m_strFilePath = BesideFile(m_oParameters.m_strFilePath, *name);
  }
  m_nStoredSize = static_cast<std::int64_t>(std::min<std::uint64_t>(modern->description.size, INT64_MAX));
  m_oModern = std::move(modern);
  return true;
}

std::int32_t frmDecrypt::DecryptModern() {
  std::int32_t result = kOk;
  try {
    const Modern& modern = *m_oModern;
    const v2::Header& header = modern.header;
    const platform::File& in = m_oArchiveFile;
    const platform::File* out = m_pCheck || IsFolder() ? nullptr : &m_oPlain->Data();
    if (IsFolder() && !m_pCheck) m_pUnpacker = std::make_shared<FolderUnpacker>(m_strFolderWork);
    const std::int64_t fileSize = in.Size();
    const std::int64_t chunkBytes = fileSize - modern.chunksAt;
    const std::uint64_t total = modern.description.size;
    WorkPool pool([&] { return std::make_unique<ChunkOpenWorker>(modern.keys->payload, header.mac, header.chunkSize); },
                  m_nWorkers);
    constexpr std::chrono::milliseconds kPoll(20);
    std::int64_t readAt = modern.chunksAt;
    std::uint64_t chunk = 0;
    std::uint64_t written = 0;
    std::uint64_t flushed = 0;
    bool allRead = false;
    bool damaged = false;
    while (result == kOk && !damaged) {
      // Runs of sealed chunks, each after its length; the chunk that ends
      // the file is taken as the last one.
      while (!allRead && !pool.Full() && !damaged) {
        auto run = pool.NewRun();
        run->first = chunk;
        for (std::size_t i = 0; i < kRunChunks && !allRead; ++i) {
          std::uint8_t length[4];
          if (fileSize - readAt < 4) {
            damaged = true;
            break;
          }
          in.ReadAt(readAt, length);
          const std::uint32_t sealed = v2::detail::Be32(length);
          if (sealed < 1 + modern::kGcmTagSize || sealed > v2::MaxSealedChunk(header.chunkSize) ||
              sealed > fileSize - readAt - 4) {
            damaged = true;
            break;
          }
          const std::size_t at = run->input.size();
          run->input.resize(at + 4 + sealed);
          in.ReadAt(readAt, std::span<std::uint8_t>(run->input).subspan(at, 4 + sealed));
          readAt += 4 + sealed;
          ++chunk;
          allRead = readAt == fileSize;
        }
        run->last = allRead;
        if (run->input.empty()) break;
        pool.Submit(std::move(run));
      }
      if (pool.Empty()) break;
      WorkRun* run = pool.Next(kPoll);
      if (run != nullptr) {
        if (run->error) throw *run->error;
        // Never more than the file the archive describes.
        if (run->status != 0 || written + run->output.size() > total) {
          damaged = true;
          break;
        }
        if (m_pCheck) {
          m_pCheck->Put(static_cast<std::int64_t>(written), run->output);
        } else if (m_pUnpacker) {
          m_pUnpacker->Put(run->output);
        } else {
          out->WriteAt(static_cast<std::int64_t>(written), run->output);
        }
        written += run->output.size();
        // The device starts on what is written while the rest is opened.
        if (out && written - flushed >= kWritebackBytes) {
          out->StartWriteback(static_cast<std::int64_t>(flushed), static_cast<std::int64_t>(written - flushed));
          flushed = written;
        }
        pool.Release();
        SetProgress(readAt - modern.chunksAt, chunkBytes);
      }
      DoEvents();
      if (Cancelled()) result = kCancelled;
    }
    if (result == kOk && (damaged || !allRead || written != total)) {
      ShowError(m_ui, kChangedData, 0);
      result = kDamaged;
    }
    if (m_pUnpacker && result == kOk) {
      m_pUnpacker->Finish();
      ReportLeftOut(m_ui, m_pUnpacker->LeftOut());
    }
    if (m_pUnpacker) m_pUnpacker.reset();
  } catch (...) {
    m_pUnpacker.reset();
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to decrypt file.", error);
    result = error.Number();
  }
  return result;
}

frmDecrypt::~frmDecrypt() {
  m_pUnpacker.reset();
  RemoveFolderWork();
}

bool frmDecrypt::IsFolder() const noexcept {
  return m_oModern && (m_oModern->description.flags & v2::kDescFolder) != 0;
}

bool frmDecrypt::PrepareFolder() {
  const std::string& path = m_oParameters.m_strFilePath;
  const std::string name = GetFileNameOfPath(path);
  std::string parent = GetFolderOfPath(path, true);
  if (parent.empty()) parent = ".";
  // Unpacking checks every folder on the way for links: the way to the new
  // folder is given without any.
  char* real = ::realpath(parent.c_str(), nullptr);
  if (real == nullptr) {
    ReportFileFailure(m_ui, "Failed to open file.", platform::RuntimeErrorFromErrno(errno));
    return false;
  }
  std::string work = std::string(real) + "/." + (name.size() > 200 ? name.substr(0, 200) : name) + ".XXXXXX";
  struct statvfs volume {};
  const bool known = ::statvfs(real, &volume) == 0;
  std::free(real);
  // The folder's stream is about as large as what it unpacks to.
  if (!RoomForPlainFile(known ? std::optional<std::int64_t>(static_cast<std::int64_t>(volume.f_bavail) *
                                                            static_cast<std::int64_t>(volume.f_frsize))
                              : std::nullopt)) {
    return false;
  }
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    if (ConfirmReplace(m_ui, path) != MsgResult::Yes) return false;
    m_bReplace = true;
  }
  if (::mkdtemp(work.data()) == nullptr) {
    ReportFileFailure(m_ui, "Failed to open file.", platform::RuntimeErrorFromErrno(errno));
    return false;
  }
  m_strFolderWork = work;
  SetOperation("");
  SetFile(GetFileNameOfPath(m_oParameters.m_strEncFilePath));
  SetProgress(0, 1);
  return true;
}

std::int32_t frmDecrypt::PublishFolder() {
  const std::string& path = m_oParameters.m_strFilePath;
  // Swapped with the old one when it is replaced (the old one is then
  // removed with the work folder); never over anything that appeared since.
  std::error_code ec;
  const bool swap = m_bReplace && std::filesystem::exists(std::filesystem::symlink_status(path, ec));
  if (::renameat2(AT_FDCWD, m_strFolderWork.c_str(), AT_FDCWD, path.c_str(), swap ? RENAME_EXCHANGE : RENAME_NOREPLACE) !=
      0) {
    const RuntimeError error = platform::RuntimeErrorFromErrno(errno);
    ReportFileFailure(m_ui, "Failed to save decrypted folder.", error);
    return error.Number();
  }
  if (!swap) m_strFolderWork.clear();
  return kOk;
}

void frmDecrypt::RemoveFolderWork() noexcept {
  if (m_strFolderWork.empty()) return;
  // What it holds is plain (a folder half unpacked, or the one it
  // replaced): each file is overwritten before it goes, as a plain file
  // given up is. Links are removed, never followed.
  try {
    // Read-only folders (their permissions restored) are opened up first.
    const auto openUp = [](const std::filesystem::path& folder) {
      struct stat st {};
      if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ::chmod(folder.c_str(), (st.st_mode & 07777) | 0700);
    };
    openUp(m_strFolderWork);
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(m_strFolderWork, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_symlink(ec)) continue;
      if (it->is_directory(ec)) {
        openUp(it->path());
      } else if (it->is_regular_file(ec)) {
        WipeFile(it->path().string(), m_library);
      }
    }
  } catch (...) {
    // Removed below all the same.
  }
  std::error_code ec;
  std::filesystem::remove_all(m_strFolderWork, ec);
  m_strFolderWork.clear();
}

std::int32_t frmDecrypt::SetModernProperties() {
  try {
    const v2::Description& d = m_oModern->description;
    ApplyProperties(d.created, d.modified, d.attributes);
    return kOk;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to set file properties.");
    return platform::CurrentRuntimeError().Number();
  }
}

}  // namespace sealvane
