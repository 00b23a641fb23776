// SPDX-License-Identifier: GPL-3.0-or-later
// Peak memory of one encrypt and one decrypt job over a file of N MiB:
//   bench_memory N   prints the peak resident set size in KiB.
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"

namespace {

class SilentUi : public sealvane::UiPort {
 public:
  sealvane::MsgResult ShowMessageBox(const sealvane::MessageBoxRequest& r) override {
    return r.buttons == sealvane::MsgButtons::YesNo ? sealvane::MsgResult::Yes : sealvane::MsgResult::OK;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const long long mib = argc > 1 ? std::atoll(argv[1]) : 10;
  char name[] = "/tmp/sealvane-mem-XXXXXX";
  const std::string folder = ::mkdtemp(name);
  ::setenv("SEALVANE_HOME", (folder + "/home").c_str(), 1);
  ::setenv("SEALVANE_MACHINE_HIVE", (folder + "/machine.db").c_str(), 1);
  ::setenv("TMPDIR", folder.c_str(), 1);
  const std::string plain = folder + "/plain.bin", archive = folder + "/a.sva", back = folder + "/back.bin";
  {
    std::ofstream out(plain, std::ios::binary);
    std::string chunk(1 << 20, 'x');
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>("abcdefgh ijk\n"[(i * 7) % 13]);
    for (long long i = 0; i < mib; ++i) out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  SilentUi ui;
  sealvane::clsParameters p;
  p.m_eAlg = 5;
  p.m_eCSP = 3;
  p.m_bCompressFile = true;
  p.m_bPwdRequired = true;
  p.m_strPassword = "Correct Horse 9";
  p.m_strFilePath = plain;
  p.m_strEncFilePath = archive;
  sealvane::frmEncrypt encrypt(ui);
  if (!encrypt.Initialize(p)) return 1;
  encrypt.Run();
  p.m_strFilePath = back;
  sealvane::frmDecrypt decrypt(ui);
  if (!decrypt.Initialize(p)) return 1;
  decrypt.Run();
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  std::cout << mib << " MiB: peak RSS " << usage.ru_maxrss << " KiB, results " << encrypt.Result() << "/"
            << decrypt.Result() << "\n";
  std::filesystem::remove_all(folder);
  return encrypt.Result() == 0 && decrypt.Result() == 0 ? 0 : 1;
}
