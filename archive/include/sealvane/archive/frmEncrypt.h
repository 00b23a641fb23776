// SPDX-License-Identifier: GPL-3.0-or-later
// The encrypt job: compresses the plain file into a temporary file when
// asked, encrypts it into the archive piece by piece, and removes whatever a
// failure or a cancel leaves behind. The plain file is never changed.
#pragma once

#include "sealvane/archive/JobWindow.h"
#include "sealvane/archive/clsParameters.h"

namespace sealvane {

class frmEncrypt : public JobWindow {
 public:
  explicit frmEncrypt(UiPort& ui, CipherLibrary& library = CipherLibrary::Default())
      : JobWindow(ui, library, "Sealvane - Encrypt") {}

  // Checks the record and prepares the window; true: show it.
  bool Initialize(const clsParameters& i_oParameters);

  // The outcome of the last run: 0 done, -9 cancelled, else a failure code.
  std::int32_t Result() const noexcept { return m_nResult; }

 private:
  void DoRun() override;
  std::int32_t CompressFile();
  std::int32_t EncryptFile();

  clsParameters m_oParameters;
  std::string m_strDataFile;
  std::string m_strFileName;
  std::int32_t m_nResult = 0;
};

}  // namespace sealvane
