// SPDX-License-Identifier: GPL-3.0-or-later
// The encrypt job for format version 2: a random file key wrapped under the
// password's Argon2id key or for each digital ID, the header with its MAC,
// the sealed description, then the file in chunks sealed (and compressed,
// when asked) on every core and written in order.
#include <algorithm>
#include <chrono>

#include "JobWorkers.h"
#include "WorkPool.h"
#include "sealvane/archive/FolderTar.h"
#include "sealvane/archive/ModernArchive.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/modern/KeyWrap.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;

namespace {

// Chunks in one run of the workers: 256 KiB of the file.
constexpr std::uint64_t kRunChunks = 4;
// Written bytes handed to the device at a time.
constexpr std::int64_t kWritebackBytes = 8 << 20;

v2::Recipient RecipientFor(const clsDigitalID& id, const std::string& store, std::span<const std::uint8_t> fileKey) {
  v2::Recipient r;
  r.name = id.m_strName;
  r.email = id.m_strEMailAddr;
  r.thumbprint = id.m_varThumbprint;
  r.wrapped = modern::WrapForCertificate(store, id.m_varThumbprint, fileKey);
  return r;
}

}  // namespace

std::int32_t frmEncrypt::EncryptModern() {
  std::int32_t result = kOk;
  try {
    const clsParameters& p = m_oParameters;
    v2::Description desc;
    desc.name = m_strFileName;
    if (m_pFolder) {
      // A folder's stream is as long as it turns out to be: its size is
      // recorded once it has all been read.
      desc.flags = v2::kDescFolder;
      desc.created = m_nFolderCreated;
      desc.modified = m_nFolderModified;
    } else {
      try {
        const platform::FileTimes times = m_oPlainFile.Times();
        desc.created = times.creation;
        desc.modified = times.lastWrite;
      } catch (const RuntimeError&) {
        // Times that cannot be read are stored as zero.
      }
      desc.attributes = m_oPlainFile.Attributes(m_strFileName) & 7;
      // The size recorded now is what is encrypted, even if the file grows.
      desc.size = static_cast<std::uint64_t>(m_oPlainFile.Size());
    }

    v2::Header header;
    header.flags = (p.m_bPwdRequired ? v2::kFlagPassword : 0) | (p.m_bCompressFile ? v2::kFlagCompressed : 0) |
                   (p.m_bOpenFile ? v2::kFlagOpenAfter : 0);
    modern::RandomBytes(header.salt);
    modern::Secret fileKey(modern::kKeySize);
    modern::RandomBytes(fileKey);
    if (p.m_bPwdRequired) {
      const double seconds = p.m_nKdfMilliseconds > 0 ? p.m_nKdfMilliseconds / 1000.0 : 1.0;
      // Argon2id cannot be cut into pieces: the window keeps painting
      // while it runs, and Cancel is heard once it is done.
      header.kdf = RunWhilePainting([seconds] { return modern::CalibrateArgon2(seconds); });
      modern::RandomBytes(header.kdfSalt);
      modern::RandomBytes(header.slotNonce);
      const modern::Secret password(p.m_strPassword.begin(), p.m_strPassword.end());
      const modern::Secret passwordKey = RunWhilePainting([&] { return v2::PasswordKey(header, password); });
      v2::SealFileKey(header, passwordKey, fileKey);
    } else {
      header.recipients.push_back(RecipientFor(p.m_oDefaultDigitalID, "MY", fileKey));
      for (const clsDigitalID& other : p.m_colOtherDigitalIDs) {
        header.recipients.push_back(RecipientFor(other, "AddressBook", fileKey));
      }
    }
    if (Cancelled()) return kCancelled;
    const v2::Keys keys(fileKey, header.salt);
    const ByteArray head = v2::WriteHeader(header, keys);
    const platform::File& out = m_oArchive->Data();
    out.WriteAt(0, head);
    // A folder's description is sealed at the end, in the place kept for it
    // here (the archive has no name anybody sees until it is complete).
    const std::size_t descSize = v2::SealedDescriptionSize(desc);
    if (m_pFolder) {
      out.WriteAt(static_cast<std::int64_t>(head.size()), ByteArray(descSize, 0));
    } else {
      out.WriteAt(static_cast<std::int64_t>(head.size()), v2::SealDescription(desc, keys, header.mac));
    }
    std::int64_t written = static_cast<std::int64_t>(head.size() + descSize);
    std::int64_t flushed = 0;

    // The chunks, sealed on every core and written in order.
    constexpr std::chrono::milliseconds kPoll(20);
    const std::uint64_t total = m_pFolder ? m_pFolder->Estimate() : desc.size;
    const std::uint64_t runBytes = kRunChunks * header.chunkSize;
    // The next run of the plain stream; true when it is the last.
    const auto readRun = [&](ByteArray& input, std::uint64_t offset) {
      if (m_pFolder) {
        input.resize(static_cast<std::size_t>(runBytes));
        input.resize(m_pFolder->Read(input));
        return m_pFolder->End();
      }
      input.resize(static_cast<std::size_t>(std::min(runBytes, total - offset)));
      m_oPlainFile.ReadAt(static_cast<std::int64_t>(offset), input);
      return offset + input.size() == total;
    };
    WorkPool pool(
        [&] { return std::make_unique<ChunkSealWorker>(keys.payload, header.mac, p.m_bCompressFile, header.chunkSize); },
        m_nWorkers);
    std::uint64_t handedOut = 0;
    std::uint64_t sealed = 0;
    std::uint64_t chunk = 0;
    bool allHandedOut = false;
    while (result == kOk) {
      while (!allHandedOut && !pool.Full()) {
        auto run = pool.NewRun();
        run->last = allHandedOut = readRun(run->input, handedOut);
        const std::uint64_t n = run->input.size();
        run->first = chunk;
        chunk += std::max<std::uint64_t>(1, (n + header.chunkSize - 1) / header.chunkSize);
        handedOut += n;
        pool.Submit(std::move(run));
      }
      if (pool.Empty()) break;
      WorkRun* run = pool.Next(kPoll);
      if (run != nullptr) {
        if (run->error) throw *run->error;
        out.WriteAt(written, run->output);
        written += static_cast<std::int64_t>(run->output.size());
        // The device starts on what is written while the rest is sealed:
        // the flush before the archive takes its name has less to wait for.
        if (written - flushed >= kWritebackBytes) {
          out.StartWriteback(flushed, written - flushed);
          flushed = written;
        }
        sealed += run->input.size();
        pool.Release();
        SetProgress(static_cast<std::int64_t>(std::min(sealed, total)), static_cast<std::int64_t>(total));
      }
      DoEvents();
      if (Cancelled()) result = kCancelled;
    }
    if (result == kOk && m_pFolder) {
      desc.size = handedOut;
      out.WriteAt(static_cast<std::int64_t>(head.size()), v2::SealDescription(desc, keys, header.mac));
    }
  } catch (const modern::KeyWrapError& e) {
    ShowError(m_ui, e.what(), 0);
    result = kLibraryFailed;
  } catch (const v2::FormatError& e) {
    ShowError(m_ui, std::string("Failed to encrypt file.") + kCR + e.what(), 0);
    result = kLibraryFailed;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to encrypt file.", error);
    result = error.Number();
  }
  return result;
}

}  // namespace sealvane
