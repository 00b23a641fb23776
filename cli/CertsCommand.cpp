// SPDX-License-Identifier: GPL-3.0-or-later
// `sealvane-cli certs`: the user's certificate stores on the terminal, and a
// digital ID generated as the Generate Digital ID dialog makes it.
#include "CertsCommand.h"

#include "Help.h"
#include "Text.h"

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

std::optional<std::vector<BYTE>> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

bool EndsWith(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && ::strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

std::string FormatFileTime(std::int64_t fileTime) {
  const time_t seconds = static_cast<time_t>(fileTime / 10'000'000LL - 11644473600LL);
  struct tm parts {};
  gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
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

struct Store {
  HCERTSTORE h = 0;
  ~Store() {
    if (h != 0) CertCloseStore(h, 0);
  }
};
struct Cert {
  PCCERT_CONTEXT h = 0;
  ~Cert() {
    if (h != 0) CertFreeCertificateContext(h);
  }
};

std::string NameOf(PCCERT_CONTEXT cert, DWORD type) {
  char text[256];
  CertGetNameStringA(cert, type, 0, nullptr, text, sizeof(text));
  return text;
}

int List(const Options& o, std::ostream& out, std::ostream& err) {
  std::vector<std::string> stores = {"MY", "AddressBook", "Root"};
  if (!o.positional.empty()) stores = {o.positional[0]};
  for (const std::string& name : stores) {
    Store store;
    store.h = CertOpenSystemStoreA(0, name.c_str());
    if (store.h == 0) return Fail(err, "cannot open the store " + name, GetLastError());
    out << name << "\n";
    PCCERT_CONTEXT cert = 0;
    int count = 0;
    while ((cert = CertEnumCertificatesInStore(store.h, cert)) != 0) {
      BYTE thumb[20];
      DWORD size = sizeof(thumb);
      CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, thumb, &size);
      DWORD keySpec = 0, keySpecSize = sizeof(keySpec);
      const bool privateKey = CertGetCertificateContextProperty(cert, CERT_KEY_SPEC_PROP_ID, &keySpec, &keySpecSize) == TRUE;
      std::int64_t from = 0, to = 0;
      CertGetValidity(cert, &from, &to);
      const std::string email = NameOf(cert, CERT_NAME_EMAIL_TYPE);
      out << "  " << NameOf(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE) << (email.empty() ? "" : " <" + email + ">") << "\n"
          << "    Thumbprint:  " << Hex(thumb, 20) << "\n"
          << "    Private key: " << (privateKey ? "yes" : "no") << "\n"
          << "    Valid:       " << FormatFileTime(from) << " to " << FormatFileTime(to) << "\n";
      ++count;
    }
    if (count == 0) out << "  (no certificates)\n";
  }
  return 0;
}

int Import(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.size() != 1) return Usage(err, "certs import needs one FILE");
  const std::string& path = o.positional[0];
  const auto file = ReadFile(path);
  if (!file) return Fail(err, "cannot read " + path, static_cast<DWORD>(platform::rt::kFileNotFound));
  BYTE thumb[20] = {};
  if (EndsWith(path, ".p12") || EndsWith(path, ".pfx")) {
    std::optional<platform::Passphrase> password;
    if (o.passwordFile) {
      password = ReadPasswordFile(*o.passwordFile);
      if (!password) return Fail(err, "cannot read the password file " + *o.passwordFile, platform::rt::kFileNotFound);
    } else {
      password = platform::PinentryGetPin("Sealvane", "Enter the password that protects " + path + ".", "Password:", false);
      if (!password) return Fail(err, "no password was given for " + path, HRESULT_CANCELLED);
    }
    const std::string store = o.store.value_or("MY");
    if (!ImportPfx(*file, password->Text().c_str(), store.c_str(), thumb)) {
      const DWORD code = GetLastError();
      return Fail(err, code == NTE_BAD_DATA ? "the password is wrong or " + path + " is damaged" : "cannot import " + path,
                  code);
    }
    out << "Imported the digital ID " << Hex(thumb, 20) << " with its private key into " << store << ".\n";
    return 0;
  }
  std::vector<BYTE> der;
  if (!CertDecodeFile(*file, der)) return Fail(err, path + " holds no certificate", GetLastError());
  const std::string storeName = o.store.value_or("AddressBook");
  Store store;
  store.h = CertOpenSystemStoreA(0, storeName.c_str());
  if (store.h == 0) return Fail(err, "cannot open the store " + storeName, GetLastError());
  Cert cert;
  if (!CertAddEncodedCertificateToStore(store.h, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                        CERT_STORE_ADD_REPLACE_EXISTING, &cert.h)) {
    return Fail(err, "cannot add the certificate to " + storeName, GetLastError());
  }
  DWORD size = sizeof(thumb);
  CertGetCertificateContextProperty(cert.h, CERT_SHA1_HASH_PROP_ID, thumb, &size);
  out << "Imported " << NameOf(cert.h, CERT_NAME_SIMPLE_DISPLAY_TYPE) << " (" << Hex(thumb, 20) << ") into "
      << storeName << ".\n";
  return 0;
}

// Finds a certificate by thumbprint text in a store.
int Find(const std::string& storeName, const std::string& thumbText, Store& store, Cert& cert, std::ostream& err) {
  const auto thumb = ParseThumbprint(thumbText);
  if (!thumb) return Usage(err, "a THUMBPRINT is 40 hexadecimal digits: \"" + thumbText + "\"");
  store.h = CertOpenSystemStoreA(0, storeName.c_str());
  if (store.h == 0) return Fail(err, "cannot open the store " + storeName, GetLastError());
  const CRYPT_HASH_BLOB blob {20, thumb->data()};
  cert.h = CertFindCertificateInStore(store.h, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, 0);
  if (cert.h == 0) return Fail(err, "no certificate " + thumbText + " in " + storeName, GetLastError());
  return 0;
}

bool WriteFile(const std::string& path, const void* data, std::size_t size, bool secret) {
  try {
    // A file holding a private key is the owner's alone.
    platform::WriteWholeFile(path, std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size),
                             secret ? 0600 : 0644);
    return true;
  } catch (const platform::RuntimeError&) {
    return false;
  }
}

int Export(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.size() != 2) return Usage(err, "certs export needs THUMBPRINT FILE");
  const std::string storeName = o.store.value_or("MY");
  Store store;
  Cert cert;
  if (const int rc = Find(storeName, o.positional[0], store, cert, err); rc != 0) return rc;
  const std::string& path = o.positional[1];
  if (o.pfx) {
    if (!o.passwordFile) return Usage(err, "--pfx needs --password-file");
    const auto password = ReadPasswordFile(*o.passwordFile);
    if (!password) return Fail(err, "cannot read the password file " + *o.passwordFile, platform::rt::kFileNotFound);
    std::vector<BYTE> pfx;
    if (!ExportPfx(cert.h, password->Text().c_str(), pfx)) {
      return Fail(err, "cannot export the digital ID with its private key", GetLastError());
    }
    if (!WriteFile(path, pfx.data(), pfx.size(), true)) return Fail(err, "cannot write " + path, platform::rt::kPathFileAccess);
    out << "Exported the digital ID with its private key to " << path << ".\n";
    return 0;
  }
  std::vector<BYTE> der;
  CertGetEncoded(cert.h, der);
  bool written;
  if (EndsWith(path, ".pem")) {
    std::string pem;
    CertEncodePem(der, pem);
    written = WriteFile(path, pem.data(), pem.size(), false);
  } else {
    written = WriteFile(path, der.data(), der.size(), false);
  }
  if (!written) return Fail(err, "cannot write " + path, platform::rt::kPathFileAccess);
  out << "Exported the certificate to " << path << ".\n";
  return 0;
}

int Delete(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.size() != 2) return Usage(err, "certs delete needs STORE THUMBPRINT");
  Store store;
  Cert cert;
  if (const int rc = Find(o.positional[0], o.positional[1], store, cert, err); rc != 0) return rc;
  // A digital ID of MY has a private key in a key container of its own.
  std::string container, provider;
  DWORD provType = 0;
  DWORD size = 0;
  if (::strcasecmp(o.positional[0].c_str(), "MY") == 0 &&
      CertGetCertificateContextProperty(cert.h, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) && size > 0) {
    std::vector<std::uint64_t> buffer((size + 7) / 8);
    if (CertGetCertificateContextProperty(cert.h, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) {
      const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
      const auto narrow = [](const char16_t* text) {
        std::string ascii;
        for (; text != nullptr && *text != 0; ++text) ascii.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
        return ascii;
      };
      container = narrow(info->pwszContainerName);
      provider = narrow(info->pwszProvName);
      provType = info->dwProvType;
    }
  }
  const PCCERT_CONTEXT doomed = cert.h;
  cert.h = 0;  // deleting frees the context
  if (!CertDeleteCertificateFromStore(doomed)) return Fail(err, "cannot delete the certificate", GetLastError());
  out << "Deleted the certificate from " << o.positional[0] << ".\n";
  if (container.empty()) return 0;
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
  HCRYPTPROV gone = 0;
  if (!CryptAcquireContextA(&gone, container.c_str(), provider.empty() ? nullptr : provider.c_str(),
                            provType != 0 ? provType : PROV_RSA_FULL, CRYPT_DELETEKEYSET)) {
    return Fail(err, "cannot delete the key container " + container, GetLastError());
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
  std::string subject = "cn=" + name;
  if (!email.empty()) subject += ", e=" + email;
  subject += ", ou=Sealvane";
  if (!org.empty()) subject += ", o=" + org;

  // The serial counter advances whether or not the generation succeeds.
  clsConfig config;
  std::int32_t serial = 0;
  config.GetCertSerialNum(serial);
  if (serial == std::numeric_limits<std::int32_t>::max()) {
    err << "Error! Failed to generate Digital ID.\nOverflow. Error Number: 6\n";
    return kExitFailure;
  }
  ++serial;
  config.SetCertSerialNum(serial);

  SLSystemTime from {}, to {};
  forms::frmGenDigitalID::Validity(from, to);
  uint8_t thumbprint[20] = {};
  char message[SL_MESSAGE_SIZE] = {};
  if (library.SLGenDigitalID(subject.c_str(), 0, o.protect ? -1 : 0, serial, &from, &to, thumbprint, message) != 1) {
    err << "Error! " << message << "\n";
    return kExitFailure;
  }
  config.SetDefaultCertTP(ByteArray(thumbprint, thumbprint + 20));
  out << "Generated the digital ID " << Hex(thumbprint, 20) << " for " << subject << " (serial number " << serial
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
