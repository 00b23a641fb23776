// SPDX-License-Identifier: GPL-3.0-or-later
// The encrypt job: one pass over the plain file, compressed on every core
// when asked, encrypted piece by piece straight into a new archive beside the
// target; nothing is written anywhere else. The archive takes its name only
// when it is complete. A failure or a cancel leaves the old archive, if any,
// as it was. The plain file is never changed, unless the user asked for it
// to be securely deleted: then only after the archive has been read back and
// found to give it back exactly.
#pragma once

#include <memory>
#include <optional>

#include "sealvane/archive/JobWindow.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/ZlibLibrary.h"
#include "sealvane/archive/clsParameters.h"
#include "sealvane/archive/frmSecureDelete.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/ReplacementFile.h"

namespace sealvane {

class FolderPacker;
class PlainStream;

class frmEncrypt : public JobWindow {
 public:
  explicit frmEncrypt(UiPort& ui, CipherLibrary& library = CipherLibrary::Default(),
                      ZlibLibrary& zlib = ZlibLibrary::Default())
      : JobWindow(ui, library, "Sealvane - Encrypt"), m_zlib(zlib), m_nWorkers(DefaultWorkers()),
        m_nMaxArchiveSize(kMaxArchiveSize) {}

  // Checks the record and prepares the window; true: show it. The plain file
  // is opened here, once, and the new archive is created beside its target.
  // A folder (format version 2) is looked through here and packed while it
  // is encrypted.
  bool Initialize(const clsParameters& i_oParameters);

  // The outcome of the last run: 0 done, -9 cancelled, else a failure code.
  std::int32_t Result() const noexcept override { return m_nResult; }

  // The report of the original's deletion, once it was deleted.
  std::optional<DeletionReport> OriginalReport() const {
    return m_bOriginalDeleted ? m_pDeleteOriginal->Report() : std::nullopt;
  }

  // Threads that compress, the job's own included: one per core, at most
  // 8, unless set.
  static unsigned DefaultWorkers() noexcept;
  void SetWorkers(unsigned i_nWorkers) noexcept { m_nWorkers = i_nWorkers; }
  // The largest archive the job may write: the format's limit unless a
  // smaller one is set (to reach the limit in tests without 2 GiB of data).
  void SetMaxArchiveSize(std::int64_t i_nBytes) noexcept { m_nMaxArchiveSize = i_nBytes; }

 private:
  void DoRun() override;
  bool InitializeFolder();
  // The new archive beside its target, the old one's replacement asked for.
  bool CreateArchive();
  std::int32_t EncryptFile();
  // Format version 2 (cipher 6): the header, the sealed description and the
  // chunks, sealed on every core.
  std::int32_t EncryptModern();
  std::int32_t EncryptPieces(PlainStream& i_oPlain, clsArchive& io_oArchive);
  std::int32_t CompressAndEncrypt(PlainStream& i_oPlain, clsArchive& io_oArchive);
  std::int32_t PublishArchive();
  // With the original to be deleted: the unnamed new archive, flushed and
  // read back from the device, decrypted in full and compared with the file.
  std::int32_t VerifyArchive();
  std::int32_t DeleteOriginal();
  // The archive's size without its encrypted stream, as far as it is known
  // before the keys are wrapped.
  std::int64_t HeaderEstimate() const;

  ZlibLibrary& m_zlib;
  clsParameters m_oParameters;
  platform::File m_oPlainFile;
  std::optional<platform::ReplacementFile> m_oArchive;
  std::unique_ptr<frmSecureDelete> m_pDeleteOriginal;
  std::shared_ptr<FolderPacker> m_pFolder;  // the folder being encrypted, if it is one
  std::int64_t m_nFolderCreated = 0;
  std::int64_t m_nFolderModified = 0;
  bool m_bOriginalDeleted = false;
  bool m_bReplace = false;
  std::string m_strFileName;
  std::int32_t m_nResult = 0;
  unsigned m_nWorkers;
  std::int64_t m_nMaxArchiveSize;
};

}  // namespace sealvane
