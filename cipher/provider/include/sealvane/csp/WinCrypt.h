// SPDX-License-Identifier: GPL-3.0-or-later
// The cryptographic provider layer: provider contexts, key containers,
// SHA-1 hashes, random numbers, session keys, RSA key exchange and the
// user's certificate stores, with the platform's function names, arguments
// and error codes, over OpenSSL 3 libcrypto. Every function returns TRUE
// (non-zero) or FALSE and leaves a per-thread last-error code. Handles are
// 32-bit values from a handle table: a stale or forged handle is refused with
// ERROR_INVALID_HANDLE, never followed. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sealvane::csp {

using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using DWORD = std::uint32_t;
using ALG_ID = std::uint32_t;
using HCRYPTPROV = std::uint32_t;
using HCRYPTKEY = std::uint32_t;
using HCRYPTHASH = std::uint32_t;
using HCERTSTORE = std::uint32_t;
using PCCERT_CONTEXT = std::uint32_t;  // a certificate context handle

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

inline constexpr const char* MS_DEF_PROV_A = "Microsoft Base Cryptographic Provider v1.0";
inline constexpr const char* MS_ENHANCED_PROV_A = "Microsoft Enhanced Cryptographic Provider v1.0";
inline constexpr DWORD PROV_RSA_FULL = 1;

// CryptAcquireContextA flags.
inline constexpr DWORD CRYPT_VERIFYCONTEXT = 0xF0000000;
inline constexpr DWORD CRYPT_NEWKEYSET = 0x00000008;
inline constexpr DWORD CRYPT_DELETEKEYSET = 0x00000010;
inline constexpr DWORD CRYPT_SILENT = 0x00000040;

// Algorithms.
inline constexpr ALG_ID CALG_SHA1 = 0x8004;
inline constexpr ALG_ID CALG_DES = 0x6601;
inline constexpr ALG_ID CALG_RC2 = 0x6602;
inline constexpr ALG_ID CALG_3DES = 0x6603;
inline constexpr ALG_ID CALG_RSA_KEYX = 0xA400;
inline constexpr ALG_ID AT_KEYEXCHANGE = 1;
inline constexpr ALG_ID AT_SIGNATURE = 2;

// Key flags (the upper 16 bits carry a key length in bits).
inline constexpr DWORD CRYPT_EXPORTABLE = 0x00000001;
inline constexpr DWORD CRYPT_USER_PROTECTED = 0x00000002;
inline constexpr DWORD CRYPT_CREATE_SALT = 0x00000004;
inline constexpr DWORD CRYPT_NO_SALT = 0x00000010;

// Key blobs and parameters.
inline constexpr DWORD SIMPLEBLOB = 0x1;
inline constexpr DWORD PUBLICKEYBLOB = 0x6;
inline constexpr DWORD PLAINTEXTKEYBLOB = 0x8;
inline constexpr DWORD HP_ALGID = 0x1;
inline constexpr DWORD HP_HASHVAL = 0x2;
inline constexpr DWORD HP_HASHSIZE = 0x4;
inline constexpr DWORD KP_SALT = 2;
inline constexpr DWORD KP_KEYLEN = 9;
inline constexpr DWORD KP_EFFECTIVE_KEYLEN = 19;
inline constexpr DWORD KP_ALGID = 7;
inline constexpr DWORD PP_NAME = 4;
inline constexpr DWORD PP_CONTAINER = 6;

// Encodings, stores and properties.
inline constexpr DWORD X509_ASN_ENCODING = 0x00000001;
inline constexpr DWORD PKCS_7_ASN_ENCODING = 0x00010000;
inline constexpr DWORD CERT_STORE_PROV_SYSTEM_W = 10;
inline constexpr DWORD CERT_SYSTEM_STORE_CURRENT_USER = 0x00010000;
inline constexpr DWORD CERT_FIND_SHA1_HASH = 0x00010000;
inline constexpr DWORD CERT_STORE_ADD_NEW = 1;
inline constexpr DWORD CERT_STORE_ADD_REPLACE_EXISTING = 3;
inline constexpr DWORD CERT_KEY_PROV_INFO_PROP_ID = 2;
inline constexpr DWORD CERT_SHA1_HASH_PROP_ID = 3;
inline constexpr DWORD CERT_KEY_SPEC_PROP_ID = 6;
inline constexpr DWORD CERT_NAME_EMAIL_TYPE = 1;
inline constexpr DWORD CERT_NAME_SIMPLE_DISPLAY_TYPE = 4;
inline constexpr DWORD CERT_NAME_ISSUER_FLAG = 0x1;

// Error codes.
inline constexpr DWORD ERROR_INVALID_HANDLE_CODE = 6;
inline constexpr DWORD ERROR_INVALID_PARAMETER_CODE = 87;
inline constexpr DWORD ERROR_MORE_DATA_CODE = 234;
inline constexpr DWORD NTE_BAD_UID = 0x80090001;
inline constexpr DWORD NTE_BAD_HASH = 0x80090002;
inline constexpr DWORD NTE_BAD_KEY = 0x80090003;
inline constexpr DWORD NTE_BAD_LEN = 0x80090004;
inline constexpr DWORD NTE_BAD_DATA = 0x80090005;
inline constexpr DWORD NTE_BAD_SIGNATURE = 0x80090006;
inline constexpr DWORD NTE_BAD_ALGID = 0x80090008;
inline constexpr DWORD NTE_BAD_FLAGS = 0x80090009;
inline constexpr DWORD NTE_BAD_TYPE = 0x8009000A;
inline constexpr DWORD NTE_BAD_KEY_STATE = 0x8009000B;
inline constexpr DWORD NTE_BAD_HASH_STATE = 0x8009000C;
inline constexpr DWORD NTE_NO_KEY = 0x8009000D;
inline constexpr DWORD NTE_NO_MEMORY = 0x8009000E;
inline constexpr DWORD NTE_EXISTS = 0x8009000F;
inline constexpr DWORD NTE_PERM = 0x80090010;
inline constexpr DWORD NTE_BAD_PROV_TYPE = 0x80090014;
inline constexpr DWORD NTE_BAD_PUBLIC_KEY = 0x80090015;
inline constexpr DWORD NTE_BAD_KEYSET = 0x80090016;
inline constexpr DWORD NTE_KEYSET_NOT_DEF = 0x80090019;
inline constexpr DWORD NTE_BAD_KEYSET_PARAM = 0x8009001F;
inline constexpr DWORD NTE_FAIL = 0x80090020;
inline constexpr DWORD NTE_SILENT_CONTEXT = 0x80090022;
inline constexpr DWORD CRYPT_E_NOT_FOUND = 0x80092004;
inline constexpr DWORD CRYPT_E_EXISTS = 0x80092005;
inline constexpr DWORD CRYPT_E_NO_KEY_PROPERTY = 0x8009200B;
inline constexpr DWORD CRYPT_E_BAD_ENCODE = 0x80092002;
inline constexpr DWORD CRYPT_E_ASN1_BADTAG = 0x8009310B;
inline constexpr DWORD CRYPT_E_INVALID_X500_STRING = 0x80092023;
inline constexpr DWORD HRESULT_CANCELLED = 0x800704C7;  // the user said no

// The platform's HRESULT for a Win32 code (a registry failure, say).
constexpr DWORD HResultFromWin32(DWORD code) { return code == 0 ? 0 : (0x80070000u | (code & 0xFFFFu)); }

struct CRYPT_HASH_BLOB {
  DWORD cbData;
  const BYTE* pbData;
};

// The key provider information attached to a certificate.
struct CRYPT_KEY_PROV_INFO {
  const char16_t* pwszContainerName;
  const char16_t* pwszProvName;
  DWORD dwProvType;
  DWORD dwFlags;
  DWORD cProvParam;
  const void* rgProvParam;
  DWORD dwKeySpec;
};

// Subject public key information as DER (SubjectPublicKeyInfo).
struct CERT_PUBLIC_KEY_INFO {
  const BYTE* pbData;
  DWORD cbData;
};

DWORD GetLastError() noexcept;
void SetLastError(DWORD code) noexcept;

// --- provider contexts and key containers ---
BOOL CryptAcquireContextA(HCRYPTPROV* phProv, const char* szContainer, const char* szProvider, DWORD dwProvType,
                          DWORD dwFlags);
BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
BOOL CryptGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags);
BOOL CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey);

// --- hashing and random numbers ---
BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash);
BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags);
BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags);
BOOL CryptDestroyHash(HCRYPTHASH hHash);
BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer);

// --- keys ---
BOOL CryptDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags, HCRYPTKEY* phKey);
BOOL CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey);
BOOL CryptDestroyKey(HCRYPTKEY hKey);
BOOL CryptGetKeyParam(HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags);
BOOL CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen,
                  DWORD dwBufLen);
BOOL CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen);
BOOL CryptExportKey(HCRYPTKEY hKey, HCRYPTKEY hExpKey, DWORD dwBlobType, DWORD dwFlags, BYTE* pbData,
                    DWORD* pdwDataLen);
BOOL CryptImportKey(HCRYPTPROV hProv, const BYTE* pbData, DWORD dwDataLen, HCRYPTKEY hPubKey, DWORD dwFlags,
                    HCRYPTKEY* phKey);
BOOL CryptImportPublicKeyInfo(HCRYPTPROV hProv, DWORD dwCertEncodingType, const CERT_PUBLIC_KEY_INFO* pInfo,
                              HCRYPTKEY* phKey);
// Writes the DER SubjectPublicKeyInfo of the container's key of dwKeySpec.
BOOL CryptExportPublicKeyInfo(HCRYPTPROV hProv, DWORD dwKeySpec, DWORD dwCertEncodingType, BYTE* pbInfo,
                              DWORD* pcbInfo);

// --- certificate stores ---
HCERTSTORE CertOpenSystemStoreA(HCRYPTPROV hProv, const char* szSubsystemProtocol);
HCERTSTORE CertOpenStore(DWORD lpszStoreProvider, DWORD dwEncodingType, HCRYPTPROV hCryptProv, DWORD dwFlags,
                         const void* pvPara);
BOOL CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags);
PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pPrevCertContext);
PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE hCertStore, DWORD dwCertEncodingType, DWORD dwFindFlags,
                                          DWORD dwFindType, const void* pvFindPara, PCCERT_CONTEXT pPrevCertContext);
BOOL CertFreeCertificateContext(PCCERT_CONTEXT pCertContext);
BOOL CertGetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, void* pvData, DWORD* pcbData);
BOOL CertSetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, DWORD dwFlags,
                                       const void* pvData);
DWORD CertGetNameStringA(PCCERT_CONTEXT pCertContext, DWORD dwType, DWORD dwFlags, const void* pvTypePara,
                         char* pszNameString, DWORD cchNameString);
BOOL CertAddEncodedCertificateToStore(HCERTSTORE hCertStore, DWORD dwCertEncodingType, const BYTE* pbCertEncoded,
                                      DWORD cbCertEncoded, DWORD dwAddDisposition, PCCERT_CONTEXT* ppCertContext);
BOOL CertDeleteCertificateFromStore(PCCERT_CONTEXT pCertContext);
BOOL CryptAcquireCertificatePrivateKey(PCCERT_CONTEXT pCert, DWORD dwFlags, void* pvReserved, HCRYPTPROV* phCryptProv,
                                       DWORD* pdwKeySpec, BOOL* pfCallerFreeProv);
// The DER encoding of a certificate context, and its subject public key
// information (the certificate context's fields on the other platform).
BOOL CertGetEncoded(PCCERT_CONTEXT pCertContext, std::vector<BYTE>& encoded);
BOOL CertGetPublicKeyInfo(PCCERT_CONTEXT pCertContext, std::vector<BYTE>& spki);

// RSA-OAEP with SHA-256 (MGF1 with SHA-256, empty label), the key wrapping
// of the modern archive format. Encrypt: `cbData` bytes for an RSA public
// key handle (CryptImportPublicKeyInfo). Decrypt: with the private key of
// the context's key container, as CryptImportKey unwraps a SIMPLEBLOB; the
// plain bytes go to `pbData` (capacity in, length out: NTE_BAD_LEN when it
// is too small). A wrapped key that does not check out is NTE_BAD_DATA.
BOOL CryptEncryptOaepSha256(HCRYPTKEY hPubKey, const BYTE* pbData, DWORD cbData, std::vector<BYTE>& wrapped);
BOOL CryptDecryptOaepSha256(HCRYPTPROV hProv, const BYTE* pbWrapped, DWORD cbWrapped, BYTE* pbData, DWORD* pcbData);

// --- the providers present on this machine ---
// A provider is installed unless the machine hive names it under
// HKLM\Software\Brennock\Sealvane\Cryptography\Disabled Providers with a
// non-zero REG_DWORD. Returns FALSE with the registry's code when the
// switch cannot be written.
BOOL SetProviderInstalled(const char* szProvider, bool installed);

}  // namespace sealvane::csp

namespace sealvane::csp {

// The platform's string form of a UUID held as 16 bytes (Data1, Data2 and
// Data3 read least significant byte first): 36 lower-case characters.
std::string UuidToString(const BYTE uuid[16]);

// Imports the certificate and private key of a PKCS #12 file: the key into a
// new key container (named by a random UUID), the certificate into the
// user's store `szStore` with the key provider information attached.
// Writes the certificate's thumbprint on success.
BOOL ImportPfx(const std::vector<BYTE>& pfx, const char* szPassword, const char* szStore, BYTE thumbprint[20]);

}  // namespace sealvane::csp

namespace sealvane::csp {

// --- certificate building ---
inline constexpr DWORD CERT_X500_NAME_STR = 3;
inline constexpr DWORD CERT_V3 = 2;
inline constexpr const char* szOID_RSA_SHA1RSA = "1.2.840.113549.1.1.5";
inline constexpr const char* szOID_RSA_SHA256RSA = "1.2.840.113549.1.1.11";
inline constexpr const char* szOID_PKIX_KP_EMAIL_PROTECTION = "1.3.6.1.5.5.7.3.4";
// Structure types of CryptEncodeObject, named by their extension's OID.
inline constexpr const char* szOID_SUBJECT_KEY_IDENTIFIER = "2.5.29.14";
inline constexpr const char* szOID_ENHANCED_KEY_USAGE = "2.5.29.37";
inline constexpr const char* szOID_BASIC_CONSTRAINTS2 = "2.5.29.19";
inline constexpr const char* szOID_AUTHORITY_KEY_IDENTIFIER = "2.5.29.1";
inline constexpr const char* X509_ENHANCED_KEY_USAGE = szOID_ENHANCED_KEY_USAGE;
inline constexpr const char* X509_BASIC_CONSTRAINTS2 = szOID_BASIC_CONSTRAINTS2;
inline constexpr const char* X509_AUTHORITY_KEY_ID = szOID_AUTHORITY_KEY_IDENTIFIER;

struct CRYPT_DATA_BLOB {
  DWORD cbData;
  const BYTE* pbData;
};
using CRYPT_INTEGER_BLOB = CRYPT_DATA_BLOB;  // least significant byte first
using CERT_NAME_BLOB = CRYPT_DATA_BLOB;      // a DER Name

struct CERT_ENHKEY_USAGE {
  DWORD cUsageIdentifier;
  const char* const* rgpszUsageIdentifier;
};

struct CERT_BASIC_CONSTRAINTS2_INFO {
  BOOL fCA;
  BOOL fPathLenConstraint;
  DWORD dwPathLenConstraint;
};

struct CERT_AUTHORITY_KEY_ID_INFO {
  CRYPT_DATA_BLOB KeyId;
  CERT_NAME_BLOB CertIssuer;
  CRYPT_INTEGER_BLOB CertSerialNumber;
};

struct CERT_EXTENSION {
  const char* pszObjId;
  BOOL fCritical;
  CRYPT_DATA_BLOB Value;
};

// What is signed: version, serial, issuer, validity, subject, key, extensions.
struct CERT_INFO {
  DWORD dwVersion;
  CRYPT_INTEGER_BLOB SerialNumber;
  const char* pszSignatureAlgorithm;
  CERT_NAME_BLOB Issuer;
  std::int64_t NotBefore;  // file times
  std::int64_t NotAfter;
  CERT_NAME_BLOB Subject;
  CERT_PUBLIC_KEY_INFO SubjectPublicKeyInfo;  // DER SubjectPublicKeyInfo
  DWORD cExtension;
  const CERT_EXTENSION* rgExtension;
};

// Encodes an X.500 name string (CERT_X500_NAME_STR: keys without regard to
// case, OID keys, quoted values, "," and ";" between RDNs, "+" inside a
// multi-valued RDN). A malformed string fails with
// CRYPT_E_INVALID_X500_STRING and *ppszError at the offending place.
BOOL CertStrToNameA(DWORD dwCertEncodingType, const char* pszX500, DWORD dwStrType, void* pvReserved, BYTE* pbEncoded,
                    DWORD* pcbEncoded, const char** ppszError);
BOOL CryptEncodeObject(DWORD dwCertEncodingType, const char* lpszStructType, const void* pvStructInfo, BYTE* pbEncoded,
                       DWORD* pcbEncoded);
// Signs with the container's key of dwKeySpec (SHA-1 with RSA).
BOOL CryptSignAndEncodeCertificate(HCRYPTPROV hCryptProv, DWORD dwKeySpec, DWORD dwCertEncodingType,
                                   const CERT_INFO* pCertInfo, const char* pszSignatureAlgorithm, BYTE* pbEncoded,
                                   DWORD* pcbEncoded);
// Calendar fields read as UTC to a file time; FALSE for impossible dates.
BOOL SystemTimeToFileTime(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::uint16_t hour,
                          std::uint16_t minute, std::uint16_t second, std::uint16_t milliseconds,
                          std::int64_t* fileTime);

}  // namespace sealvane::csp

namespace sealvane::csp {

// --- certificate files ---
// The validity of a certificate context as file times.
BOOL CertGetValidity(PCCERT_CONTEXT pCertContext, std::int64_t* pNotBefore, std::int64_t* pNotAfter);
// A certificate file's DER: PEM ("BEGIN CERTIFICATE") is decoded, DER is
// checked and returned as it is.
BOOL CertDecodeFile(const std::vector<BYTE>& file, std::vector<BYTE>& der);
// A certificate as PEM text.
BOOL CertEncodePem(const std::vector<BYTE>& der, std::string& pem);
// The certificate with its private key as PKCS #12, protected by szPassword
// (3DES and a SHA-1 MAC, which every reader of such files understands).
// Opening a protected key asks for its passphrase.
BOOL ExportPfx(PCCERT_CONTEXT pCertContext, const char* szPassword, std::vector<BYTE>& pfx);

// What a certificate says, as text for a details view.
struct CERT_DESCRIPTION {
  std::string subject;             // the whole subject name, most significant part first
  std::string issuer;              // the whole issuer name
  std::string serialNumber;        // hexadecimal, most significant byte first
  std::string signatureAlgorithm;  // e.g. "sha1WithRSAEncryption"
  std::string publicKey;           // e.g. "RSA (1024 bits)"
  std::string keyUsage;            // the extended key usages, comma separated
  bool selfSigned = false;
  std::uint32_t version = 0;       // 1, 2 or 3
};
BOOL CertDescribe(PCCERT_CONTEXT pCertContext, CERT_DESCRIPTION& description);

}  // namespace sealvane::csp

namespace sealvane::csp {

// Handles released at the end of the scope unless handed on.
struct ProvHandle {
  HCRYPTPROV h = 0;
  ~ProvHandle() {
    if (h != 0) CryptReleaseContext(h, 0);
  }
};
struct HashHandle {
  HCRYPTHASH h = 0;
  ~HashHandle() {
    if (h != 0) CryptDestroyHash(h);
  }
};
struct KeyHandle {
  HCRYPTKEY h = 0;
  ~KeyHandle() {
    if (h != 0) CryptDestroyKey(h);
  }
};
struct StoreHandle {
  HCERTSTORE h = 0;
  ~StoreHandle() {
    if (h != 0) CertCloseStore(h, 0);
  }
};
struct CertHandle {
  PCCERT_CONTEXT h = 0;
  ~CertHandle() {
    if (h != 0) CertFreeCertificateContext(h);
  }
};

}  // namespace sealvane::csp
