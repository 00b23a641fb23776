// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sealvane/archive/clsDigitalID.h"

namespace sealvane {

// How one file is protected, and where the plain file and the archive are.
class clsParameters {
 public:
  clsParameters() = default;
  clsParameters(const clsParameters&) = default;
  clsParameters& operator=(const clsParameters&) = default;
  ~clsParameters();  // wipes the password

  std::int32_t m_eCSP = 0;
  std::int32_t m_eAlg = 0;
  bool m_bCompressFile = false;
  bool m_bOpenFile = false;
  bool m_bSigned = false;
  bool m_bPwdRequired = false;
  std::string m_strPassword;  // never stored in an archive
  // Further Windows code pages to try the password in when decrypting.
  std::vector<std::int32_t> m_colPasswordCodePages;
  // The permission bits of a decrypted file; -1: private to its owner (0600
  // less the umask). The archive keeps no permissions.
  std::int32_t m_nFileMode = -1;
  // About how long deriving the key from a password may take when a modern
  // archive is made; 0: about a second.
  std::int32_t m_nKdfMilliseconds = 0;
  // After encrypting: check the archive against the file, then securely
  // delete the file. Not stored in the archive.
  bool m_bDeleteOriginal = false;
  // The plain file takes the name the archive stores (known only once a
  // modern archive is opened): m_strFilePath gives its folder.
  bool m_bNameFromArchive = false;
  clsDigitalID m_oDefaultDigitalID;
  std::vector<clsDigitalID> m_colOtherDigitalIDs;
  std::string m_strFilePath;
  std::string m_strEncFilePath;
};

// The archived file: name, times, attributes and sizes.
class clsFileDesc {
 public:
  std::string m_strFileName;
  ByteArray m_varCreateTime = ByteArray(8, 0);
  ByteArray m_varModifyTime = ByteArray(8, 0);
  std::int32_t m_nAttributes = 0;
  std::int32_t m_nFileSize = 0;
  std::int32_t m_nCompFileSize = 0;
  // The description is sealed (a modern archive): the name, times and
  // sizes above are known only once the archive is opened.
  bool m_bSealed = false;
};

}  // namespace sealvane
