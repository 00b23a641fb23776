// SPDX-License-Identifier: GPL-3.0-or-later
// The encrypt job: compresses the plain file into a scratch file when asked,
// encrypts it piece by piece into a new archive beside the target, and puts
// the archive under its name only when it is complete. A failure or a cancel
// leaves the old archive, if any, as it was. The plain file is never changed.
#pragma once

#include <optional>

#include "sealvane/archive/JobWindow.h"
#include "sealvane/archive/ZlibLibrary.h"
#include "sealvane/archive/clsParameters.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/ReplacementFile.h"

namespace sealvane {

class frmEncrypt : public JobWindow {
 public:
  explicit frmEncrypt(UiPort& ui, CipherLibrary& library = CipherLibrary::Default(),
                      ZlibLibrary& zlib = ZlibLibrary::Default())
      : JobWindow(ui, library, "Sealvane - Encrypt"), m_zlib(zlib) {}

  // Checks the record and prepares the window; true: show it. The plain file
  // is opened here, once, and the new archive is created beside its target.
  bool Initialize(const clsParameters& i_oParameters);

  // The outcome of the last run: 0 done, -9 cancelled, else a failure code.
  std::int32_t Result() const noexcept override { return m_nResult; }

 private:
  void DoRun() override;
  std::int32_t CompressFile();
  std::int32_t EncryptFile();
  std::int32_t PublishArchive();
  // The archive's size without its encrypted stream, as far as it is known
  // before the keys are wrapped.
  std::int64_t HeaderEstimate() const;

  ZlibLibrary& m_zlib;
  clsParameters m_oParameters;
  platform::File m_oPlainFile;
  platform::File m_oCompressedFile;
  std::optional<platform::ReplacementFile> m_oArchive;
  bool m_bReplace = false;
  std::string m_strFileName;
  std::int32_t m_nResult = 0;
};

}  // namespace sealvane
