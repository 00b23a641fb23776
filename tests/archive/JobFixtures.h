// SPDX-License-Identifier: GPL-3.0-or-later
// What the job tests share: the files of a sandbox, the records the main
// window builds, and a fake desktop that logs what it opens.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/clsParameters.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"

namespace sealvane::test {

inline constexpr const char* kPassword = "Correct Horse 9";

inline std::string Plain() { return SandboxDir() + "/report.doc"; }
inline std::string Archive() { return SandboxDir() + "/report.sva"; }
inline std::string Restored() { return SandboxDir() + "/out/report.doc"; }

inline std::string Content(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char>("Sealvane keeps files safe. "[i % 27]));
  return text;
}

inline clsParameters EncryptParameters(bool compress, std::int32_t level = 3, std::int32_t cipher = 4) {
  clsParameters p;
  p.m_eCSP = level;
  p.m_eAlg = cipher;
  p.m_bCompressFile = compress;
  p.m_bPwdRequired = true;
  p.m_strPassword = kPassword;
  p.m_strFilePath = Plain();
  p.m_strEncFilePath = Archive();
  return p;
}

// A record for an archive that only a digital ID opens.
inline void ForDigitalID(clsParameters& p, const std::string& name, const std::uint8_t* thumbprint) {
  p.m_bPwdRequired = false;
  p.m_strPassword.clear();
  p.m_oDefaultDigitalID.m_strName = name;
  p.m_oDefaultDigitalID.m_varThumbprint.assign(thumbprint, thumbprint + 20);
}

// The record the main window builds for decrypting: the archive as read,
// the password, and where the file goes.
inline clsParameters DecryptParameters(const std::string& archive, const std::string& password,
                                       const std::string& target) {
  FakeUiPort ui;
  clsArchive reader(ui);
  clsParameters p;
  clsFileDesc desc;
  EXPECT_EQ(reader.OpenArchive(archive, 0), 0);
  EXPECT_EQ(reader.ReadParameters(p, desc), 0);
  p.m_strPassword = password;
  p.m_strEncFilePath = archive;
  p.m_strFilePath = target;
  return p;
}

inline std::size_t TempFiles() {
  namespace fs = std::filesystem;
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(SandboxDir() + "/tmp"), {}));
}

// Fake xdg-mime and xdg-open on PATH: the opened file is logged.
inline void FakeDesktop(const std::string& defaultApp, const std::string& fileType = "text/plain") {
  namespace fs = std::filesystem;
  const std::string bin = SandboxDir() + "/bin";
  fs::create_directories(bin);
  WriteFileBytes(bin + "/xdg-mime", "#!/bin/sh\n[ \"$2\" = filetype ] && echo " + fileType + " && exit 0\necho '" +
                                        defaultApp + "'\n");
  WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" >> '" + SandboxDir() + "/opened.log'\n");
  fs::permissions(bin + "/xdg-mime", fs::perms(0755));
  fs::permissions(bin + "/xdg-open", fs::perms(0755));
  ::setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
}

}  // namespace sealvane::test
