// SPDX-License-Identifier: GPL-3.0-or-later
// The secure-delete job: after the user confirms, one overwrite pass with
// random bytes over the whole file, flushed to the device, then deletion.
// The file is resolved once: what was checked and confirmed is what is
// overwritten and removed.
#pragma once

#include <optional>

#include "sealvane/archive/JobWindow.h"
#include "sealvane/platform/File.h"

namespace sealvane {

// The Yes/No question before a file is destroyed.
MsgResult ConfirmSecureDelete(UiPort& ui, const std::string& i_strPath);

class frmSecureDelete : public JobWindow {
 public:
  explicit frmSecureDelete(UiPort& ui, CipherLibrary& library = CipherLibrary::Default())
      : JobWindow(ui, library, "Sealvane - Secure Delete") {}

  bool Initialize(const std::string& i_strPath);
  std::int32_t Result() const noexcept override { return m_nResult; }

 private:
  void DoRun() override;
  std::int32_t SecureDeleteFile();

  std::string m_strPath;
  std::optional<platform::FileEntry> m_oEntry;
  std::int32_t m_nResult = 0;
};

}  // namespace sealvane
