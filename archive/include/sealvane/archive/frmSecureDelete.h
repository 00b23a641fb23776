// SPDX-License-Identifier: GPL-3.0-or-later
// The secure-delete job: after the user confirms, one overwrite pass with
// random bytes over the whole file, flushed to the device, then deletion,
// and a report of what the overwrite achieved where the file is kept.
// The file is resolved once: what was checked and confirmed is what is
// overwritten and removed.
#pragma once

#include <optional>

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

  bool Initialize(const std::string& i_strPath);
  // The original of a file being encrypted, deleted as a step of the
  // encrypt job once the archive is checked: the same checks without the
  // question (the user asked for it), but for data that other names show.
  // `i_oEncrypted` is the file the job reads; nothing else is deleted.
  bool InitializeOriginal(const std::string& i_strPath, const platform::FileStatus& i_oEncrypted);
  // Put before the report shown after the job.
  void SetOutcomePreface(std::string i_strText) { m_strPreface = std::move(i_strText); }
  std::int32_t Result() const noexcept override { return m_nResult; }
  // What the overwrite achieves where the file is kept; nothing for a link.
  const std::optional<DeletionReport>& Report() const noexcept { return m_oReport; }

 private:
  void DoRun() override;
  bool Prepare(const std::string& i_strPath, const platform::FileStatus* i_pEncrypted);
  std::int32_t SecureDeleteFile();

  std::string m_strPath;
  std::optional<platform::FileEntry> m_oEntry;
  std::optional<DeletionReport> m_oReport;
  std::string m_strPreface;
  std::int32_t m_nResult = 0;
};

}  // namespace sealvane
