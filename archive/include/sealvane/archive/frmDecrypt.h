// SPDX-License-Identifier: GPL-3.0-or-later
// The decrypt job: decrypts the payload into the plain file (or into a
// temporary file that it then expands), restores the stored times and
// attributes, and opens the file when asked. The archive is never changed.
#pragma once

#include "sealvane/archive/JobWindow.h"
#include "sealvane/archive/clsParameters.h"

namespace sealvane {

class frmDecrypt : public JobWindow {
 public:
  explicit frmDecrypt(UiPort& ui, CipherLibrary& library = CipherLibrary::Default())
      : JobWindow(ui, library, "Sealvane - Decrypt") {}

  bool Initialize(const clsParameters& i_oParameters);

  // The outcome of the last run: 0 done, -9 cancelled, else a failure code.
  std::int32_t Result() const noexcept { return m_nResult; }

 private:
  void DoRun() override;
  std::int32_t DecryptFile();
  std::int32_t DecompressFile();
  std::int32_t SetFileProperties();

  clsParameters m_oParameters;
  std::string m_strDataFile;
  std::int32_t m_nResult = 0;
};

}  // namespace sealvane
