// SPDX-License-Identifier: GPL-3.0-or-later
// `encrypt`, `decrypt`, `shred` and `info`: the engine's jobs on a terminal.
// The jobs go through the main window's own logic (its fields filled, OK
// pressed), so both front ends check their input the same way.
#include "JobCommands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "Help.h"
#include "TerminalUi.h"
#include "Text.h"
#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/Password.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/frmMain.h"
#include "sealvane/platform/CodePage.h"
#include "sealvane/platform/Pinentry.h"
#include "sealvane/platform/Process.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::cli {


namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130;  // as a shell reports a program ended by Ctrl-C

struct Options {
  std::vector<std::string> positional;
  std::optional<std::string> output, passwordFile;
  std::vector<std::string> recipients;
  std::vector<std::int32_t> codePages;
  std::optional<int> cipher;
  std::optional<std::int32_t> mode;
  std::optional<bool> compress, openAfter, shredOriginal;
  bool passwordStdin = false, yes = false, json = false, shredHardLinks = false, quiet = false;
};

std::optional<Options> Parse(const std::string& verb, const std::vector<std::string>& args, std::ostream& err) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") {
      // The rest are names, even when they start with a dash.
      o.positional.insert(o.positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    const bool takesValue = a == "-o" || a == "--output" || a == "--password-file" || a == "--recipient" ||
                            a == "--cipher" || a == "--password-codepage" || a == "--mode";
    if (takesValue && i + 1 >= args.size()) {
      err << "sealvane-cli: " << a << " needs a value\n";
      PrintUsageLine(err, *FindCommand(verb));
      return std::nullopt;
    }
    if (a == "-o" || a == "--output") {
      // On a terminal a relative name is relative to the current folder, as
      // for every other program (the window's rule, a bare name beside the
      // file, is for the window).
      std::error_code ec;
      const std::filesystem::path given = args[++i];
      const std::filesystem::path absolute = given.empty() ? given : std::filesystem::absolute(given, ec);
      o.output = ec ? args[i] : absolute.string();
    } else if (a == "--password-file") {
      o.passwordFile = args[++i];
    } else if (a == "--password-stdin") {
      o.passwordStdin = true;
    } else if (a == "--recipient") {
      o.recipients.push_back(args[++i]);
    } else if (a == "--cipher") {
      const std::string& v = args[++i];
      if (v == "aes" || v == "AES") {
        o.cipher = kCipherAes256;
      } else if (v.size() == 1 && v[0] >= '1' && v[0] <= '6') {
        o.cipher = v[0] - '0';
      } else {
        err << "sealvane-cli: --cipher takes a number from 1 to 6, or aes\n";
        return std::nullopt;
      }
    } else if (a == "--mode") {
      const std::string& v = args[++i];
      char* end = nullptr;
      const long mode = std::strtol(v.c_str(), &end, 8);
      if (v.empty() || *end != '\0' || mode < 0 || mode > 0777) {
        err << "sealvane-cli: --mode takes permission bits in octal, such as 640\n";
        return std::nullopt;
      }
      o.mode = static_cast<std::int32_t>(mode);
    } else if (a == "--password-codepage") {
      const auto pages = ParseCodePages(args[++i]);
      if (pages.size() != 1 || !platform::Utf8ToWindowsCodePage("A", pages[0])) {
        err << "sealvane-cli: --password-codepage takes a Windows code page number such as 1250 or 1251\n";
        return std::nullopt;
      }
      o.codePages.push_back(pages[0]);
    } else if (a == "--compress" || a == "--no-compress") {
      o.compress = a == "--compress";
    } else if (a == "--open-after" || a == "--no-open-after") {
      o.openAfter = a == "--open-after";
    } else if (verb == "encrypt" && (a == "--shred-original" || a == "--no-shred-original")) {
      o.shredOriginal = a == "--shred-original";
    } else if (a == "--yes" || a == "-y") {
      o.yes = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a == "--shred-hard-links") {
      o.shredHardLinks = true;
    } else if (a.size() > 1 && a[0] == '-') {
      err << "sealvane-cli: unknown option \"" << a << "\"\n";
      PrintUsageLine(err, *FindCommand(verb));
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
// The password from --password-file or --password-stdin (asked without
// echo when standard input is a terminal, twice for a new archive). Empty,
// after saying why, when it could not be read; empty too without either
// option.
std::optional<platform::Passphrase> Password(const Options& o, bool encrypting) {
  std::string line;
  if (o.passwordFile) {
    std::ifstream in(*o.passwordFile, std::ios::binary);
    if (!in) {
      std::cerr << "sealvane-cli: the password file " << *o.passwordFile
                << " cannot be read: " << std::strerror(errno) << "\n";
      return std::nullopt;
    }
    std::getline(in, line);
  } else if (o.passwordStdin && platform::StdinIsTerminal()) {
    std::string problem;
    auto typed = platform::AskOnTerminal("Password: ", encrypting, &problem);
    if (!typed) std::cerr << "sealvane-cli: no password: " << problem << "\n";
    return typed;
  } else if (o.passwordStdin) {
    std::getline(std::cin, line);
  } else {
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return platform::Passphrase(std::move(line));
}

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

// What a secure delete achieved, as data. A symbolic link has no report:
// the link went, and nothing was overwritten.
std::string DeletionJson(const std::string& path, const std::optional<DeletionReport>& report) {
  std::ostringstream out;
  out << "{\"file\": " << Json(path) << ", \"deleted\": true";
  if (report) {
    out << ", \"overwritten\": true, \"filesystem\": " << Json(report->fileSystem) << ", \"in_place\": \"" << InPlaceName(report->inPlace)
        << "\", \"filesystem_in_place\": \"" << InPlaceName(report->fileSystemInPlace)
        << "\", \"device\": " << Json(report->device) << ", \"other_names\": " << report->otherNames
        << ", \"reasons\": [";
    for (std::size_t i = 0; i < report->reasons.size(); ++i) out << (i ? ", " : "") << Json(report->reasons[i]);
    out << "]";
  } else {
    out << ", \"overwritten\": false";
  }
  out << "}";
  return out.str();
}

// Fills a digital ID from the store that holds it; false after showing why.
bool LoadDigitalID(UiPort& ui, const char* store, const ByteArray& thumbprint, clsDigitalID& id) {
  CertRecord record {};
  std::copy(thumbprint.begin(), thumbprint.end(), record.Thumbprint);
  char message[SL_MESSAGE_SIZE] = {};
  if (CipherLibrary::Default().SLFindCert(store, record.Thumbprint, &record, message) == 0) {
    ShowError(ui, CutAtNull(std::string(message, sizeof(message))), 0);
    std::cerr << "sealvane-cli: no certificate with thumbprint " << Hex(thumbprint) << " in " << store
              << " (see sealvane-cli certs list " << store << ")\n";
    return false;
  }
  CopyRecordToDigitalID(record, id);
  return true;
}

// The main window's logic on a terminal: no window to draw, no file dialog;
// a job runs at once, Ctrl-C pressing Cancel.
class TerminalView : public forms::frmMainView {
 public:
  explicit TerminalView(TerminalUi& ui) : m_ui(ui) {}
  void Refresh() override {}
  void SetFocus(const std::string&) override {}
  void Close() override {}
  std::optional<std::string> BrowseForFile(const forms::BrowseRequest&) override { return std::nullopt; }
  void ShowJob(JobWindow& job) override {
    m_ui.onCancel = [&job] { job.Cancel(); };
    platform::CatchInterrupts();
    job.Run();
    m_ui.EndProgress();
    m_ui.onCancel = nullptr;
    ran = true;
    result = job.Result();
  }
  void ShowSelectDigitalID(forms::frmSelectDigitalID& dialog) override { dialog.btnCancel_Click(); }
  void ShowOptions(forms::frmOptions& dialog) override { dialog.btnCancel_Click(); }
  void ShowGenDigitalID(forms::frmGenDigitalID& dialog) override { dialog.btnCancel_Click(); }
  void ShowAbout(forms::frmAbout& dialog) override { dialog.btnOK_Click(); }
  std::int32_t LaunchCertificateManager() override { return 0; }
  std::uintptr_t ShowHelp(const std::string&, const std::string&) override { return 0; }
  bool HelpWindowExists(std::uintptr_t) override { return false; }
  void CloseHelpWindow(std::uintptr_t) override {}

  bool ran = false;
  std::int32_t result = 0;

 private:
  TerminalUi& m_ui;
};

// The main window's logic, loaded and active, with a mode prepared for a
// file. False when preparing it already failed (the reason was shown).
class TerminalForm {
 public:
  explicit TerminalForm(TerminalUi& ui) : m_ui(ui), form(ui), view(ui) { form.AttachView(&view); }

  template <typename Prepare>
  bool Start(Prepare prepare) {
    if (!form.Load()) return false;
    form.Activate();
    const int before = m_ui.BoxesShown();
    prepare(form);
    return m_ui.BoxesShown() == before;
  }
  // OK; the exit status: 0 when the job ran and succeeded, 130 when it was
  // cancelled, else 1.
  int Ok() {
    form.btnOK_Click();
    if (!view.ran) {
      // What the window's words leave unsaid on a terminal.
      if (m_ui.LastDeclined()) {
        std::cerr << "sealvane-cli: nothing was done.\n";
        return kExitFailure;
      }
      for (const char* box : {"txtFile", "txtEncFile"}) {
        // A folder is encrypted whole; any other folder is a mistake.
        if (box == std::string("txtFile") && form.GetCurrentMode() == forms::kModeEncrypt) continue;
        const std::string& path = form.Control(box).text;
        std::error_code ec;
        if (!path.empty() && std::filesystem::is_directory(path, ec)) {
          std::cerr << "sealvane-cli: " << path << " is a folder, not a file.\n";
          break;
        }
      }
      return kExitFailure;
    }
    return view.result == 0 ? 0 : view.result == kCancelled ? kExitCancelled : kExitFailure;
  }

 private:
  TerminalUi& m_ui;

 public:
  forms::frmMain form;
  TerminalView view;
};

// One input of a command that may take several. `output`: the -o of one
// input, or for several the folder the results go to.
struct Input {
  const std::string& path;
  const std::optional<std::string>& output;
  bool intoFolder = false;
};

int EncryptOne(const Options& o, TerminalUi& ui, std::ostream& out, const Input& input,
               const std::optional<platform::Passphrase>& password) {
  // The fields of the main window in Encrypt mode, as a user fills them.
  TerminalForm t(ui);
  if (!t.Start([&](forms::frmMain& form) { form.PrepareEncrypt(input.path); })) return kExitFailure;
  forms::frmMain& form = t.form;
  if (o.cipher) {
    const int index = forms::AlgorithmIndexIn(form.Control("cmbAlgorithm"), *o.cipher);
    if (index < 0) {
      ShowWarning(ui, "Cipher " + std::to_string(*o.cipher) +
                          " needs the enhanced provider, which this computer does not offer.",
                  0);
      return kExitFailure;
    }
    form.cmbAlgorithm_Click(index);
  }
  if (o.compress) form.chkCompressFile_Click(*o.compress ? 1 : 0);
  if (o.openAfter) form.chkOpenFile_Click(*o.openAfter ? 1 : 0);
  if (o.shredOriginal) form.chkDeleteOriginal_Click(*o.shredOriginal ? 1 : 0);
  if (password) {
    form.optAccess_Click(1);
    const std::string text = password->Text();
    form.TextChanged("txtPassword", text);
    form.TextChanged("txtConfirmPassword", text);
  } else {
    form.optAccess_Click(0);
    if (!o.recipients.empty()) {
      std::vector<clsDigitalID> others;
      for (const std::string& text : o.recipients) {
        const auto thumbprint = ParseThumbprint(text);
        if (!thumbprint) {
          std::cerr << "sealvane-cli: a THUMBPRINT is 40 hexadecimal digits: \"" << text << "\"\n";
          return kExitUsage;
        }
        // A recipient named twice is stored once.
        if (std::any_of(others.begin(), others.end(),
                        [&](const clsDigitalID& id) { return SameBytes(id.m_varThumbprint, *thumbprint); }))
          continue;
        clsDigitalID recipient;
        if (!LoadDigitalID(ui, "AddressBook", *thumbprint, recipient)) return kExitFailure;
        others.push_back(recipient);
      }
      form.SetOtherDigitalIDs(std::move(others));
    }
  }
  if (input.intoFolder) {
    form.TextChanged("txtEncFile", *input.output + "/" + GetFileNameOfPath(DefaultArchivePath(input.path)));
  } else if (input.output) {
    form.TextChanged("txtEncFile", *input.output);
  }
  if (const int status = t.Ok(); status != 0) return status;
  const clsParameters done = form.Parameters();
  if (o.json) {
    out << "{\"file\": " << Json(done.m_strFilePath) << ", \"archive\": " << Json(done.m_strEncFilePath);
    if (done.m_bDeleteOriginal) out << ", \"original\": " << DeletionJson(done.m_strFilePath, form.LastDeletion());
    out << "}\n";
  } else {
    out << "Encrypted " << EscapeForTerminal(done.m_strFilePath) << " into " << EscapeForTerminal(done.m_strEncFilePath)
        << (done.m_bDeleteOriginal ? ", checked it, and securely deleted the original" : "") << ".\n";
  }
  return 0;
}

int DecryptOne(const Options& o, TerminalUi& ui, std::ostream& out, const Input& input,
               std::optional<platform::Passphrase>& given) {
  const std::string& archivePath = input.path;
  TerminalForm t(ui);
  if (!t.Start([&](forms::frmMain& form) { form.PrepareDecrypt(archivePath); })) return kExitFailure;
  forms::frmMain& form = t.form;
  if (input.intoFolder) {
    // Into the folder, under the name the archive gives (or stores).
    const std::string proposed = GetFileNameOfPath(form.Control("txtFile").text);
    form.TextChanged("txtFile", *input.output + "/" + proposed);
  } else if (input.output) {
    form.TextChanged("txtFile", *input.output);
  }
  form.SetPasswordCodePages(o.codePages);
  if (o.mode) form.SetFileMode(*o.mode);
  // The archive's wish to be opened afterwards gives way to the user's.
  if (o.openAfter) form.chkOpenFile_Click(*o.openAfter ? 1 : 0);
  if (form.Control("optAccess(1)").value == 1) {
    // A password given once serves every archive that needs one.
    if (!given && (o.passwordFile || o.passwordStdin)) {
      given = Password(o, false);
      if (!given) return kExitFailure;
    }
    std::optional<platform::Passphrase> password;
    if (given) password.emplace(std::string(given->Text()));
    if (!password && platform::StdinIsTerminal()) {
      // Asked through pinentry (on this terminal, or in a window on a
      // desktop), or here when no pinentry can ask.
      platform::PinentryOutcome outcome = platform::PinentryOutcome::Unavailable;
      password = platform::PinentryGetPin("Sealvane", "Enter the password of " + archivePath + ".", "Password:", false,
                                          &outcome);
      if (outcome == platform::PinentryOutcome::Unavailable) {
        password = platform::AskOnTerminal("Password for " + archivePath + ": ", false);
      }
    }
    if (password) form.TextChanged("txtPassword", password->Text());
  }
  if (const int status = t.Ok(); status != 0) return status;
  const std::string written = form.Parameters().m_strFilePath;
  if (o.json) {
    // What a script needs to know: where the file went, its size and time.
    std::error_code ec;
    const auto size = std::filesystem::file_size(written, ec);
    std::int64_t created = 0, modified = 0;
    GetFileTimes(written, created, modified);
    out << "{\"archive\": " << Json(archivePath) << ", \"file\": " << Json(written)
        << ", \"size\": " << (ec ? 0 : size) << ", \"modified\": " << Json(FileTimeText(modified))
        << (std::filesystem::is_directory(written, ec) ? ", \"folder\": true" : "") << "}\n";
  } else {
    out << "Decrypted " << EscapeForTerminal(archivePath) << " into " << EscapeForTerminal(written) << ".\n";
  }
  return 0;
}

int ShredOne(const Options& o, TerminalUi& ui, std::ostream& out, const Input& input) {
  TerminalForm t(ui);
  if (!t.Start([&](forms::frmMain& form) { form.PrepareSecureDelete(input.path); })) return kExitFailure;
  if (const int status = t.Ok(); status != 0) return status;
  if (o.json) {
    out << DeletionJson(input.path, t.form.LastDeletion()) << "\n";
  } else {
    out << "Deleted " << EscapeForTerminal(input.path) << ".\n";
  }
  return 0;
}

// Runs `one` on each input with the same settings: one failure never stops
// the others, Ctrl-C stops them all (the current one cleaned up). With
// several inputs -o names the folder the results go to. The exit status:
// 0 when all were done, 130 when cancelled, else 1, the failures named.
int ForEachInput(const Options& o, const std::string& verb, std::ostream& out,
                 const std::function<int(const Input&)>& one) {
  const char* what = verb == "decrypt" ? "ARCHIVE" : "FILE";
  if (o.positional.empty()) {
    std::cerr << "sealvane-cli: " << verb << " needs a " << what << "\n";
    PrintUsageLine(std::cerr, *FindCommand(verb));
    return kExitUsage;
  }
  if (o.positional.size() == 1) return one(Input {o.positional[0], o.output, false});
  if (verb == "shred" && o.output) {
    std::cerr << "sealvane-cli: shred writes nothing; -o has no use\n";
    return kExitUsage;
  }
  if (o.output) {
    std::error_code ec;
    std::filesystem::create_directories(*o.output, ec);
    if (!std::filesystem::is_directory(*o.output, ec)) {
      std::cerr << "sealvane-cli: with several " << what << "s, -o names a folder; " << EscapeForTerminal(*o.output)
                << " is not one and cannot be made\n";
      return kExitUsage;
    }
  }
  std::vector<std::string> failed;
  for (const std::string& path : o.positional) {
    const int status = one(Input {path, o.output, o.output.has_value()});
    if (status == kExitCancelled) {
      std::cerr << "sealvane-cli: cancelled at " << EscapeForTerminal(path) << "; the ones after it were not begun.\n";
      return kExitCancelled;
    }
    if (status != 0) {
      failed.push_back(path);
      if (o.json) out << "{" << (verb == "decrypt" ? "\"archive\": " : "\"file\": ") << Json(path) << ", \"failed\": true}\n";
    }
  }
  if (failed.empty()) return 0;
  std::cerr << "sealvane-cli: " << failed.size() << " of " << o.positional.size() << " failed:";
  for (const std::string& path : failed) std::cerr << " " << EscapeForTerminal(path);
  std::cerr << "\n";
  return kExitFailure;
}

int Encrypt(const Options& o, TerminalUi& ui, std::ostream& out) {
  if ((o.passwordFile || o.passwordStdin) && !o.recipients.empty()) {
    std::cerr << "sealvane-cli: --recipient is for an archive for digital IDs; an archive for a password has none\n";
    PrintUsageLine(std::cerr, *FindCommand("encrypt"));
    return kExitUsage;
  }
  // The password is read once, for every file.
  std::optional<platform::Passphrase> password;
  if (!o.positional.empty() && (o.passwordFile || o.passwordStdin)) {
    password = Password(o, true);
    if (!password) return kExitFailure;
  }
  return ForEachInput(o, "encrypt", out, [&](const Input& input) { return EncryptOne(o, ui, out, input, password); });
}

int Decrypt(const Options& o, TerminalUi& ui, std::ostream& out) {
  std::optional<platform::Passphrase> password;  // read when the first archive needs it
  return ForEachInput(o, "decrypt", out, [&](const Input& input) { return DecryptOne(o, ui, out, input, password); });
}

int Shred(const Options& o, TerminalUi& ui, std::ostream& out) {
  return ForEachInput(o, "shred", out, [&](const Input& input) { return ShredOne(o, ui, out, input); });
}

std::string Iso(const ByteArray& fileTime) { return FileTimeText(BytesToFileTime(fileTime)); }

int Info(const Options& o, TerminalUi& ui, std::ostream& out) {
  if (o.positional.size() != 1) {
    std::cerr << "sealvane-cli: info needs one ARCHIVE\n";
    PrintUsageLine(std::cerr, *FindCommand("info"));
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
  const bool sealed = d.m_bSealed;
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
    out << "]";
    // A modern archive's description is sealed: nothing of the file is known.
    if (sealed) {
      out << ", \"file\": null";
    } else {
      out << ", \"file\": {\"name\": " << Json(d.m_strFileName) << ", \"created\": " << Json(Iso(d.m_varCreateTime))
          << ", \"modified\": " << Json(Iso(d.m_varModifyTime)) << ", \"attributes\": " << d.m_nAttributes
          << ", \"size\": " << d.m_nFileSize << ", \"compressed_size\": " << d.m_nCompFileSize << "}";
    }
    out << ", \"stream_offset\": " << archive.StreamOffset() << "}\n";
    return 0;
  }
  static const char* const kCiphers[] = {"", "RC2 (40-bit)", "DES (56-bit)", "RC2 (64-bit)", "RC2 (128-bit)",
                                         "3DES (168-bit)", "AES (256-bit)"};
  const bool known = p.m_eAlg >= 1 && p.m_eAlg <= kCipherAes256;
  out << "Archive:        " << EscapeForTerminal(o.positional[0]) << "\n"
      << "Format version: " << archive.Version() << (archive.Version() == 2 ? " (authenticated)" : " (legacy, for exchange)")
      << "\n";
  if (!sealed) out << "Provider level: " << p.m_eCSP << (p.m_eCSP == 3 ? " (enhanced)" : " (base)") << "\n";
  out << "Cipher:         " << p.m_eAlg << " " << (known ? kCiphers[p.m_eAlg] : "") << "\n"
      << "Compressed:     " << (p.m_bCompressFile ? "yes" : "no") << "\n"
      << "Open after:     " << (p.m_bOpenFile ? "yes" : "no") << "\n"
      << "Access:         " << (p.m_bPwdRequired ? "password" : "digital IDs") << "\n";
  // Stored texts come from whoever made the archive: printed escaped.
  for (const clsDigitalID* e : access) {
    out << "  " << EscapeForTerminal(e->m_strName)
        << (e->m_strEMailAddr.empty() ? "" : " <" + EscapeForTerminal(e->m_strEMailAddr) + ">") << "  "
        << Hex(e->m_varThumbprint) << "\n";
  }
  if (sealed) {
    out << "File:           (sealed: its name, times and size are known only to those who can open it)\n";
    return 0;
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
  const auto options = Parse(verb, args, err);
  if (!options) return kExitUsage;
  std::vector<std::string> answered;
  if (options->shredHardLinks) answered.emplace_back(kTopicSharedData);
  TerminalUi ui(in, err, options->yes, answered, options->quiet);
  if (verb == "encrypt") return Encrypt(*options, ui, out);
  if (verb == "decrypt") return Decrypt(*options, ui, out);
  if (verb == "shred") return Shred(*options, ui, out);
  if (verb == "info") return Info(*options, ui, out);
  return kExitUsage;
}

}  // namespace sealvane::cli
