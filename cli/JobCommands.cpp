// SPDX-License-Identifier: GPL-3.0-or-later
// `encrypt`, `decrypt`, `shred` and `info`: the engine's jobs on a terminal,
// with the checks the desktop program makes before it starts them.
#include "JobCommands.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "TerminalUi.h"
#include "Text.h"
#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/frmSecureDelete.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/Pinentry.h"
#include "sealvane/platform/Process.h"
#include "sealvane/platform/RuntimeError.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::cli {

const char* const kJobUsage =
    "  encrypt FILE [-o ARCHIVE] [--password-file F | --password-stdin] [--recipient THUMBPRINT]...\n"
    "          [--cipher 1..5] [--compress | --no-compress] [--open-after | --no-open-after] [--yes]\n"
    "                                      encrypt FILE for a password, or for your default digital ID\n"
    "                                      and the recipients from AddressBook\n"
    "  decrypt ARCHIVE [-o FILE] [--password-file F | --password-stdin] [--open-after | --no-open-after]\n"
    "          [--yes]                     decrypt next to the archive under the stored name\n"
    "  shred FILE [--yes] [--shred-hard-links]\n"
    "                                      overwrite FILE with random bytes and delete it; a file with\n"
    "                                      other names (hard links) is destroyed for them too only\n"
    "                                      when --shred-hard-links is given or answered at the prompt\n"
    "  info ARCHIVE [--json]               show an archive's header, access list and file description\n";

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Options {
  std::vector<std::string> positional;
  std::optional<std::string> output, passwordFile;
  std::vector<std::string> recipients;
  std::optional<int> cipher;
  std::optional<bool> compress, openAfter;
  bool passwordStdin = false, yes = false, json = false, shredHardLinks = false;
};

std::optional<Options> Parse(const std::vector<std::string>& args, std::ostream& err) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool takesValue = a == "-o" || a == "--output" || a == "--password-file" || a == "--recipient" || a == "--cipher";
    if (takesValue && i + 1 >= args.size()) {
      err << "sealvane-cli: " << a << " needs a value\nUsage:\n" << kJobUsage;
      return std::nullopt;
    }
    if (a == "-o" || a == "--output") {
      o.output = args[++i];
    } else if (a == "--password-file") {
      o.passwordFile = args[++i];
    } else if (a == "--password-stdin") {
      o.passwordStdin = true;
    } else if (a == "--recipient") {
      o.recipients.push_back(args[++i]);
    } else if (a == "--cipher") {
      const std::string& v = args[++i];
      if (v.size() != 1 || v[0] < '1' || v[0] > '5') {
        err << "sealvane-cli: --cipher takes a number from 1 to 5\n";
        return std::nullopt;
      }
      o.cipher = v[0] - '0';
    } else if (a == "--compress" || a == "--no-compress") {
      o.compress = a == "--compress";
    } else if (a == "--open-after" || a == "--no-open-after") {
      o.openAfter = a == "--open-after";
    } else if (a == "--yes" || a == "-y") {
      o.yes = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--shred-hard-links") {
      o.shredHardLinks = true;
    } else if (a.size() > 1 && a[0] == '-') {
      err << "sealvane-cli: unknown option \"" << a << "\"\nUsage:\n" << kJobUsage;
      return std::nullopt;
    } else {
      o.positional.push_back(a);
    }
  }
  if (o.passwordFile && o.passwordStdin) {
    err << "sealvane-cli: give --password-file or --password-stdin, not both\n";
    return std::nullopt;
  }
  return o;
}

// The password from a file, from standard input, or asked for; empty when
// none was given.
std::optional<platform::Passphrase> Password(const Options& o) {
  std::string line;
  if (o.passwordFile) {
    std::ifstream in(*o.passwordFile, std::ios::binary);
    if (!in) return std::nullopt;
    std::getline(in, line);
  } else if (o.passwordStdin) {
    std::getline(std::cin, line);
  } else {
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return platform::Passphrase(std::move(line));
}

std::size_t CharacterCount(const std::string& utf8) {
  std::size_t n = 0;
  for (const char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// Fills a digital ID from the store that holds it; false after showing why.
bool LoadDigitalID(UiPort& ui, const char* store, const ByteArray& thumbprint, clsDigitalID& id) {
  CertRecord record {};
  std::copy(thumbprint.begin(), thumbprint.end(), record.Thumbprint);
  char message[SL_MESSAGE_SIZE] = {};
  if (CipherLibrary::Default().SLFindCert(store, record.Thumbprint, &record, message) == 0) {
    ShowError(ui, CutAtNull(std::string(message, sizeof(message))), 0);
    return false;
  }
  CopyRecordToDigitalID(record, id);
  return true;
}

// Runs a prepared job window on the terminal, Ctrl-C pressing Cancel.
template <typename Job>
void RunJob(Job& job, TerminalUi& ui) {
  ui.onCancel = [&job] { job.Cancel(); };
  platform::CatchInterrupts();
  job.Run();
  ui.EndProgress();
}

int Encrypt(const Options& o, TerminalUi& ui, std::ostream& out) {
  if (o.positional.size() != 1) {
    std::cerr << "sealvane-cli: encrypt needs one FILE\nUsage:\n" << kJobUsage;
    return kExitUsage;
  }
  clsConfig config;
  clsParameters params;
  params.m_strFilePath = o.positional[0];
  params.m_strEncFilePath = o.output ? *o.output : ReplaceExtension(params.m_strFilePath, ".sva");
  std::int32_t cipher = 2;
  config.GetAlgorithm(cipher);
  if (o.cipher) cipher = *o.cipher;
  bool compress = true, openAfter = true;
  config.GetAlwaysCompress(compress);
  config.GetAlwaysOpen(openAfter);
  params.m_eAlg = cipher;
  params.m_eCSP = cipher > 2 ? 3 : 1;
  params.m_bCompressFile = o.compress.value_or(compress);
  params.m_bOpenFile = o.openAfter.value_or(openAfter);
  if (!params.m_strEncFilePath.empty() && platform::SameFile(params.m_strEncFilePath, params.m_strFilePath)) {
    ShowWarning(ui, std::string("The file and the encrypted file are the same.") + kCR + "Please choose another file.", 0);
    return kExitFailure;
  }
  const bool passwordMode = o.passwordFile || o.passwordStdin;
  if (passwordMode) {
    auto password = Password(o);
    if (!password || password->Text().empty()) {
      ShowWarning(ui, "Please enter a password.", 0);
      return kExitFailure;
    }
    if (CharacterCount(password->Text()) < 8) {
      ShowWarning(ui, "A password must be at least 8 characters long.", 0);
      return kExitFailure;
    }
    params.m_bPwdRequired = true;
    params.m_strPassword = password->Text();
  } else {
    ByteArray own;
    if (config.GetDefaultCertTP(own) != 0) {
      ShowWarning(ui,
                  std::string("There is no default digital ID.") + kCR +
                      "You must generate or select your own default digital ID first." + kCR +
                      "On the Tools menu choose either Generate Digital ID or Options.",
                  0);
      return kExitFailure;
    }
    if (own.size() != 20 || !LoadDigitalID(ui, "MY", own, params.m_oDefaultDigitalID)) return kExitFailure;
    for (const std::string& text : o.recipients) {
      const auto thumbprint = ParseThumbprint(text);
      if (!thumbprint) {
        std::cerr << "sealvane-cli: a THUMBPRINT is 40 hexadecimal digits: \"" << text << "\"\n";
        return kExitUsage;
      }
      clsDigitalID recipient;
      if (!LoadDigitalID(ui, "AddressBook", *thumbprint, recipient)) return kExitFailure;
      params.m_colOtherDigitalIDs.push_back(recipient);
    }
  }
  // The strong ciphers need the enhanced provider.
  std::int32_t level = 0;
  char message[SL_MESSAGE_SIZE] = {};
  try {
    CipherLibrary::Default().SLGetCSP(&level, message);
  } catch (const platform::RuntimeError& e) {
    ShowRuntimeError(ui, "Failed to encrypt file.", e);
    return kExitFailure;
  }
  if (params.m_eCSP > level) {
    ShowWarning(ui, "Cipher " + std::to_string(cipher) + " needs the enhanced provider, which this computer does not offer.", 0);
    return kExitFailure;
  }
  frmEncrypt job(ui);
  if (!job.Initialize(params)) return kExitFailure;
  RunJob(job, ui);
  if (job.Result() != 0) return kExitFailure;
  out << "Encrypted " << params.m_strFilePath << " into " << params.m_strEncFilePath << ".\n";
  return 0;
}

int Decrypt(const Options& o, TerminalUi& ui, std::ostream& out) {
  if (o.positional.size() != 1) {
    std::cerr << "sealvane-cli: decrypt needs one ARCHIVE\nUsage:\n" << kJobUsage;
    return kExitUsage;
  }
  const std::string& archivePath = o.positional[0];
  if (!FileExists(archivePath)) {
    ShowWarning(ui, "The encrypted file does not exist.  Please specify an existing file.", 0);
    return kExitFailure;
  }
  clsParameters params;
  clsFileDesc desc;
  {
    clsArchive archive(ui);
    if (archive.OpenArchive(archivePath, 0) != 0) {
      ShowError(ui, "Failed to open encrypted file.", 0);
      return kExitFailure;
    }
    if (archive.ReadParameters(params, desc) != 0) {
      ShowError(ui, "Failed to open encrypted file - invalid format.", 0);
      return kExitFailure;
    }
    std::int32_t index = -1;
    ByteArray thumbprint;
    if (!params.m_bPwdRequired && !archive.FindThisUserInCertStore(params, index, thumbprint)) {
      ShowWarning(ui, std::string("Your digital ID is not in the access list.") + kCR + "This file cannot be decrypted.", 0);
      return kExitFailure;
    }
  }
  params.m_strEncFilePath = archivePath;
  if (o.output) {
    params.m_strFilePath = *o.output;
  } else {
    // The stored name comes from the archive: only its last component is
    // used, so nothing is ever written outside the archive's folder.
    const auto name = SafeStoredFileName(desc.m_strFileName);
    if (!name) {
      ShowError(ui, "The encrypted file does not hold a usable file name.  Please specify the file to create.", 0);
      return kExitFailure;
    }
    const std::string folder = GetFolderOfPath(archivePath, false);
    params.m_strFilePath = archivePath.find('/') == std::string::npos ? *name : folder + "/" + *name;
  }
  if (params.m_bPwdRequired) {
    std::optional<platform::Passphrase> password = Password(o);
    if (!password && platform::StdinIsTerminal()) {
      password = platform::PinentryGetPin("Sealvane", "Enter the password of " + archivePath + ".", "Password:", false);
    }
    if (!password || password->Text().empty()) {
      ShowWarning(ui, "A password is required to decrypt the file.", 0);
      return kExitFailure;
    }
    params.m_strPassword = password->Text();
  }
  // The archive's wish to be opened afterwards gives way to the user's.
  if (o.openAfter) params.m_bOpenFile = *o.openAfter;
  frmDecrypt job(ui);
  if (!job.Initialize(params)) return kExitFailure;
  RunJob(job, ui);
  if (job.Result() != 0) return kExitFailure;
  out << "Decrypted " << archivePath << " into " << params.m_strFilePath << ".\n";
  return 0;
}

int Shred(const Options& o, TerminalUi& ui, std::ostream& out) {
  if (o.positional.size() != 1) {
    std::cerr << "sealvane-cli: shred needs one FILE\nUsage:\n" << kJobUsage;
    return kExitUsage;
  }
  frmSecureDelete job(ui);
  if (!job.Initialize(o.positional[0])) return kExitFailure;
  RunJob(job, ui);
  if (job.Result() != 0) return kExitFailure;
  out << "Deleted " << o.positional[0] << ".\n";
  return 0;
}

std::string Iso(const ByteArray& fileTime) { return FileTimeText(BytesToFileTime(fileTime)); }

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (b < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof(buf), "\\u%04x", b);
      out += buf;
    } else {
      out.push_back(c);
    }
  }
  return out + "\"";
}

int Info(const Options& o, TerminalUi& ui, std::ostream& out) {
  if (o.positional.size() != 1) {
    std::cerr << "sealvane-cli: info needs one ARCHIVE\nUsage:\n" << kJobUsage;
    return kExitUsage;
  }
  clsArchive archive(ui);
  if (archive.OpenArchive(o.positional[0], 0) != 0) {
    ShowError(ui, "Failed to open encrypted file.", 0);
    return kExitFailure;
  }
  clsParameters p;
  clsFileDesc d;
  if (const std::int32_t rc = archive.ReadParameters(p, d); rc != 0) {
    ShowError(ui, "Failed to open encrypted file - invalid format.", rc);
    return kExitFailure;
  }
  std::vector<const clsDigitalID*> access;
  if (!p.m_bPwdRequired) {
    access.push_back(&p.m_oDefaultDigitalID);
    for (const auto& e : p.m_colOtherDigitalIDs) access.push_back(&e);
  }
  if (o.json) {
    out << "{\"version\": " << archive.Version() << ", \"provider_level\": " << p.m_eCSP << ", \"cipher\": " << p.m_eAlg
        << ", \"compressed\": " << (p.m_bCompressFile ? "true" : "false")
        << ", \"open_after\": " << (p.m_bOpenFile ? "true" : "false")
        << ", \"signed\": " << (p.m_bSigned ? "true" : "false")
        << ", \"password_mode\": " << (p.m_bPwdRequired ? "true" : "false") << ", \"access\": [";
    for (std::size_t i = 0; i < access.size(); ++i) {
      out << (i ? ", " : "") << "{\"name\": " << Json(access[i]->m_strName) << ", \"email\": "
          << Json(access[i]->m_strEMailAddr) << ", \"thumbprint\": \"" << Hex(access[i]->m_varThumbprint) << "\"}";
    }
    out << "], \"file\": {\"name\": " << Json(d.m_strFileName) << ", \"created\": " << Json(Iso(d.m_varCreateTime))
        << ", \"modified\": " << Json(Iso(d.m_varModifyTime)) << ", \"attributes\": " << d.m_nAttributes
        << ", \"size\": " << d.m_nFileSize << ", \"compressed_size\": " << d.m_nCompFileSize
        << "}, \"stream_offset\": " << archive.StreamOffset() << "}\n";
    return 0;
  }
  static const char* const kCiphers[] = {"", "RC2 (40-bit)", "DES (56-bit)", "RC2 (64-bit)", "RC2 (128-bit)",
                                         "3DES (168-bit)"};
  out << "Archive:        " << EscapeForTerminal(o.positional[0]) << "\n"
      << "Format version: " << archive.Version() << "\n"
      << "Provider level: " << p.m_eCSP << (p.m_eCSP == 3 ? " (enhanced)" : " (base)") << "\n"
      << "Cipher:         " << p.m_eAlg << " " << kCiphers[p.m_eAlg] << "\n"
      << "Compressed:     " << (p.m_bCompressFile ? "yes" : "no") << "\n"
      << "Open after:     " << (p.m_bOpenFile ? "yes" : "no") << "\n"
      << "Access:         " << (p.m_bPwdRequired ? "password" : "digital IDs") << "\n";
  // Stored texts come from whoever made the archive: printed escaped.
  for (const clsDigitalID* e : access) {
    out << "  " << EscapeForTerminal(e->m_strName)
        << (e->m_strEMailAddr.empty() ? "" : " <" + EscapeForTerminal(e->m_strEMailAddr) + ">") << "  "
        << Hex(e->m_varThumbprint) << "\n";
  }
  out << "File:           " << EscapeForTerminal(d.m_strFileName) << "\n"
      << "Size:           " << d.m_nFileSize << " bytes" << (p.m_bCompressFile ? " (" + std::to_string(d.m_nCompFileSize) + " compressed)" : "") << "\n"
      << "Created:        " << Iso(d.m_varCreateTime) << "\n"
      << "Modified:       " << Iso(d.m_varModifyTime) << "\n"
      << "Attributes:     " << d.m_nAttributes << "\n";
  return 0;
}

}  // namespace

int RunJobCommand(const std::string& verb, const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
  const auto options = Parse(args, err);
  if (!options) return kExitUsage;
  std::vector<std::string> answered;
  if (options->shredHardLinks) answered.emplace_back(kTopicSharedData);
  TerminalUi ui(in, err, options->yes, answered);
  if (verb == "encrypt") return Encrypt(*options, ui, out);
  if (verb == "decrypt") return Decrypt(*options, ui, out);
  if (verb == "shred") return Shred(*options, ui, out);
  if (verb == "info") return Info(*options, ui, out);
  return kExitUsage;
}

}  // namespace sealvane::cli
