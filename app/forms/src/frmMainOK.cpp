// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: OK in each mode, the checks and questions before a job,
// and the job windows.
#include "sealvane/forms/frmMain.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/Password.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/frmSecureDelete.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/Batch.h"
#include "sealvane/forms/DigitalIDs.h"
#include "sealvane/forms/modMain.h"
#include "sealvane/platform/DynamicLibrary.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/modern/KeyWrap.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/RuntimeError.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::forms {

namespace {

bool IsBareName(const std::string& path) { return path.find('/') == std::string::npos; }

std::size_t CharacterCount(const std::string& utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The record for decrypting `archive` as the window builds it for one
// archive, the password given to each that needs one; false when the
// archive cannot be read (said through `ui`).
bool DecryptRecord(UiPort& ui, CipherLibrary& library, const std::string& archive, const clsParameters& window,
                   clsParameters& o_record) {
  clsArchive reader(ui, library);
  clsParameters stored;
  clsFileDesc desc;
  if (reader.OpenArchive(archive, 0) != 0) {
    ShowError(ui, "Failed to open encrypted file.", 0);
    return false;
  }
  const std::int32_t rc = reader.ReadParameters(stored, desc);
  reader.CloseArchive();
  if (rc != 0) {
    ShowError(ui, "Failed to open encrypted file - invalid format.", 0);
    return false;
  }
  o_record = stored;
  o_record.m_strEncFilePath = archive;
  o_record.m_eCSP = stored.m_eAlg > 2 && stored.m_eAlg < kCipherAes256 ? 3 : 1;
  o_record.m_colPasswordCodePages = window.m_colPasswordCodePages;
  o_record.m_nFileMode = window.m_nFileMode;
  // Several files are not all opened at once.
  o_record.m_bOpenFile = false;
  o_record.m_strPassword = stored.m_bPwdRequired ? window.m_strPassword : std::string();
  if (desc.m_bSealed) {
    o_record.m_strFilePath = BesideFile(archive, "");
    o_record.m_bNameFromArchive = true;
  } else {
    const auto name = SafeStoredFileName(desc.m_strFileName);
    if (!name) {
      ShowWarning(ui, "The encrypted file does not hold a usable file name.", 0);
      return false;
    }
    o_record.m_strFilePath = BesideFile(archive, *name);
  }
  return true;
}

}  // namespace

// --- OK and the job windows ----------------------------------------------------

void frmMain::btnOK_Click() {
  const std::string mode = GetCurrentMode();
  try {
    if (m_colFiles.size() > 1 && mode == m_strFilesMode) {
      OKMany(mode);
      Refresh();
      return;
    }
    clsConfig config;
    if (!txtFile_Validate(true)) return;
    m_strFilePath = Control("txtFile").text;
    m_strEncFilePath = Control("txtEncFile").text;
    UpdateStatusBar();
    config.SetLastDir(GetFolderOfPath(m_strFilePath, true));
    if (mode != kModeSecureDelete) {
      // The same file under two spellings (a link, "./", "..") is the same
      // file too.
      const bool same = m_strFilePath == m_strEncFilePath ||
                        (!m_strFilePath.empty() && !m_strEncFilePath.empty() &&
                         platform::SameFile(m_strFilePath, m_strEncFilePath));
      if (same) {
        if (!m_strFilePath.empty()) {
          ShowWarning(m_ui, std::string("The file and the encrypted file are the same.") + kCR +
                                "Please choose another file.",
                      0);
        } else {
          ShowWarning(m_ui, "Please select a file.", 0);
        }
        Refresh();
        return;
      }
    }
    bool finished = true;
    if (mode == kModeSecureDelete) {
      frmSecureDelete job(m_ui, m_library);
      m_oLastDeletion.reset();
      if (job.Initialize(m_strFilePath) && m_mainView) {
        const std::int64_t bytes = job.Bytes();
        const auto start = std::chrono::steady_clock::now();
        m_mainView->ShowJob(job);
        if (job.Result() == 0) m_oLastDeletion = job.Report();
        JobEnded(mode, job.Result(), m_strFilePath, "", bytes, std::chrono::steady_clock::now() - start);
      }
    } else if (mode == kModeDecrypt) {
      finished = OKDecrypt();
    } else {
      finished = OKEncrypt();
    }
    if (finished) {
      config.SetLastDir(GetFolderOfPath(m_strFilePath, true));
      UpdateStatusBar();
    }
    Refresh();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to " + mode + " file.");
    Refresh();
  }
}

bool frmMain::OKDecrypt() {
  if (IsBareName(m_strFilePath)) m_strFilePath = BesideFile(m_strEncFilePath, m_strFilePath);
  if (CheckCanDecrypt() != 0) return false;
  // A folder for a modern archive: the file takes the name it stores.
  m_bNameFromArchive = false;
  if (m_eAlg == kCipherAes256) {
    if (!m_strFilePath.empty() && m_strFilePath.back() != '/' &&
        platform::StatusOf(m_strFilePath).kind == platform::FileKind::Folder) {
      m_strFilePath += '/';
    }
    m_bNameFromArchive = m_strFilePath.empty() || m_strFilePath.back() == '/';
  }
  if (!m_bNameFromArchive && GetFileNameOfPath(m_strFilePath).empty()) {
    // The archive's stored name was unusable and none was typed.
    ShowWarning(m_ui, "The encrypted file does not hold a usable file name.  Please specify the file to create.", 0);
    return false;
  }
  if (m_bPwdRequired) {
    WipeText(m_strPassword);
    m_strPassword = Control("txtPassword").text;
    if (m_strPassword.empty()) {
      ShowWarning(m_ui, "A password is required to decrypt the file.", 0);
      Focus("txtPassword");
      return false;
    }
  }
  {
    const clsParameters record = BuildParameters();
    frmDecrypt job(m_ui, m_library, m_zlib);
    if (job.Initialize(record)) {
      // The file as the job names it (a modern archive's stored name).
      m_strFilePath = job.FilePath();
      if (m_mainView) {
        const auto start = std::chrono::steady_clock::now();
        m_mainView->ShowJob(job);
        JobEnded(kModeDecrypt, job.Result(), m_strEncFilePath, m_strFilePath,
                 FileExists(m_strFilePath) ? platform::FileLength(m_strFilePath) : 0,
                 std::chrono::steady_clock::now() - start);
      }
    }
  }
  ClearPasswords(false);
  WipeText(m_strPassword);
  return true;
}

void frmMain::OKMany(const std::string& i_strMode) {
  const bool encrypt = i_strMode == kModeEncrypt;
  if (encrypt) {
    if (!CheckEncryptAccess()) return;
  } else {
    WipeText(m_strPassword);
    m_strPassword = Control("txtPassword").text;
    if (m_bPwdRequired && m_strPassword.empty()) {
      ShowWarning(m_ui, "A password is required to decrypt the file.", 0);
      Focus("txtPassword");
      return;
    }
  }
  const clsParameters window = BuildParameters();
  const auto start = std::chrono::steady_clock::now();
  std::int64_t bytes = 0;
  BatchJob batch(m_ui, m_library, encrypt ? "Sealvane - Encrypt" : "Sealvane - Decrypt", m_colFiles,
                 [&](UiPort& ui, JobWindow& outer, BatchJob::Item& item) {
                   if (encrypt) {
                     clsParameters record = window;
                     record.m_strFilePath = item.input;
                     record.m_strEncFilePath = DefaultArchivePath(item.input);
                     item.output = record.m_strEncFilePath;
                     frmEncrypt job(ui, m_library, m_zlib);
                     if (!job.Initialize(record)) return BatchJob::kRefused;
                     job.RunAsStepOf(outer);
                     return job.Result();
                   }
                   clsParameters record;
                   if (!DecryptRecord(ui, m_library, item.input, window, record)) return BatchJob::kRefused;
                   frmDecrypt job(ui, m_library, m_zlib);
                   if (!job.Initialize(record)) return BatchJob::kRefused;
                   item.output = job.FilePath();
                   job.RunAsStepOf(outer);
                   return job.Result();
                 });
  if (m_mainView) m_mainView->ShowJob(batch);
  for (const BatchJob::Item& item : batch.Items()) {
    if (item.result != kOk) continue;
    RememberRecent(encrypt ? item.output : item.input, true);
    if (FileExists(item.output)) bytes += platform::FileLength(item.output);
  }
  const std::size_t done = batch.Done();
  const std::size_t all = batch.Items().size();
  char took[32];
  std::snprintf(took, sizeof(took), "%.1f s",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  m_strJobSummary = (encrypt ? "Encrypted " : "Decrypted ") + std::to_string(done) + " of " + std::to_string(all) +
                    " " + batch.Noun() + (done > 0 && encrypt ? ", " + FormatByteCount(bytes, platform::LocaleDecimalSeparator()) : "") +
                    ", " + took + (batch.Result() == kCancelled ? "; cancelled" : "");
  if (m_mainView) m_mainView->JobEnded(m_strJobSummary, done == all);
  // What was done is off the list; what failed stays, to be tried again
  // (one archive left is not read again: it said what is wrong with it).
  std::vector<std::string> left;
  for (const BatchJob::Item& item : batch.Items()) {
    if (item.result != kOk) left.push_back(item.input);
  }
  m_colFiles = left.size() > 1 ? left : std::vector<std::string> {};
  if (left.size() == 1 && encrypt) {
    PrepareEncrypt(left.front());
  } else {
    SetForm(i_strMode);
  }
  // What was not done, and what the jobs had to say about what was (a
  // deletion's report, items of a folder left out), once for all files.
  if (done < all || batch.HasNotes()) {
    const MsgIcon icon = done == all || batch.Result() == kCancelled ? MsgIcon::Information : MsgIcon::Exclamation;
    m_ui.ShowMessageBox(MessageBoxRequest {
        batch.Summary(encrypt ? "Encrypted" : "Decrypted", encrypt ? "Not encrypted:" : "Not decrypted:"),
        encrypt ? "Encrypt" : "Decrypt", icon, MsgButtons::OK, 1, {}});
  }
  ClearPasswords(encrypt);
  WipeText(m_strPassword);
}

bool frmMain::CheckEncryptAccess() {
  WipeText(m_strPassword);
  if (m_bPwdRequired) {
    const std::string& password = Control("txtPassword").text;
    const std::string& confirmation = Control("txtConfirmPassword").text;
    if (password.empty()) {
      ShowWarning(m_ui, "Please enter a password.", 0);
      Focus("txtPassword");
      return false;
    }
    if (CharacterCount(password) < 8) {
      ShowWarning(m_ui, "A password must be at least 8 characters long.", 0);
      // Typed again from the start, as after a mismatch.
      ClearPasswords(true);
      Focus("txtPassword");
      return false;
    }
    if (confirmation.empty()) {
      ShowWarning(m_ui, "Please confirm the password.", 0);
      Focus("txtConfirmPassword");
      return false;
    }
    if (password != confirmation) {
      ShowWarning(m_ui, "The passwords you entered do not match.  Please try again.", 0);
      ClearPasswords(true);
      Focus("txtPassword");
      return false;
    }
    m_strPassword = password;
  } else if (!CheckDefaultDigitalID()) {
    return false;
  }
  if (!ConfirmLegacyCipher()) {
    WipeText(m_strPassword);
    return false;
  }
  return true;
}

bool frmMain::OKEncrypt() {
  if (m_strEncFilePath.empty()) {
    // No archive name: the default one beside the file.
    m_strEncFilePath = DefaultArchivePath(m_strFilePath);
  } else if (IsBareName(m_strEncFilePath)) {
    m_strEncFilePath = ReplaceExtension(BesideFile(m_strFilePath, m_strEncFilePath), ".sva");
  }
  if (!CheckEncryptAccess()) return false;
  {
    const clsParameters record = BuildParameters();
    frmEncrypt job(m_ui, m_library, m_zlib);
    m_oLastDeletion.reset();
    if (job.Initialize(record) && m_mainView) {
      const auto start = std::chrono::steady_clock::now();
      m_mainView->ShowJob(job);
      if (job.Result() == 0) m_oLastDeletion = job.OriginalReport();
      JobEnded(kModeEncrypt, job.Result(), m_strFilePath, m_strEncFilePath,
               FileExists(m_strEncFilePath) ? platform::FileLength(m_strEncFilePath) : 0,
               std::chrono::steady_clock::now() - start);
    }
  }
  ClearPasswords(true);
  WipeText(m_strPassword);
  return true;
}

void frmMain::JobEnded(const std::string& i_strMode, std::int32_t i_nResult, const std::string& i_strFrom,
                       const std::string& i_strInto, std::int64_t i_nBytes, std::chrono::steady_clock::duration i_dTook) {
  const std::string from = GetFileNameOfPath(i_strFrom);
  const std::string into = GetFileNameOfPath(i_strInto);
  const bool encrypt = i_strMode == kModeEncrypt;
  const bool decrypt = i_strMode == kModeDecrypt;
  std::string summary;
  if (i_nResult == kOk) {
    char took[32];
    std::snprintf(took, sizeof(took), "%.1f s", std::chrono::duration<double>(i_dTook).count());
    // A folder has no one size to give.
    const bool folder = decrypt && platform::StatusOf(i_strInto).kind == platform::FileKind::Folder;
    const std::string size = folder ? "" : FormatByteCount(i_nBytes, platform::LocaleDecimalSeparator()) + ", ";
    summary = encrypt   ? "Encrypted " + from + " into " + into + ", " + size + took
              : decrypt ? "Decrypted " + from + " into " + into + ", " + size + took
                        : "Securely deleted " + from + ", " + size + took;
    if (encrypt && m_oLastDeletion) summary += "; the original was securely deleted";
  } else {
    const std::string doing = encrypt ? "Encrypting " : decrypt ? "Decrypting " : "Deleting ";
    summary = doing + from + (i_nResult == kCancelled ? " was cancelled" : " failed");
  }
  m_strJobSummary = summary;
  // The encrypted file just made or opened heads the recent list; a file
  // securely deleted leaves it.
  if (i_nResult == kOk) RememberRecent(encrypt ? i_strInto : i_strFrom, encrypt || decrypt);
  if (m_mainView) m_mainView->JobEnded(summary, i_nResult == kOk);
}

void frmMain::RememberRecent(const std::string& i_strArchive, bool i_bAdd) {
  constexpr std::size_t kKept = 8;
  clsConfig config;
  std::vector<std::string> files = config.GetRecentFiles();
  files.erase(std::remove(files.begin(), files.end(), i_strArchive), files.end());
  if (i_bAdd) files.insert(files.begin(), i_strArchive);
  if (files.size() > kKept) files.resize(kKept);
  config.SetRecentFiles(files);
}

std::vector<std::string> frmMain::RecentFiles() const {
  std::vector<std::string> files;
  for (const std::string& file : clsConfig().GetRecentFiles()) {
    if (FileExists(file)) files.push_back(file);
  }
  return files;
}

void frmMain::mnuFileRecent_Click(const std::string& i_strPath) { FileDropped(i_strPath); }

void frmMain::mnuFileClearRecent_Click() { clsConfig().SetRecentFiles({}); }

bool frmMain::ConfirmLegacyCipher() {
  if (m_eAlg != 1 && m_eAlg != 2) return true;
  const std::string name = m_eAlg == 1 ? "RC2 (40-bit)" : "DES (56-bit)";
  // The other platform's base provider takes no RSA key over 1024 bits: an
  // archive for such a digital ID would not open there.
  std::string large;
  if (!m_bPwdRequired) {
    const auto check = [&](const clsDigitalID& id, const char* store) {
      if (!large.empty()) return;
      const std::uint32_t bits = modern::CertificateKeyBits(store, id.m_varThumbprint);
      if (bits > 1024) large = id.m_strName + " (" + std::to_string(bits) + "-bit key)";
    };
    check(m_oDefaultDigitalID, "MY");
    for (const clsDigitalID& id : m_colOtherDigitalIDs) check(id, "AddressBook");
  }
  if (!large.empty()) {
    const MessageBoxRequest question {"Sealvane on the other platform cannot open an archive made with " + name +
                                          " for the digital ID " + large +
                                          ": its base provider takes no RSA key over 1024 bits." + kCR +
                                          "To exchange this file with it, choose 3DES (168-bit)." + kCR +
                                          "Do you want to encrypt with " + name + " anyway?",
                                      "Encrypt with " + name + "?",
                                      MsgIcon::Exclamation,
                                      MsgButtons::YesNo,
                                      2};
    return m_ui.ShowMessageBox(question) == MsgResult::Yes;
  }
  clsConfig config;
  bool warn = true;
  config.GetWarnWeakCipher(warn);
  if (!warn) return true;
  bool doNotAsk = false;
  MessageBoxRequest question {name + " is a weak cipher: its key can be found by trying every one, and the format it " +
                                  "writes does not detect changes. Use it only to exchange files with Sealvane on the " +
                                  "other platform; AES (256-bit) protects new files." + kCR +
                                  "Do you want to encrypt with " + name + "?",
                              "Weak Cipher",
                              MsgIcon::Exclamation,
                              MsgButtons::YesNo,
                              1};
  question.checkBox = "Do not ask again";
  question.checked = &doNotAsk;
  const MsgResult answer = m_ui.ShowMessageBox(question);
  if (answer == MsgResult::Yes && doNotAsk) config.SetWarnWeakCipher(false);
  return answer == MsgResult::Yes;
}

std::int32_t frmMain::CheckCanDecrypt() {
  if (m_strEncFilePath.empty()) {
    ShowWarning(m_ui, "Please specify an encrypted file.", 0);
    return -1;
  }
  if (!FileExists(m_strEncFilePath)) {
    ShowWarning(m_ui, "The encrypted file does not exist.  Please specify an existing file.", 0);
    return -2;
  }
  clsArchive archive(m_ui, m_library);
  if (archive.OpenArchive(m_strEncFilePath, 0) != 0) {
    ShowError(m_ui, "Failed to open encrypted file.", 0);
    return -3;
  }
  clsParameters record;
  clsFileDesc desc;
  if (archive.ReadParameters(record, desc) != 0) {
    archive.CloseArchive();
    ShowError(m_ui, "Failed to open encrypted file - invalid format.", 0);
    return -4;
  }
  std::int32_t index = -1;
  ByteArray thumbprint;
  if (!record.m_bPwdRequired && !archive.FindThisUserInCertStore(record, index, thumbprint)) {
    archive.CloseArchive();
    ShowWarning(m_ui, std::string("Your digital ID is not in the access list.") + kCR + "This file cannot be decrypted.",
                0);
    return -5;
  }
  archive.CloseArchive();
  return 0;
}

}  // namespace sealvane::forms
