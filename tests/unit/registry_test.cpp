#include "platform/registry.h"

#include <cstring>
#include <gtest/gtest.h>

#include "fake_os.h"

namespace tarrow {
namespace {

std::vector<unsigned char> TextBytes(const std::wstring& text) {
  std::vector<unsigned char> bytes(text.size() * sizeof(wchar_t));
  std::memcpy(bytes.data(), text.data(), bytes.size());
  return bytes;
}

class RegistryTest : public ::testing::Test {
 protected:
  fake::FakeRegistry reg;
};

TEST_F(RegistryTest, TextWrittenAsTypeOneIsStoredWithOneTerminatorAndReadsBack) {
  reg.CreateKey(kClassesRoot, L"txtfile\\DefaultIcon");
  const std::wstring location = L"C:\\Icons\\a.dll,3";
  ASSERT_EQ(location.size(), 16u);
  EXPECT_TRUE(RegWriteValue(reg, kClassesRoot, L"txtfile\\DefaultIcon", L"", location, kRegSz));
  const auto* stored = reg.Find(kClassesRoot, L"txtfile\\DefaultIcon", L"");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->type, kRegSz);
  EXPECT_EQ(stored->bytes.size(), 17 * sizeof(wchar_t));
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"txtfile\\DefaultIcon", L""), location);
  EXPECT_EQ(reg.openHandles(), 0);
}

TEST_F(RegistryTest, NonAsciiTextKeepsEveryCharacter) {
  reg.CreateKey(kClassesRoot, L"k");
  const std::wstring text = L"C:\\\u00c4rger\\\u0416\u4e2d.dll,2";
  ASSERT_TRUE(RegWriteValue(reg, kClassesRoot, L"k", L"", text, kRegSz));
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"k", L""), text);
}

TEST_F(RegistryTest, ReadValueGivesEmptyTextForAnythingUnreadable) {
  reg.SetText(kClassesRoot, L"k", L"empty", L"");
  reg.SetRaw(kClassesRoot, L"k", L"binary", kRegBinary, {1, 2, 3, 4});
  reg.SetRaw(kClassesRoot, L"k", L"number", kRegDword, {1, 0, 0, 0});
  for (const auto* name : {L"empty", L"binary", L"missing"}) {
    SCOPED_TRACE(testing::Message() << name);
    EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"k", name), L"");
  }
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"no\\such\\key", L""), L"");
  EXPECT_EQ(reg.openHandles(), 0);
}

TEST_F(RegistryTest, OnlyATerminatingNulIsRemoved) {
  reg.SetRaw(kClassesRoot, L"k", L"bare", kRegSz, TextBytes(L"x.dll,2"));
  reg.SetRaw(kClassesRoot, L"k", L"two", kRegSz, TextBytes(std::wstring(L"x.dll,2\0\0", 9)));
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"k", L"bare"), L"x.dll,2");
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"k", L"two"), std::wstring(L"x.dll,2\0", 8));
}

TEST_F(RegistryTest, ExpandableTextLosesOnlyLeadingBlanksBeforeItsTerminator) {
  reg.SetText(kClassesRoot, L"k", L"lead", L"  x.dll,2", kRegExpandSz);
  reg.SetText(kClassesRoot, L"k", L"trail", L"x.dll,2  ", kRegExpandSz);
  reg.SetText(kClassesRoot, L"k", L"env", L"%SystemRoot%\\a.dll,1", kRegExpandSz);
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"k", L"lead"), L"x.dll,2");
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"k", L"trail"), L"x.dll,2  ");
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"k", L"env"), L"%SystemRoot%\\a.dll,1");
}

TEST_F(RegistryTest, ReadOpenValueReportsStatusAndKeepsValueOnFailure) {
  reg.SetRaw(kClassesRoot, L"k", L"n", kRegDword, {0xfe, 0xff, 0xff, 0xff});
  reg.SetRaw(kClassesRoot, L"k", L"long", kRegDword, {1, 0, 0, 0, 9, 9, 9, 9});
  reg.SetRaw(kClassesRoot, L"k", L"bin", kRegBinary, {1});
  RegKey key = 0;
  ASSERT_EQ(reg.OpenKey(kClassesRoot, L"k", RegAccess::Read, key), kSuccess);

  RegValue value = std::wstring(L"before");
  EXPECT_EQ(RegReadOpenValue(reg, key, L"n", value), kSuccess);
  EXPECT_EQ(std::get<std::int32_t>(value), -2);

  value = std::wstring(L"before");
  EXPECT_EQ(RegReadOpenValue(reg, key, L"long", value), kUnhandledType);
  EXPECT_EQ(std::get<std::wstring>(value), L"before");
  EXPECT_EQ(RegReadOpenValue(reg, key, L"bin", value), kUnhandledType);
  EXPECT_EQ(std::get<std::wstring>(value), L"before");
  EXPECT_EQ(RegReadOpenValue(reg, key, L"missing", value), kErrorFileNotFound);
  EXPECT_EQ(std::get<std::wstring>(value), L"before");
  reg.CloseKey(key);
}

TEST_F(RegistryTest, WriteNeverCreatesAKeyAndReportsWhy) {
  Status status = kSuccess;
  EXPECT_FALSE(
      RegWriteValue(reg, kClassesRoot, L"nofile\\DefaultIcon", L"", std::wstring(L"a,1"), kRegSz, &status));
  EXPECT_EQ(status, kErrorFileNotFound);
  EXPECT_FALSE(reg.KeyExists(kClassesRoot, L"nofile"));

  reg.CreateKey(kClassesRoot, L"locked\\DefaultIcon");
  reg.SetReadOnly(kClassesRoot, L"locked\\DefaultIcon");
  EXPECT_FALSE(
      RegWriteValue(reg, kClassesRoot, L"locked\\DefaultIcon", L"", std::wstring(L"a,1"), kRegSz, &status));
  EXPECT_EQ(status, kErrorAccessDenied);
  EXPECT_EQ(reg.openHandles(), 0);
}

TEST_F(RegistryTest, AReadOnlyKeyIsStillReadAndListed) {
  reg.SetText(kClassesRoot, L"locked", L"", L"Locked type");
  reg.CreateKey(kClassesRoot, L"locked\\DefaultIcon");
  reg.SetReadOnly(kClassesRoot, L"locked");
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, L"locked", L""), L"Locked type");
  std::vector<std::wstring> names;
  std::int32_t index = 0;
  RegListSubkeys(reg, kClassesRoot, L"locked", names, index);
  EXPECT_EQ(index, 1);
}

TEST_F(RegistryTest, WriteOpenValueHandlesTextNumbersAndIgnoresOtherTypes) {
  reg.CreateKey(kClassesRoot, L"k");
  RegKey key = 0;
  ASSERT_EQ(reg.OpenKey(kClassesRoot, L"k", RegAccess::SetValue, key), kSuccess);
  EXPECT_EQ(RegWriteOpenValue(reg, key, L"n", kRegDword, std::int32_t{-7}), kSuccess);
  EXPECT_EQ(RegWriteOpenValue(reg, key, L"e", kRegExpandSz, std::wstring(L"%X%,1")), kSuccess);
  EXPECT_EQ(RegWriteOpenValue(reg, key, L"b", kRegBinary, std::wstring(L"zz")), kSuccess);
  reg.CloseKey(key);
  const auto* number = reg.Find(kClassesRoot, L"k", L"n");
  ASSERT_NE(number, nullptr);
  EXPECT_EQ(number->bytes, (std::vector<unsigned char>{0xf9, 0xff, 0xff, 0xff}));
  EXPECT_EQ(reg.Find(kClassesRoot, L"k", L"e")->type, kRegExpandSz);
  EXPECT_EQ(reg.Find(kClassesRoot, L"k", L"b"), nullptr);
  EXPECT_TRUE(RegWriteValue(reg, kClassesRoot, L"k", L"b", std::wstring(L"zz"), kRegBinary));
}

TEST_F(RegistryTest, ListSubkeysFollowsEnumerationOrderFromTheCallersIndex) {
  for (const auto* name : {L".txt", L"txtfile", L"*", L".TXT2", L"CLSID", L"x", L"y"})
    reg.CreateKey(kClassesRoot, name);
  std::vector<std::wstring> names;
  std::int32_t index = 0;
  RegListSubkeys(reg, kClassesRoot, L"", names, index);
  EXPECT_EQ(index, 7);
  EXPECT_EQ(names, (std::vector<std::wstring>{L".txt", L"txtfile", L"*", L".TXT2", L"CLSID", L"x", L"y"}));

  std::vector<std::wstring> fromFive;
  std::int32_t five = 5;
  RegListSubkeys(reg, kClassesRoot, L"", fromFive, five);
  EXPECT_EQ(five, 7);
  EXPECT_EQ(fromFive, (std::vector<std::wstring>{L"", L"", L"", L"", L"", L"x", L"y"}));
  EXPECT_EQ(reg.openHandles(), 0);
}

TEST_F(RegistryTest, ListSubkeysLeavesListAndIndexAloneWhenThereIsNothing) {
  reg.CreateKey(kClassesRoot, L"leaf");
  std::vector<std::wstring> names;
  std::int32_t index = 0;
  RegListSubkeys(reg, kClassesRoot, L"leaf", names, index);
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(names.empty());

  const int closesBefore = reg.closeCalls;
  RegListSubkeys(reg, kClassesRoot, L"missing", names, index);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(reg.closeCalls, closesBefore);
}

}  // namespace
}  // namespace tarrow
