// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "sealvane/archive/modCommon.h"

namespace sealvane {
namespace {

using platform::RuntimeError;

TEST(Conversions, CutAtNull) {
  EXPECT_EQ(CutAtNull(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(CutAtNull("abc"), "abc");
  EXPECT_EQ(CutAtNull(std::string("\0", 1)), "");
}

TEST(Conversions, BytesToStringStopsAtNulOrCount) {
  const ByteArray bytes = {'x', 'H', 'i', 0, 'z', 'z'};
  EXPECT_EQ(BytesToString(bytes, 1, 5), "Hi");
  EXPECT_EQ(BytesToString(bytes, 1, 1), "H");
  EXPECT_EQ(BytesToString(bytes, 0, 0), "");
  EXPECT_EQ(BytesToString(bytes, 3, 3), "");
  EXPECT_THROW(BytesToString(bytes, 4, 3), RuntimeError);  // runs off the end
  ByteArray full(256, 'a');
  EXPECT_EQ(BytesToString(full, 0, 256), std::string(256, 'a'));
  // Stored names from Western-locale systems are read as Windows-1252.
  const ByteArray latin = {'R', 0xE9, 's', 'u', 'm', 0xE9, 0};
  EXPECT_EQ(BytesToString(latin, 0, 7), "R\xC3\xA9sum\xC3\xA9");
}

TEST(Conversions, StringToBytesPadsAndCutsOnCharacterBoundaries) {
  ByteArray bytes(8, 0xEE);
  StringToBytes(bytes, 1, 5, "ab");
  EXPECT_EQ(bytes, (ByteArray {0xEE, 'a', 'b', 0, 0, 0, 0xEE, 0xEE}));
  StringToBytes(bytes, 0, 3, "abcdef");
  EXPECT_EQ(bytes[0], 'a');
  EXPECT_EQ(bytes[2], 'c');
  EXPECT_EQ(bytes[3], 0);
  // A euro sign (3 bytes) does not fit after "a" in 3 bytes: no half character.
  StringToBytes(bytes, 0, 3, "a\xE2\x82\xAC");
  EXPECT_EQ(bytes[0], 'a');
  EXPECT_EQ(bytes[1], 0);
  EXPECT_THROW(StringToBytes(bytes, 6, 4, "x"), RuntimeError);

  ByteArray name(256, 0xEE);
  StringToBytes(name, 0, 256, std::string(300, 'n'));
  EXPECT_EQ(name, ByteArray(256, 'n')) << "a long name keeps 256 characters and no NUL";
}

TEST(Conversions, BigEndianLongs) {
  ByteArray bytes(6, 0);
  WriteLongBE(bytes, 1, 0x01020304);
  EXPECT_EQ(bytes, (ByteArray {0, 1, 2, 3, 4, 0}));
  EXPECT_EQ(ReadLongBE(bytes, 1), 0x01020304);
  WriteLongBE(bytes, 2, -1);
  EXPECT_EQ(ReadLongBE(bytes, 2), -1);
  EXPECT_EQ(bytes[2], 0xFF);
  WriteLongBE(bytes, 0, INT32_MIN);
  EXPECT_EQ(ReadLongBE(bytes, 0), INT32_MIN);
  EXPECT_THROW(ReadLongBE(bytes, 3), RuntimeError);
  EXPECT_THROW(WriteLongBE(bytes, -1, 0), RuntimeError);
}

TEST(Conversions, SameBytesCopyByteArrayAndChecks) {
  const ByteArray a = {1, 2, 3};
  EXPECT_TRUE(SameBytes(a, ByteArray {1, 2, 3}));
  EXPECT_FALSE(SameBytes(a, ByteArray {1, 2, 4}));
  EXPECT_FALSE(SameBytes(a, ByteArray {1, 2, 3, 0}));
  EXPECT_TRUE(SameBytes(ByteArray {}, ByteArray {}));

  ByteArray dest(3, 9);
  EXPECT_TRUE(CopyByteArray(a, dest));
  EXPECT_EQ(dest, a);
  ByteArray longer(4, 9);
  EXPECT_FALSE(CopyByteArray(a, longer));
  EXPECT_EQ(longer, ByteArray(4, 9));

  EXPECT_EQ(BoolToCheck(true), 1);
  EXPECT_EQ(BoolToCheck(false), 0);
  EXPECT_TRUE(CheckToBool(1));
  EXPECT_FALSE(CheckToBool(2));
  EXPECT_FALSE(CheckToBool(-1));
}

TEST(Conversions, CertificateRecordsAndDigitalIDs) {
  static_assert(offsetof(CertRecord, Thumbprint) == 516);
  CertRecord records[3];
  std::memset(records, 0x55, sizeof(records));
  EXPECT_EQ(reinterpret_cast<std::byte*>(&records[2]) - reinterpret_cast<std::byte*>(records), 1072);
  EXPECT_EQ(reinterpret_cast<std::byte*>(records[2].Thumbprint) - reinterpret_cast<std::byte*>(records), 1588);

  clsDigitalID id;
  id.m_bSelected = true;
  id.m_strName = "Ana L\xC3\xB3pez";
  id.m_strEMailAddr = "ana@example.org";
  for (std::uint8_t i = 0; i < 20; ++i) id.m_varThumbprint.push_back(static_cast<std::uint8_t>(0xA0 + i));
  CopyDigitalIDToRecord(id, records[1]);
  EXPECT_EQ(records[1].Selected, -1);
  EXPECT_STREQ(records[1].Name, "Ana L\xC3\xB3pez");
  EXPECT_EQ(records[1].Name[255], 0);
  EXPECT_EQ(records[1].Thumbprint[19], 0xA0 + 19);

  clsDigitalID back;
  CopyRecordToDigitalID(records[1], back);
  EXPECT_TRUE(back.m_bSelected);
  EXPECT_EQ(back.m_strName, id.m_strName);
  EXPECT_EQ(back.m_strEMailAddr, id.m_strEMailAddr);
  EXPECT_EQ(back.m_varThumbprint, id.m_varThumbprint);

  records[1].Selected = 0;
  CopyRecordToDigitalID(records[1], back);
  EXPECT_FALSE(back.m_bSelected);

  clsDigitalID copy;
  id.CopyTo(copy);
  EXPECT_EQ(copy.m_strName, id.m_strName);
  EXPECT_EQ(copy.m_varThumbprint, id.m_varThumbprint);
  copy.m_varThumbprint[0] = 0;
  EXPECT_NE(copy.m_varThumbprint, id.m_varThumbprint) << "the thumbprint is copied, not shared";

  clsDigitalID noThumbprint;
  EXPECT_THROW(CopyDigitalIDToRecord(noThumbprint, records[0]), RuntimeError);
}

}  // namespace
}  // namespace sealvane
