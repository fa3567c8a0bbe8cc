// tarrow.exe driven from outside, as a user drives it: its window found by
// class and caption, its controls worked through window messages only, and
// the registry and Defaults.dat read back afterwards.
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tarrow_process.h"

namespace tarrow::e2e {
namespace {

using app::MainWindow;
using namespace tarrow::testing;

// Stores text as the value `name` of HKEY_CURRENT_USER\\path, making the key.
bool SetUserText(const std::wstring& path, const wchar_t* name, const std::wstring& text) {
  win32::UniqueHkey key;
  return ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                           nullptr) == ERROR_SUCCESS &&
         ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

class EndToEnd : public ::testing::Test {
 protected:
  // Every run starts without the snapshot, journal or per-user classes of an
  // earlier one.
  void SetUp() override { DeleteSnapshots(); }
  void TearDown() override {
    EXPECT_TRUE(tarrow_.Close()) << "WM_CLOSE did not end tarrow.exe";
    DeleteSnapshots();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\Tarrow.Locked");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kChoiceOfG.substr(0, kChoiceOfG.rfind(L'\\')).c_str());
  }
  static inline const std::wstring kChoiceOfG =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.tarrowg\\UserChoice";
  Tarrow tarrow_;
};

TEST_F(EndToEnd, StartsOnceListsEveryTypeAndRecordsItsIcon) {
  const auto expected = ExpectedTypes();
  const std::string snapshot = ExpectedSnapshot();
  ASSERT_TRUE(tarrow_.StartAndWait()) << "no window captioned \"" << Utf8(kCaption) << "\"";

  std::vector<std::wstring> texts;
  for (const auto& type : expected) texts.push_back(type.text);
  const auto listed = tarrow_.ListTexts();
  EXPECT_EQ(listed, texts);
  for (const wchar_t* extension : {L".tarrowa", L".tarrowb", L".tarrowc", L".tarrowd", L".tarrowg"})
    EXPECT_GE(tarrow_.IndexOf(extension), 0) << Utf8(extension);
  EXPECT_EQ(tarrow_.IndexOf(L".tarrowe"), -1) << "a type whose icon is %1";
  EXPECT_GE(tarrow_.IndexOf(L".tarrowf"), 0) << "a class without a name, named as Explorer names it";
  EXPECT_EQ(FileBytes(SnapshotPath()), snapshot);

  // A second copy is refused, and brings the first one forward.
  tarrow_.Send(tarrow_.window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(::IsIconic(tarrow_.window()));
  Tarrow second;
  ASSERT_TRUE(second.Start());
  const HWND box = second.WaitForDialog();
  ASSERT_TRUE(box) << "the second copy showed no message";
  EXPECT_EQ(TextOf(box), L"Tarrow");
  EXPECT_EQ(MessageOf(box), L"Only one Instance allowed at a time...");
  EXPECT_FALSE(VisibleWindowOf(::GetProcessId(second.process()), app::kMainWindowClass));
  Answer(box, IDOK);
  ASSERT_EQ(::WaitForSingleObject(second.process(), kTimeoutMs), WAIT_OBJECT_0)
      << "the second copy still runs";
  EXPECT_TRUE(tarrow_.running());
  EXPECT_TRUE(WaitUntil([&] { return !::IsIconic(tarrow_.window()); })) << "the first copy was not restored";
  EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == tarrow_.window(); }))
      << "the first copy was left behind";

  ASSERT_TRUE(tarrow_.Close());
}

TEST_F(EndToEnd, AppliedIconsReachTheRegistryAndRestoreBringsBackEveryOriginal) {
  const KeptValue typeA(L"Tarrow.TypeA\\DefaultIcon"), typeB(L"Tarrow.TypeB\\DefaultIcon");
  ASSERT_EQ(typeA.original(), Text(REG_EXPAND_SZ, L"%SystemRoot%\\system32\\shell32.dll,3"));
  ASSERT_EQ(typeB.original(), Text(REG_SZ, L"C:\\windows\\system32\\shell32.dll,-4"));
  ASSERT_TRUE(tarrow_.StartAndWait());
  const auto snapshot = FileBytes(SnapshotPath());
  ASSERT_TRUE(snapshot);
  const std::size_t count = tarrow_.ListTexts().size();

  // The type's own file comes up as the registry holds it; cell 4 is its icon 3.
  const HWND filename = tarrow_.control(Part::IconFile);
  ASSERT_NO_FATAL_FAILURE(tarrow_.DoubleClickType(L".tarrowb"));
  EXPECT_EQ(TextOf(filename), L"C:\\windows\\system32\\shell32.dll");
  tarrow_.DoubleClickCell(4);
  EXPECT_EQ(DefaultValue(typeB.key()), typeB.original()) << "nothing is written before Apply";
  tarrow_.ClickApplyAndWait();
  const RawValue appliedB = Text(REG_SZ, L"C:\\windows\\system32\\shell32.dll,3");
  EXPECT_EQ(DefaultValue(typeB.key()), appliedB);

  // A typed file with an environment reference stays expandable.
  ASSERT_NO_FATAL_FAILURE(tarrow_.DoubleClickType(L".tarrowa"));
  tarrow_.Send(filename, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"%SystemRoot%\\System32\\shell32.dll"));
  tarrow_.DoubleClickCell(6);
  tarrow_.ClickApplyAndWait();
  EXPECT_EQ(DefaultValue(typeA.key()), Text(REG_EXPAND_SZ, L"%SystemRoot%\\System32\\shell32.dll,5"));
  EXPECT_EQ(DefaultValue(typeB.key()), appliedB);
  EXPECT_EQ(FileBytes(SnapshotPath()), snapshot) << "the snapshot keeps the originals";

  // Restore asks first (system modal); No leaves everything as applied.
  tarrow_.PostClick(Part::Restore);
  HWND box = tarrow_.WaitForDialog();
  ASSERT_TRUE(box) << "Restore Defaults asked nothing";
  EXPECT_EQ(TextOf(box), L"Tarrow");
  EXPECT_EQ(MessageOf(box), L"Restore all icons to their original state?\r\n\r\n3 types get back the icon they had before Tarrow changed it.");
  EXPECT_TRUE(::GetWindowLongPtrW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) << "system modal";
  Answer(box, IDNO);
  tarrow_.Send(tarrow_.window(), WM_NULL, 0, 0);
  EXPECT_FALSE(tarrow_.Dialog());
  EXPECT_EQ(DefaultValue(typeB.key()), appliedB);

  // Yes: every value is back, type and bytes, and the list is rebuilt.
  tarrow_.PostClick(Part::Restore);
  box = tarrow_.WaitForDialog();
  ASSERT_TRUE(box);
  Answer(box, IDYES);
  const bool restored = WaitUntil(
      [&] {
        return DefaultValue(typeA.key()) == typeA.original() &&
               DefaultValue(typeB.key()) == typeB.original() && ::IsWindowVisible(tarrow_.window());
      },
      kStartTimeoutMs);
  EXPECT_TRUE(restored);
  EXPECT_EQ(DefaultValue(typeA.key()), typeA.original());
  EXPECT_EQ(DefaultValue(typeB.key()), typeB.original());
  tarrow_.Send(tarrow_.window(), WM_NULL, 0, 0);
  ASSERT_TRUE(tarrow_.WaitForList());
  EXPECT_FALSE(tarrow_.Dialog()) << "a complete restore says nothing: " << Utf8(MessageOf(tarrow_.Dialog()));
  EXPECT_EQ(tarrow_.ListTexts().size(), count);
  EXPECT_EQ(FileBytes(SnapshotPath()), snapshot);
}

// Everyone is refused `rights` on a key, through its DACL, which Wine 8
// enforces, until the object goes; as a standard user is refused writes to
// the machine's classes.
class RefusedAccess {
 public:
  RefusedAccess(HKEY root, const std::wstring& path, REGSAM rights) {
    if (::RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, key_.put()) != ERROR_SUCCESS) return;
    DWORD size = 0;
    ::RegGetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    original_.resize(size);
    if (::RegGetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, original_.data(), &size) != ERROR_SUCCESS)
      return;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    const auto acl = reinterpret_cast<PACL>(aclBytes_);
    SECURITY_DESCRIPTOR denied;
    applied_ = ::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize) &&
               ::InitializeAcl(acl, sizeof aclBytes_, ACL_REVISION) &&
               ::AddAccessDeniedAce(acl, ACL_REVISION, rights, everyone) &&
               ::AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
               ::InitializeSecurityDescriptor(&denied, SECURITY_DESCRIPTOR_REVISION) &&
               ::SetSecurityDescriptorDacl(&denied, TRUE, acl, FALSE) &&
               ::RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, &denied) == ERROR_SUCCESS;
    win32::UniqueHkey probe;
    refused_ = applied_ && ::RegOpenKeyExW(root, path.c_str(), 0, rights, probe.put()) != ERROR_SUCCESS;
  }
  ~RefusedAccess() {
    if (applied_) ::RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, original_.data());
  }
  RefusedAccess(const RefusedAccess&) = delete;
  RefusedAccess& operator=(const RefusedAccess&) = delete;
  // Whether a write is really refused: some platforms grant every right.
  bool refused() const { return refused_; }

 private:
  win32::UniqueHkey key_;
  std::vector<BYTE> original_;
  alignas(DWORD) BYTE aclBytes_[256];
  bool applied_ = false;
  bool refused_ = false;
};

const std::wstring kLockedIcon = L"Software\\Classes\\Tarrow.Locked\\DefaultIcon";
const std::wstring kLockedUserClass = L"Software\\Classes\\Tarrow.Locked";

// Without the right to write the machine's value, the change goes into the
// user's own classes, where it takes effect for them; Restore takes it out
// again, keys and all.
TEST_F(EndToEnd, AStandardUsersChangeLandsInTheirOwnClassesAndRestoreTakesItOut) {
  const RefusedAccess machine(HKEY_LOCAL_MACHINE, kLockedIcon, KEY_SET_VALUE);
  if (!machine.refused())
    GTEST_SKIP() << "this platform grants every access right: a key's DACL refuses no write";
  const RawValue before = DefaultValue(L"Tarrow.Locked\\DefaultIcon");
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kLockedUserClass));

  ASSERT_TRUE(tarrow_.StartAndWait());
  const std::wstring shell32 = SystemFile(L"shell32.dll");
  ASSERT_NO_FATAL_FAILURE(tarrow_.AssignIcon(L".tarrowg", shell32, 2));
  tarrow_.PostClick(Part::Apply);
  ASSERT_TRUE(WaitUntil([&] { return KeyExists(HKEY_CURRENT_USER, kLockedIcon); }, kTimeoutMs));
  // Windows' shell reads the user's value first; Wine's reads the machine's
  // alone, and Tarrow says so once the shell has answered.
  const HWND doubt = tarrow_.WaitForDialog();
  EXPECT_EQ(MessageOf(doubt),
            L"Explorer will not show this type with its new icon:\r\n\r\nTarrow Locked (.tarrowg): the shell "
            L"still reads the icon for all users (shell32.dll,1).");
  ASSERT_NO_FATAL_FAILURE(Answer(doubt, IDOK));
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, kLockedIcon), shell32 + L",1");
  EXPECT_EQ(DefaultValue(L"Tarrow.Locked\\DefaultIcon"), before);

  tarrow_.PostClick(Part::Restore);
  ASSERT_NO_FATAL_FAILURE(Answer(tarrow_.WaitForDialog(), IDYES));
  EXPECT_TRUE(WaitUntil([&] { return !KeyExists(HKEY_CURRENT_USER, kLockedUserClass); }, kStartTimeoutMs))
      << "the per-user keys Tarrow made are still there";
  EXPECT_EQ(DefaultValue(L"Tarrow.Locked\\DefaultIcon"), before);
}

// The value that wins is the user's own, and it refuses to be written: the
// failure is told by the type's name, and the types after it are written all
// the same.
TEST_F(EndToEnd, AWriteThatIsRefusedIsReportedAndTheOthersStillHappen) {
  const std::wstring userIcon = L"shell32.dll,1";
  ASSERT_TRUE(SetUserText(kLockedIcon, nullptr, userIcon));
  const RefusedAccess machine(HKEY_LOCAL_MACHINE, kLockedIcon, KEY_SET_VALUE);
  const RefusedAccess user(HKEY_CURRENT_USER, kLockedIcon, KEY_SET_VALUE);
  if (!machine.refused() || !user.refused())
    GTEST_SKIP() << "this platform grants every access right: a key's DACL refuses no write";
  ASSERT_TRUE(tarrow_.StartAndWait());

  const auto texts = tarrow_.ListTexts();
  const int index = tarrow_.IndexOf(L".tarrowg");
  ASSERT_GE(index, 0);
  ASSERT_LT(static_cast<std::size_t>(index) + 1, texts.size()) << "no type listed after .tarrowg";
  const std::wstring& after = texts[static_cast<std::size_t>(index) + 1];
  const std::wstring extension = after.substr(after.rfind(L'[') + 1, after.size() - after.rfind(L'[') - 2);
  const KeptValue next(DefaultText(extension) + L"\\DefaultIcon");

  const std::wstring shell32 = SystemFile(L"shell32.dll");
  ASSERT_NO_FATAL_FAILURE(tarrow_.AssignIcon(L".tarrowg", shell32, 2));
  ASSERT_NO_FATAL_FAILURE(tarrow_.AssignIcon(extension, shell32, 3));
  tarrow_.PostClick(Part::Apply);
  const HWND box = tarrow_.WaitForDialog();
  ASSERT_TRUE(box) << "the failure was not reported";
  EXPECT_EQ(TextOf(box), L"Tarrow");
  const std::wstring message = MessageOf(box);
  EXPECT_TRUE(message.starts_with(L"1 file type was not changed: Tarrow Locked (.tarrowg)."))
      << Utf8(message);
  EXPECT_EQ(message.find(L"Tarrow.Locked"), std::wstring::npos) << "names the type as the list shows it";
  Answer(box, IDOK);
  EXPECT_EQ(DefaultText(next.key()), shell32 + L",2");
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, kLockedIcon), userIcon);
}

// The default app the user picked for an extension decides the class
// Explorer shows for it: the list follows the choice, and Apply changes that
// class's icon. (Wine's own association query is not implemented, so this is
// Tarrow's reading of the choice, not the system's.)
TEST_F(EndToEnd, TheUsersChoiceOfDefaultAppDecidesWhichClassChanges) {
  const std::wstring picked = L"Tarrow.TypeB";
  ASSERT_TRUE(SetUserText(kChoiceOfG, L"ProgId", picked));
  const KeptValue typeB(L"Tarrow.TypeB\\DefaultIcon");
  const RawValue locked = DefaultValue(L"Tarrow.Locked\\DefaultIcon");

  ASSERT_TRUE(tarrow_.StartAndWait());
  const auto texts = tarrow_.ListTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), L"Tarrow Type B  [.tarrowg]"), texts.end());
  const std::wstring shell32 = SystemFile(L"shell32.dll");
  ASSERT_NO_FATAL_FAILURE(tarrow_.AssignIcon(L".tarrowg", shell32, 5));
  tarrow_.PostClick(Part::Apply);
  EXPECT_TRUE(WaitUntil([&] { return DefaultText(typeB.key()) == shell32 + L",4"; }, kTimeoutMs))
      << Utf8(DefaultText(typeB.key()));
  EXPECT_EQ(DefaultValue(L"Tarrow.Locked\\DefaultIcon"), locked)
      << "the class the extension names is not the one shown";
}

}  // namespace
}  // namespace tarrow::e2e
