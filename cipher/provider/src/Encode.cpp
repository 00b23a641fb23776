// SPDX-License-Identifier: GPL-3.0-or-later
// Certificate building: X.500 name strings, the extensions a digital ID
// carries, and signing a certificate with a container's key.
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <strings.h>

#include "Internal.h"
#include "sealvane/platform/CodePage.h"

namespace sealvane::csp {

using namespace detail;

namespace {

using Der = std::vector<BYTE>;

constexpr BYTE kTagBoolean = 0x01, kTagInteger = 0x02, kTagOctetString = 0x04, kTagOid = 0x06, kTagUtf8 = 0x0C,
               kTagPrintable = 0x13, kTagIa5 = 0x16, kTagSequence = 0x30, kTagSet = 0x31;

void PutLength(Der& out, std::size_t n) {
  if (n < 0x80) {
    out.push_back(static_cast<BYTE>(n));
    return;
  }
  BYTE bytes[sizeof(std::size_t)];
  int count = 0;
  for (std::size_t v = n; v != 0; v >>= 8) bytes[count++] = static_cast<BYTE>(v & 0xFF);
  out.push_back(static_cast<BYTE>(0x80 | count));
  for (int i = count - 1; i >= 0; --i) out.push_back(bytes[i]);
}

Der Tlv(BYTE tag, const BYTE* content, std::size_t size) {
  Der out {tag};
  PutLength(out, size);
  out.insert(out.end(), content, content + size);
  return out;
}
Der Tlv(BYTE tag, const Der& content) { return Tlv(tag, content.data(), content.size()); }

void Append(Der& out, const Der& part) { out.insert(out.end(), part.begin(), part.end()); }

// DER of a dotted OID; empty when the text is not one.
Der EncodeOid(const std::string& text) {
  std::vector<unsigned long long> arcs;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return {};
    unsigned long long v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      v = v * 10 + static_cast<unsigned>(text[i] - '0');
      if (v > 0xFFFFFFFFull) return {};
      ++i;
    }
    arcs.push_back(v);
    if (i < text.size()) {
      if (text[i] != '.' || i + 1 == text.size()) return {};
      ++i;
    }
  }
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] > 39)) return {};
  Der body;
  const auto base128 = [&body](unsigned long long v) {
    BYTE tmp[10];
    int n = 0;
    do {
      tmp[n++] = static_cast<BYTE>(v & 0x7F);
      v >>= 7;
    } while (v != 0);
    for (int k = n - 1; k >= 0; --k) body.push_back(static_cast<BYTE>(tmp[k] | (k != 0 ? 0x80 : 0)));
  };
  base128(arcs[0] * 40 + arcs[1]);
  for (std::size_t k = 2; k < arcs.size(); ++k) base128(arcs[k]);
  return Tlv(kTagOid, body);
}

// Minimal two's-complement INTEGER from a little-endian blob.
Der EncodeInteger(const CRYPT_INTEGER_BLOB& blob) {
  Der be(std::max<DWORD>(blob.cbData, 1), 0);
  for (DWORD k = 0; k < blob.cbData; ++k) be[k] = blob.pbData[blob.cbData - 1 - k];
  std::size_t start = 0;
  while (start + 1 < be.size() && ((be[start] == 0x00 && (be[start + 1] & 0x80) == 0) ||
                                   (be[start] == 0xFF && (be[start + 1] & 0x80) != 0))) {
    ++start;
  }
  return Tlv(kTagInteger, be.data() + start, be.size() - start);
}

struct NameKey {
  const char* key;
  const char* oid;
};

constexpr NameKey kNameKeys[] = {
    {"CN", "2.5.4.3"},          {"L", "2.5.4.7"},       {"O", "2.5.4.10"},
    {"OU", "2.5.4.11"},         {"E", "1.2.840.113549.1.9.1"},
    {"EMAIL", "1.2.840.113549.1.9.1"},                  {"C", "2.5.4.6"},
    {"S", "2.5.4.8"},           {"ST", "2.5.4.8"},      {"STREET", "2.5.4.9"},
    {"T", "2.5.4.12"},          {"TITLE", "2.5.4.12"},  {"G", "2.5.4.42"},
    {"GN", "2.5.4.42"},         {"GIVENNAME", "2.5.4.42"}, {"I", "2.5.4.43"},
    {"INITIALS", "2.5.4.43"},   {"SN", "2.5.4.4"},      {"DC", "0.9.2342.19200300.100.1.25"},
    {"SERIALNUMBER", "2.5.4.5"}, {"POSTALCODE", "2.5.4.17"}, {"DESCRIPTION", "2.5.4.13"},
};

bool IsPrintable(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr(" '()+,-./:=?", c) != nullptr;
  });
}

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Where a name string went wrong.
struct NameError {
  std::size_t offset;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Parses an X.500 string into the DER of its Name.
Der ParseX500(const std::string& s) {
  std::vector<Der> rdns;
  std::vector<Der> current;
  std::size_t i = 0;
  const auto skipSpaces = [&] {
    while (i < s.size() && IsSpace(s[i])) ++i;
  };
  skipSpaces();
  if (i == s.size()) return Tlv(kTagSequence, Der {});
  for (;;) {
    skipSpaces();
    const std::size_t keyStart = i;
    while (i < s.size() && s[i] != '=' && s[i] != ',' && s[i] != ';' && s[i] != '+') ++i;
    if (i == s.size() || s[i] != '=') throw NameError {keyStart};
    std::string key = s.substr(keyStart, i - keyStart);
    while (!key.empty() && IsSpace(key.back())) key.pop_back();
    std::string oid;
    for (const NameKey& k : kNameKeys) {
      if (::strcasecmp(key.c_str(), k.key) == 0) oid = k.oid;
    }
    if (oid.empty()) oid = (key.size() > 4 && ::strncasecmp(key.c_str(), "OID.", 4) == 0) ? key.substr(4) : key;
    const Der oidDer = EncodeOid(oid);
    if (oidDer.empty()) throw NameError {keyStart};
    ++i;  // '='
    skipSpaces();
    const std::size_t valueStart = i;
    std::string value;
    if (i < s.size() && s[i] == '"') {
      ++i;
      for (;;) {
        if (i == s.size()) throw NameError {s.size()};
        if (s[i] == '"') {
          if (i + 1 < s.size() && s[i + 1] == '"') {
            value.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value.push_back(s[i++]);
      }
      skipSpaces();
      if (i < s.size() && s[i] != ',' && s[i] != ';' && s[i] != '+') throw NameError {i};
    } else {
      while (i < s.size() && s[i] != ',' && s[i] != ';' && s[i] != '+') {
        if (s[i] == '"') throw NameError {i};
        value.push_back(s[i++]);
      }
      while (!value.empty() && IsSpace(value.back())) value.pop_back();
    }
    if (!platform::IsValidUtf8(value)) throw NameError {valueStart};
    BYTE tag = kTagUtf8;
    if (oid == "1.2.840.113549.1.9.1" || oid == "0.9.2342.19200300.100.1.25") {
      tag = IsAscii(value) ? kTagIa5 : kTagUtf8;
    } else if (IsPrintable(value)) {
      tag = kTagPrintable;
    }
    Der attribute = oidDer;
    Append(attribute, Tlv(tag, reinterpret_cast<const BYTE*>(value.data()), value.size()));
    current.push_back(Tlv(kTagSequence, attribute));
    if (i == s.size() || s[i] != '+') {
      // DER sorts the members of a SET by their encodings.
      std::sort(current.begin(), current.end(), [](const Der& a, const Der& b) {
        const std::size_t n = std::min(a.size(), b.size());
        const int order = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
        return order != 0 ? order < 0 : a.size() < b.size();
      });
      Der set;
      for (const Der& a : current) Append(set, a);
      rdns.push_back(Tlv(kTagSet, set));
      current.clear();
    }
    if (i == s.size()) break;
    ++i;  // ',', ';' or '+'
    skipSpaces();
    if (i == s.size()) throw NameError {i};
  }
  Der name;
  for (const Der& rdn : rdns) Append(name, rdn);
  return Tlv(kTagSequence, name);
}

time_t FileTimeToUnix(std::int64_t fileTime) {
  return static_cast<time_t>(fileTime / 10'000'000LL - kFileTimeEpochSeconds);
}

}  // namespace

BOOL CertStrToNameA(DWORD, const char* pszX500, DWORD dwStrType, void*, BYTE* pbEncoded, DWORD* pcbEncoded,
                    const char** ppszError) {
  if (ppszError != nullptr) *ppszError = nullptr;
  return Guard([&] {
    if (pszX500 == nullptr || pcbEncoded == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    if ((dwStrType & 0xFFFF) != CERT_X500_NAME_STR) Fail(ERROR_INVALID_PARAMETER_CODE);
    Der name;
    try {
      name = ParseX500(pszX500);
    } catch (const NameError& e) {
      if (ppszError != nullptr) *ppszError = pszX500 + e.offset;
      Fail(CRYPT_E_INVALID_X500_STRING);
    }
    CopyOut(name.data(), static_cast<DWORD>(name.size()), pbEncoded, pcbEncoded);
  });
}

BOOL CryptEncodeObject(DWORD, const char* lpszStructType, const void* pvStructInfo, BYTE* pbEncoded,
                       DWORD* pcbEncoded) {
  return Guard([&] {
    if (lpszStructType == nullptr || pvStructInfo == nullptr || pcbEncoded == nullptr) {
      Fail(ERROR_INVALID_PARAMETER_CODE);
    }
    const std::string type = lpszStructType;
    Der out;
    if (type == szOID_SUBJECT_KEY_IDENTIFIER) {
      const auto* blob = static_cast<const CRYPT_DATA_BLOB*>(pvStructInfo);
      out = Tlv(kTagOctetString, blob->pbData, blob->cbData);
    } else if (type == szOID_ENHANCED_KEY_USAGE) {
      const auto* usage = static_cast<const CERT_ENHKEY_USAGE*>(pvStructInfo);
      Der list;
      for (DWORD k = 0; k < usage->cUsageIdentifier; ++k) {
        const Der oid = EncodeOid(usage->rgpszUsageIdentifier[k] == nullptr ? "" : usage->rgpszUsageIdentifier[k]);
        if (oid.empty()) Fail(CRYPT_E_BAD_ENCODE);
        Append(list, oid);
      }
      out = Tlv(kTagSequence, list);
    } else if (type == szOID_BASIC_CONSTRAINTS2) {
      const auto* bc = static_cast<const CERT_BASIC_CONSTRAINTS2_INFO*>(pvStructInfo);
      Der body;
      if (bc->fCA) Append(body, Der {kTagBoolean, 0x01, 0xFF});
      if (bc->fPathLenConstraint) {
        const DWORD v = bc->dwPathLenConstraint;
        const BYTE le[5] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                            static_cast<BYTE>(v >> 24), 0};  // non-negative
        Append(body, EncodeInteger(CRYPT_INTEGER_BLOB {5, le}));
      }
      out = Tlv(kTagSequence, body);
    } else if (type == szOID_AUTHORITY_KEY_IDENTIFIER) {
      const auto* aki = static_cast<const CERT_AUTHORITY_KEY_ID_INFO*>(pvStructInfo);
      Der body;
      if (aki->KeyId.cbData != 0) Append(body, Tlv(0x80, aki->KeyId.pbData, aki->KeyId.cbData));
      if (aki->CertIssuer.cbData != 0) Append(body, Tlv(0xA1, aki->CertIssuer.pbData, aki->CertIssuer.cbData));
      if (aki->CertSerialNumber.cbData != 0) {
        Der serial = EncodeInteger(aki->CertSerialNumber);
        serial[0] = 0x82;  // [2] IMPLICIT INTEGER
        Append(body, serial);
      }
      out = Tlv(kTagSequence, body);
    } else {
      Fail(CRYPT_E_BAD_ENCODE);
    }
    CopyOut(out.data(), static_cast<DWORD>(out.size()), pbEncoded, pcbEncoded);
  });
}

BOOL CryptSignAndEncodeCertificate(HCRYPTPROV hCryptProv, DWORD dwKeySpec, DWORD, const CERT_INFO* pCertInfo,
                                   const char* pszSignatureAlgorithm, BYTE* pbEncoded, DWORD* pcbEncoded) {
  return Guard([&] {
    if (pCertInfo == nullptr || pcbEncoded == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    auto prov = Get<ProvObject>(hCryptProv, NTE_BAD_UID);
    const char* algorithm = pszSignatureAlgorithm != nullptr ? pszSignatureAlgorithm : pCertInfo->pszSignatureAlgorithm;
    const bool sha256 = algorithm != nullptr && std::strcmp(algorithm, szOID_RSA_SHA256RSA) == 0;
    if (algorithm == nullptr || (!sha256 && std::strcmp(algorithm, szOID_RSA_SHA1RSA) != 0)) Fail(NTE_BAD_ALGID);
    if (dwKeySpec != AT_KEYEXCHANGE) Fail(NTE_NO_KEY);
    PkeyPtr key = ContainerKey(*prov);

    X509Ptr cert(X509_new());
    if (!cert) Fail(NTE_NO_MEMORY);
    const Der serialDer = EncodeInteger(pCertInfo->SerialNumber);
    const unsigned char* p = serialDer.data();
    std::unique_ptr<ASN1_INTEGER, decltype(&ASN1_INTEGER_free)> serial(
        d2i_ASN1_INTEGER(nullptr, &p, static_cast<long>(serialDer.size())), ASN1_INTEGER_free);
    p = pCertInfo->Issuer.pbData;
    std::unique_ptr<X509_NAME, decltype(&X509_NAME_free)> issuer(
        d2i_X509_NAME(nullptr, &p, static_cast<long>(pCertInfo->Issuer.cbData)), X509_NAME_free);
    p = pCertInfo->Subject.pbData;
    std::unique_ptr<X509_NAME, decltype(&X509_NAME_free)> subject(
        d2i_X509_NAME(nullptr, &p, static_cast<long>(pCertInfo->Subject.cbData)), X509_NAME_free);
    p = pCertInfo->SubjectPublicKeyInfo.pbData;
    PkeyPtr publicKey = WrapPkey(d2i_PUBKEY(nullptr, &p, static_cast<long>(pCertInfo->SubjectPublicKeyInfo.cbData)));
    if (!serial || !issuer || !subject || !publicKey) Fail(CRYPT_E_BAD_ENCODE);
    std::unique_ptr<ASN1_TIME, decltype(&ASN1_TIME_free)> notBefore(
        ASN1_TIME_set(nullptr, FileTimeToUnix(pCertInfo->NotBefore)), ASN1_TIME_free);
    std::unique_ptr<ASN1_TIME, decltype(&ASN1_TIME_free)> notAfter(
        ASN1_TIME_set(nullptr, FileTimeToUnix(pCertInfo->NotAfter)), ASN1_TIME_free);
    if (!notBefore || !notAfter) Fail(CRYPT_E_BAD_ENCODE);
    bool ok = X509_set_version(cert.get(), static_cast<long>(pCertInfo->dwVersion)) == 1 &&
              X509_set_serialNumber(cert.get(), serial.get()) == 1 &&
              X509_set_issuer_name(cert.get(), issuer.get()) == 1 &&
              X509_set_subject_name(cert.get(), subject.get()) == 1 &&
              X509_set1_notBefore(cert.get(), notBefore.get()) == 1 &&
              X509_set1_notAfter(cert.get(), notAfter.get()) == 1 && X509_set_pubkey(cert.get(), publicKey.get()) == 1;
    for (DWORD k = 0; ok && k < pCertInfo->cExtension; ++k) {
      const CERT_EXTENSION& e = pCertInfo->rgExtension[k];
      std::unique_ptr<ASN1_OBJECT, decltype(&ASN1_OBJECT_free)> obj(OBJ_txt2obj(e.pszObjId, 1), ASN1_OBJECT_free);
      std::unique_ptr<ASN1_OCTET_STRING, decltype(&ASN1_OCTET_STRING_free)> value(ASN1_OCTET_STRING_new(),
                                                                                  ASN1_OCTET_STRING_free);
      if (!obj || !value || ASN1_OCTET_STRING_set(value.get(), e.Value.pbData, static_cast<int>(e.Value.cbData)) != 1) {
        ok = false;
        break;
      }
      X509_EXTENSION* ext = X509_EXTENSION_create_by_OBJ(nullptr, obj.get(), e.fCritical ? 1 : 0, value.get());
      ok = ext != nullptr && X509_add_ext(cert.get(), ext, -1) == 1;
      X509_EXTENSION_free(ext);
    }
    if (!ok) Fail(CRYPT_E_BAD_ENCODE);
    if (X509_sign(cert.get(), key.get(), sha256 ? EVP_sha256() : EVP_sha1()) <= 0) Fail(NTE_BAD_SIGNATURE);
    unsigned char* der = nullptr;
    const int size = i2d_X509(cert.get(), &der);
    if (size <= 0) Fail(CRYPT_E_BAD_ENCODE);
    Der encoded(der, der + size);
    OPENSSL_free(der);
    CopyOut(encoded.data(), static_cast<DWORD>(encoded.size()), pbEncoded, pcbEncoded);
  });
}

BOOL SystemTimeToFileTime(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::uint16_t hour,
                          std::uint16_t minute, std::uint16_t second, std::uint16_t milliseconds,
                          std::int64_t* fileTime) {
  return Guard([&] {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (fileTime == nullptr || year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 ||
        day > kDays[month - 1] + (month == 2 && leap ? 1 : 0) || hour > 23 || minute > 59 || second > 59 ||
        milliseconds > 999) {
      Fail(ERROR_INVALID_PARAMETER_CODE);
    }
    // Days from 1970-01-01 to the civil date (proleptic Gregorian).
    const int y = static_cast<int>(year) - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (static_cast<int>(month) + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + static_cast<int>(day) - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    *fileTime = (seconds + kFileTimeEpochSeconds) * 10'000'000LL + static_cast<std::int64_t>(milliseconds) * 10'000;
  });
}

}  // namespace sealvane::csp
