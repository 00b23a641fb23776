// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: any bytes as an archive, read and decrypted with the
// fixtures' password through the decrypt job (header, access list, file
// description, pieces, compressed blocks, file properties). Nothing may
// crash, overrun or allocate without bound.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ScratchFolder.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"

namespace {

class SilentUi : public sealvane::UiPort {
 public:
  sealvane::MsgResult ShowMessageBox(const sealvane::MessageBoxRequest& request) override {
    return sealvane::DismissAnswer(request.buttons);
  }
};

std::string g_folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_folder = sealvane::fuzz::ScratchFolder();
  ::setenv("SEALVANE_HOME", (g_folder + "/home").c_str(), 1);
  ::setenv("TMPDIR", g_folder.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string archive = g_folder + "/input.sva";
  const std::string plain = g_folder + "/output.bin";
  if (FILE* f = std::fopen(archive.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  std::remove(plain.c_str());
  SilentUi ui;
  sealvane::clsParameters params;
  {
    sealvane::clsArchive reader(ui);
    sealvane::clsFileDesc desc;
    if (reader.OpenArchive(archive, 0) != 0 || reader.ReadParameters(params, desc) != 0) return 0;
  }
  params.m_strPassword = "Correct Horse 9";
  params.m_strEncFilePath = archive;
  params.m_strFilePath = plain;
  params.m_bOpenFile = false;
  sealvane::frmDecrypt job(ui);
  if (job.Initialize(params)) job.Run();
  return 0;
}
