// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for certificate import: the input as a certificate file (DER
// or PEM) or a PKCS #12 file, by its first byte, imported into a scratch
// home as `sealvane-cli certs import` does and removed again.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "ScratchFolder.h"
#include "sealvane/archive/CertificateService.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sealvane::fuzz::ScratchHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const kNames[] = {"/in.cer", "/in.pem", "/in.pfx"};
  const std::string path = sealvane::fuzz::ScratchHome() + kNames[data[0] % 3];
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data) + 1, static_cast<std::streamsize>(size - 1));
  const sealvane::CertificateService service;
  try {
    const auto entry = service.Import(path, data[0] % 3 == 2 ? "MY" : "AddressBook",
                                      [] { return std::optional<sealvane::platform::Passphrase>("fuzz"); });
    service.Delete(entry);
    if (entry.privateKey) service.DeleteKeyContainer(entry);
  } catch (const sealvane::CertificateError&) {
  }
  ::unlink(path.c_str());
  return 0;
}
