// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/DigitalIDs.h"

#include <algorithm>
#include <iterator>

#include "sealvane/archive/modCommon.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::forms {
namespace {

// More records than any store of a person holds; a count above it is the
// library's fault, not a reason to allocate without bound.
constexpr std::int32_t kMaxStoreCount = 100000;

}  // namespace

std::optional<clsDigitalID> FindDigitalID(CipherLibrary& library, const char* store, const ByteArray& thumbprint) {
  if (thumbprint.size() != 20) return std::nullopt;
  CertRecord record {};
  std::copy(thumbprint.begin(), thumbprint.end(), record.Thumbprint);
  char message[SL_MESSAGE_SIZE] = {};
  if (library.SLFindCert(store, record.Thumbprint, &record, message) == 0) return std::nullopt;
  clsDigitalID id;
  CopyRecordToDigitalID(record, id);
  id.m_bSelected = true;
  return id;
}

std::optional<clsDigitalID> FindDefaultDigitalID(CipherLibrary& library) {
  clsConfig config;
  ByteArray thumbprint;
  if (config.GetDefaultCertTP(thumbprint) != 0) return std::nullopt;
  return FindDigitalID(library, "MY", thumbprint);
}

std::optional<std::vector<clsDigitalID>> ReadDigitalIDs(UiPort& ui, CipherLibrary& library, const char* store,
                                                        bool privateKeyOnly) {
  const std::int32_t filter = privateKeyOnly ? 1 : 0;
  char message[SL_MESSAGE_SIZE] = {};
  std::int32_t count = 0;
  if (library.SLGetCertCount(store, filter, &count, message) == 0) {
    ShowError(ui, CutAtNull(std::string(message, sizeof(message))), 0);
    return std::nullopt;
  }
  count = std::clamp(count, 0, kMaxStoreCount);
  std::vector<clsDigitalID> ids;
  if (count == 0) return ids;
  std::vector<CertRecord> records(static_cast<std::size_t>(count));
  if (library.SLGetCerts(store, filter, records.data(), count, message) == 0) {
    ShowError(ui, CutAtNull(std::string(message, sizeof(message))), 0);
    return std::nullopt;
  }
  for (const CertRecord& record : records) {
    // A store that shrank since it was counted leaves records unfilled.
    if (std::all_of(std::begin(record.Thumbprint), std::end(record.Thumbprint), [](std::uint8_t b) { return b == 0; }))
      continue;
    clsDigitalID id;
    CopyRecordToDigitalID(record, id);
    ids.push_back(std::move(id));
  }
  return ids;
}

}  // namespace sealvane::forms
