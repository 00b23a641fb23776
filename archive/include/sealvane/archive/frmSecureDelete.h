// SPDX-License-Identifier: GPL-3.0-or-later
// The secure-delete job: after the user confirms, one overwrite pass with
// random bytes over the whole file, flushed to the device, then deletion,
// and a report of what the overwrite achieved where the file is kept.
// The file is resolved once: what was checked and confirmed is what is
// overwritten and removed.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sealvane/archive/DeletionReport.h"
#include "sealvane/archive/JobWindow.h"
#include "sealvane/platform/File.h"

namespace sealvane {

// The Yes/No question before a file is destroyed, with what the overwrite
// achieves where the file is kept when that is known.
MsgResult ConfirmSecureDelete(UiPort& ui, const std::string& i_strPath, const DeletionReport* report = nullptr);

class frmSecureDelete : public JobWindow {
 public:
  explicit frmSecureDelete(UiPort& ui, CipherLibrary& library = CipherLibrary::Default())
      : JobWindow(ui, library, "Sealvane - Secure Delete") {}

  // A file, or a folder with everything in it.
  bool Initialize(const std::string& i_strPath);
  // The original of a file being encrypted, deleted as a step of the
  // encrypt job once the archive is checked: the same checks without the
  // question (the user asked for it), but for data that other names show.
  // `i_oEncrypted` is the file the job reads; nothing else is deleted.
  bool InitializeOriginal(const std::string& i_strPath, const platform::FileStatus& i_oEncrypted);
  // The same for a folder that was encrypted: every file in it is
  // overwritten and removed, then its links and folders. Special files
  // (devices, pipes, sockets) were not encrypted and stay, with the
  // folders that hold them.
  bool InitializeOriginalFolder(const std::string& i_strPath, const platform::FileStatus& i_oEncrypted);
  // Put before the report shown after the job.
  void SetOutcomePreface(std::string i_strText) { m_strPreface = std::move(i_strText); }
  std::int32_t Result() const noexcept override { return m_nResult; }
  // The bytes the job overwrites: the file's, or all the files' of a folder
  // (known once Initialize has succeeded).
  std::int64_t Bytes() const noexcept {
    return m_bFolder ? m_nFolderBytes : m_oEntry ? static_cast<std::int64_t>(m_oEntry->Status().size) : 0;
  }
  // What the overwrite achieves where the file is kept; nothing for a link.
  // For a folder, its files' reports together: the worst verdict and every
  // reason once.
  const std::optional<DeletionReport>& Report() const noexcept { return m_oReport; }

 private:
  struct Survey;

  void DoRun() override;
  bool Prepare(const std::string& i_strPath, const platform::FileStatus* i_pEncrypted, bool i_bFolder);
  bool PrepareFolder(bool i_bAsk);
  void SurveyFolder(const platform::FileEntry& i_oFolder, Survey& io_oSurvey);
  DeletionReport Assess(const platform::FileEntry& i_oFile);
  std::int32_t SecureDeleteFile();
  // Overwrites the open file with random bytes, flushed to the device; the
  // bar counts from `done` of `total`.
  std::int32_t OverwriteFile(platform::File& io_oFile, std::int64_t i_nDone, std::int64_t i_nTotal);
  std::int32_t SecureDeleteFolder();
  std::int32_t DeleteTree(const platform::FileEntry& i_oFolder, const std::string& i_strRelative);
  void ShowOutcome();
  void ReportFolderOutcome(std::int32_t i_nResult);

  std::string m_strPath;
  std::optional<platform::FileEntry> m_oEntry;
  std::optional<DeletionReport> m_oReport;
  std::string m_strPreface;
  std::int32_t m_nResult = 0;
  // A folder's deletion: its files' total size, what is done so far, and
  // special files that stay.
  bool m_bFolder = false;
  bool m_bKeepSpecial = true;  // special files stay (they were not encrypted)
  std::int64_t m_nFolderBytes = 0;
  std::int64_t m_nBytesDone = 0;
  std::uint64_t m_nFiles = 0;
  std::uint64_t m_nFilesDone = 0;
  std::uint64_t m_nOutsideNames = 0;  // names of its files elsewhere
  std::vector<std::string> m_colKept;
  std::string m_strFailure;  // why a folder's deletion stopped
  std::string m_strPartial;  // the file being overwritten when it stopped
  std::map<std::uint64_t, platform::StorageFacts> m_colDeviceFacts;  // by device number
};

}  // namespace sealvane
