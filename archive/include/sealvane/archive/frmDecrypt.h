// SPDX-License-Identifier: GPL-3.0-or-later
// The decrypt job: one pass that decrypts the payload (and expands it, for a
// compressed archive) straight into a new file beside the target; nothing is
// written anywhere else. It restores the stored times and attributes, puts
// the file under its name only when it is complete, and opens it when asked.
// A failure or a cancel leaves no plain file and the old file, if any, as it
// was. The archive is never changed.
#pragma once

#include <memory>
#include <optional>

#include "sealvane/archive/JobWindow.h"
#include "sealvane/archive/ZlibLibrary.h"
#include "sealvane/archive/clsParameters.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/ReplacementFile.h"

namespace sealvane {

class ByteSink;
class CheckSink;
class FolderUnpacker;

class frmDecrypt : public JobWindow {
 public:
  explicit frmDecrypt(UiPort& ui, CipherLibrary& library = CipherLibrary::Default(),
                      ZlibLibrary& zlib = ZlibLibrary::Default())
      : JobWindow(ui, library, "Sealvane - Decrypt"), m_zlib(zlib), m_nWorkers(DefaultWorkers()) {}
  // A folder half unpacked is removed.
  ~frmDecrypt() override;

  // Checks the record and prepares the window; true: show it. The archive is
  // opened here, once, and the new file is created beside its target.
  bool Initialize(const clsParameters& i_oParameters);

  // The outcome of the last run: 0 done, -9 cancelled, else a failure code.
  std::int32_t Result() const noexcept override { return m_nResult; }

  // The file the job writes: the record's, or, for a modern archive whose
  // stored name was asked for, that name in the record's folder (known once
  // Initialize has succeeded). A folder for an archive that holds one.
  const std::string& FilePath() const noexcept { return m_oParameters.m_strFilePath; }

  // Checks a new archive instead of writing a file, as a step of `outer`'s
  // window: decrypts `archive` in full as `record` describes it and
  // compares every byte with `original`. kOk when they are the same;
  // kNotTheOriginal when they are not; otherwise what went wrong was shown.
  std::int32_t Verify(const clsParameters& record, const platform::File& archive, const platform::File& original,
                      JobWindow& outer);
  // The same for a folder's archive: the folder is packed again and
  // compared with what the archive gives.
  std::int32_t VerifyFolder(const clsParameters& record, const platform::File& archive, const std::string& folder,
                            JobWindow& outer);

  // Threads that open a modern archive's chunks, the job's own included:
  // one per core, at most 8, unless set.
  static unsigned DefaultWorkers() noexcept;
  void SetWorkers(unsigned i_nWorkers) noexcept { m_nWorkers = i_nWorkers; }

 private:
  void DoRun() override;
  std::int32_t VerifyWith(const clsParameters& record, const platform::File& archive, CheckSink& compare,
                          JobWindow& outer);
  std::int32_t DecryptFile();
  // One try with one form of the password; kWrongPassword in a trial.
  std::int32_t DecryptWith(const clsParameters& i_oAttempt, bool i_bTrial);
  // What the expansion found wrong with the compressed stream, reported once
  // the right key has decrypted it all.
  std::int32_t ReportDamage();
  std::int32_t SetFileProperties();
  // Format version 2: Initialize opens the archive (the password's key or
  // the user's private key, the header's MAC, the sealed description); the
  // job opens its chunks on every core.
  bool OpenModern();
  std::int32_t DecryptModern();
  std::int32_t SetModernProperties();
  // Times, permissions and attributes of the new file.
  void ApplyProperties(std::int64_t i_nCreated, std::int64_t i_nModified, std::uint32_t i_nAttributes);
  std::int32_t PublishFile();
  // An archive that holds a folder: it is unpacked into a new hidden folder
  // beside its target, which takes the target's name once all of it checked
  // out (the old one, if replaced, is then removed).
  bool IsFolder() const noexcept;
  bool PrepareFolder();
  std::int32_t PublishFolder();
  void RemoveFolderWork() noexcept;
  void OpenDecryptedFile();
  // The plain size the archive records, or nothing when it cannot be read
  // (the job then says why).
  std::optional<std::int64_t> RecordedSize() const;
  // False (the user told why) when the new file (or folder) cannot fit in
  // the `i_nFree` bytes where it goes.
  bool RoomForPlainFile(std::optional<std::int64_t> i_nFree);

  ZlibLibrary& m_zlib;
  clsParameters m_oParameters;
  platform::File m_oArchiveFile;
  std::optional<platform::ReplacementFile> m_oPlain;
  bool m_bReplace = false;
  std::int64_t m_nStoredSize = 0;
  StreamDamage m_eDamage = StreamDamage::None;
  struct Modern;
  std::shared_ptr<Modern> m_oModern;
  int m_nDamageZ = 0;
  std::int32_t m_nResult = 0;
  unsigned m_nWorkers;
  ByteSink* m_pCheck = nullptr;  // the comparison, when verifying
  std::string m_strFolderWork;   // the hidden folder a folder is unpacked into
  std::shared_ptr<FolderUnpacker> m_pUnpacker;
};

}  // namespace sealvane
