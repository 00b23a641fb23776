// SPDX-License-Identifier: GPL-3.0-or-later
// `sealvane-cli certs`: the user's certificate stores on the terminal, and a
// digital ID generated as the Generate Digital ID dialog makes it.
#include "CertsCommand.h"

#include "Help.h"
#include "Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <span>
#include <optional>
#include <ostream>
#include <strings.h>

#include "sealvane/csp/WinCrypt.h"
#include "sealvane/archive/CertificateService.h"
#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/frmGenDigitalID.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/Pinentry.h"
#include "sealvane/platform/RuntimeError.h"
#include "sealvane/sealvanelib.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::cli {

using namespace sealvane::csp;


namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Usage(std::ostream& err, const std::string& problem) {
  err << "sealvane-cli: " << problem << "\n";
  PrintUsageLine(err, *FindCommand("certs"));
  return kExitUsage;
}

int Fail(std::ostream& err, const std::string& what, DWORD code) {
  char hex[16];
  std::snprintf(hex, sizeof(hex), "%x", code);
  err << "sealvane-cli: " << what << ": " << hex << "\n";
  return kExitFailure;
}

// The first line of a password file, without its line end.
std::optional<platform::Passphrase> ReadPasswordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return platform::Passphrase(std::move(line));
}

// Options after the positional arguments.
struct Options {
  std::vector<std::string> positional;
  std::optional<std::string> store, passwordFile, name, email, org;
  bool pfx = false, protect = false, yes = false;
};

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::size_t from, std::ostream& err) {
  Options o;
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&](std::optional<std::string>& slot) {
      if (i + 1 >= args.size()) return false;
      slot = args[++i];
      return true;
    };
    bool ok = true;
    if (a == "--") {
      // The rest are names, even when they start with a dash.
      o.positional.insert(o.positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (a == "--store") ok = value(o.store);
    else if (a == "--password-file") ok = value(o.passwordFile);
    else if (a == "--name") ok = value(o.name);
    else if (a == "--email") ok = value(o.email);
    else if (a == "--org") ok = value(o.org);
    else if (a == "--pfx") o.pfx = true;
    else if (a == "--protect") o.protect = true;
    else if (a == "--yes" || a == "-y") o.yes = true;
    else if (a.rfind("--", 0) == 0) ok = false;
    else o.positional.push_back(a);
    if (!ok) {
      Usage(err, "bad option \"" + a + "\"");
      return std::nullopt;
    }
  }
  return o;
}

int Fail(std::ostream& err, const CertificateError& e) { return Fail(err, e.what(), e.Code()); }

std::array<std::uint8_t, 20> ToArray(const std::vector<std::uint8_t>& bytes) {
  std::array<std::uint8_t, 20> a {};
  std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 20), a.begin());
  return a;
}

int List(const Options& o, std::ostream& out, std::ostream& err) {
  std::vector<std::string> stores = CertificateService::Stores();
  if (!o.positional.empty()) stores = {o.positional[0]};
  const CertificateService service;
  for (const std::string& name : stores) {
    std::vector<CertificateEntry> entries;
    try {
      entries = service.List(name);
    } catch (const CertificateError& e) {
      return Fail(err, e);
    }
    out << name << "\n";
    for (const CertificateEntry& c : entries) {
      // A certificate's texts are outside text: one line each, escaped.
      out << "  " << EscapeForTerminal(c.name) << (c.email.empty() ? "" : " <" + EscapeForTerminal(c.email) + ">") << "\n"
          << "    Thumbprint:  " << c.ThumbprintText() << "\n"
          << "    Private key: " << (c.privateKey ? "yes" : "no") << "\n"
          << "    Valid:       " << CertificateTimeText(c.notBefore) << " to " << CertificateTimeText(c.notAfter) << "\n"
          << "    Issued by:   " << EscapeForTerminal(c.issuer) << "\n";
    }
    if (entries.empty()) out << "  (no certificates)\n";
  }
  return 0;
}

int Import(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.size() != 1) return Usage(err, "certs import needs one FILE");
  const std::string& path = o.positional[0];
  const std::string store = o.store.value_or(CertificateService::DefaultImportStore(path));
  std::optional<std::string> unreadable;
  const PasswordSource password = [&]() -> std::optional<platform::Passphrase> {
    if (o.passwordFile) {
      auto text = ReadPasswordFile(*o.passwordFile);
      if (!text) unreadable = *o.passwordFile;
      return text;
    }
    return platform::PinentryGetPin("Sealvane", "Enter the password that protects " + path + ".", "Password:", false);
  };
  try {
    const CertificateEntry added = CertificateService().Import(path, store, password);
    if (CertificateService::IsPkcs12Path(path)) {
      out << "Imported the digital ID " << added.ThumbprintText() << " with its private key into "
          << EscapeForTerminal(store) << ".\n";
    } else {
      out << "Imported " << EscapeForTerminal(added.name) << " (" << added.ThumbprintText() << ") into "
          << EscapeForTerminal(store) << ".\n";
    }
    return 0;
  } catch (const CertificateError& e) {
    if (unreadable) return Fail(err, "cannot read the password file " + *unreadable, platform::rt::kFileNotFound);
    return Fail(err, e);
  }
}

// Finds a certificate by thumbprint text in a store.
int Find(const std::string& storeName, const std::string& thumbText, CertificateEntry& entry, std::ostream& err) {
  const auto thumb = ParseThumbprint(thumbText);
  if (!thumb) return Usage(err, "a THUMBPRINT is 40 hexadecimal digits: \"" + thumbText + "\"");
  try {
    auto found = CertificateService().Find(storeName, ToArray(*thumb));
    if (!found) return Fail(err, "no certificate " + thumbText + " in " + storeName, CRYPT_E_NOT_FOUND);
    entry = *found;
    return 0;
  } catch (const CertificateError& e) {
    return Fail(err, e);
  }
}

int Export(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.size() != 2) return Usage(err, "certs export needs THUMBPRINT FILE");
  CertificateEntry entry;
  if (const int rc = Find(o.store.value_or("MY"), o.positional[0], entry, err); rc != 0) return rc;
  const std::string& path = o.positional[1];
  std::optional<platform::Passphrase> password;
  if (o.pfx) {
    if (!o.passwordFile) return Usage(err, "--pfx needs --password-file");
    password = ReadPasswordFile(*o.passwordFile);
    if (!password) return Fail(err, "cannot read the password file " + *o.passwordFile, platform::rt::kFileNotFound);
  }
  const CertificateFormat format =
      o.pfx ? CertificateFormat::Pkcs12
            : (CertificateService::FormatOf(path) == CertificateFormat::Pem ? CertificateFormat::Pem : CertificateFormat::Der);
  try {
    CertificateService().Export(entry, path, format, password ? &*password : nullptr);
  } catch (const CertificateError& e) {
    return Fail(err, e);
  }
  out << (o.pfx ? "Exported the digital ID with its private key to " : "Exported the certificate to ") << path << ".\n";
  return 0;
}

int Delete(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.size() != 2) return Usage(err, "certs delete needs STORE THUMBPRINT");
  CertificateEntry entry;
  if (const int rc = Find(o.positional[0], o.positional[1], entry, err); rc != 0) return rc;
  const CertificateService service;
  try {
    service.Delete(entry);
  } catch (const CertificateError& e) {
    return Fail(err, e);
  }
  out << "Deleted the certificate from " << o.positional[0] << ".\n";
  // A digital ID of MY has a private key in a key container of its own.
  if (!entry.privateKey || ::strcasecmp(entry.store.c_str(), "MY") != 0) return 0;
  const std::string& container = entry.keyContainer;
  bool removeKey = o.yes;
  if (!removeKey) {
    err << "Delete its private key (key container " << container
        << ") too? Archives for this digital ID can then no longer be opened. [y/N] " << std::flush;
    std::string answer;
    removeKey = std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes");
  }
  if (!removeKey) {
    out << "Kept the private key in key container " << container << ".\n";
    return 0;
  }
  try {
    service.DeleteKeyContainer(entry);
  } catch (const CertificateError& e) {
    return Fail(err, e);
  }
  out << "Deleted the private key (key container " << container << ").\n";
  return 0;
}

int GenId(const Options& o, std::ostream& out, std::ostream& err, CipherLibrary& library) {
  if (!o.positional.empty()) return Usage(err, "certs genid takes only options");
  const std::string name = Trim(o.name.value_or(""));
  const std::string email = Trim(o.email.value_or(""));
  const std::string org = Trim(o.org.value_or(""));
  if (name.empty()) {
    err << "Warning! You must specify a name.\n";
    return kExitFailure;
  }
  if (forms::frmGenDigitalID::InvalidForDN(name)) {
    err << "Warning! The following characters must not be used in a Name: , + = < > # \"\n";
    return kExitFailure;
  }
  if (forms::frmGenDigitalID::InvalidForDN(email)) {
    err << "Warning! The following characters must not be used in an E-Mail Address: , + = < > # \"\n";
    return kExitFailure;
  }
  if (forms::frmGenDigitalID::InvalidForDN(org)) {
    err << "Warning! The following characters must not be used in an Organization Name: , + = < > # \"\n";
    return kExitFailure;
  }
  const std::string subject = forms::frmGenDigitalID::Subject(name, email, org);
  // The serial counter advances whether or not the generation succeeds (at
  // its end the overflow is reported by the caller).
  const std::int32_t serial = forms::frmGenDigitalID::NextSerialNumber();

  SLSystemTime from {}, to {};
  forms::frmGenDigitalID::Validity(from, to);
  uint8_t thumbprint[20] = {};
  char message[SL_MESSAGE_SIZE] = {};
  if (library.SLGenDigitalID(subject.c_str(), 0, o.protect ? -1 : 0, serial, &from, &to, thumbprint, message) != 1) {
    err << "Error! " << message << "\n";
    return kExitFailure;
  }
  clsConfig().SetDefaultCertTP(ByteArray(thumbprint, thumbprint + 20));
  out << "Generated the digital ID " << Hex(thumbprint, 20) << " for " << EscapeForTerminal(subject) << " (serial number " << serial
      << "); it is now the default digital ID.\n";
  return 0;
}

}  // namespace

int RunCertsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, "certs needs a command");
  const auto options = ParseOptions(args, 1, err);
  if (!options) return kExitUsage;
  const std::string& verb = args[0];
  if (verb == "list") {
    if (options->positional.size() > 1) return Usage(err, "certs list takes at most one STORE");
    return List(*options, out, err);
  }
  if (verb == "import") return Import(*options, out, err);
  if (verb == "export") return Export(*options, out, err);
  if (verb == "delete") return Delete(*options, out, err);
  if (verb == "genid") {
    try {
      return GenId(*options, out, err, CipherLibrary::Default());
    } catch (const platform::RuntimeError& e) {
      err << "Error! Failed to generate Digital ID.\n" << e.Description() << ". Error Number: " << e.Number() << "\n";
      return kExitFailure;
    }
  }
  return Usage(err, "unknown certs command \"" + verb + "\"");
}

}  // namespace sealvane::cli
