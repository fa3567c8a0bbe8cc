#include "catalog/scan.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <thread>

#include "catalog/list_pictures.h"
#include "catalog/type_list.h"
#include "fake_os.h"
#include "loader_wakes.h"

namespace tarrow {
namespace {

constexpr int kIconSize = 16;
const std::wstring kBeside = L"C:\\Tarrow\\Defaults.dat";
const std::wstring kPerUser = L"C:\\Users\\me\\AppData\\Local\\Tarrow\\Defaults.dat";
const std::string kBom = "\xEF\xBB\xBF";
const std::wstring kShellLibrary = L"c:\\windows\\system32\\shell32.dll";
const std::wstring kAppExe = L"c:\\program files\\app\\app.exe";

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return out;
}

// Stands for the platform's image list: remembers which icon each picture was
// made from, and whether that icon was still alive when it was copied.
class RecordingSink : public PictureSink {
 public:
  explicit RecordingSink(fake::FakeShell& shell) : shell_(shell) {}
  std::vector<std::wstring> pictures;
  int AddPicture(IconHandle icon) override {
    pictures.push_back(shell_.IsLive(icon) ? shell_.Describe(icon) : L"<not a live icon>");
    return static_cast<int>(pictures.size()) - 1;
  }
  void RemoveAllPictures() override { pictures.clear(); }

 private:
  fake::FakeShell& shell_;
};

struct ScanFixture {
  fake::FakeOs fake;
  RecordingSink sink{fake.shell};
  ImageStore images{sink};
  TypeList types;
  LoaderWakes wakes;
  ShellIconSource source{fake.shell};
  IconLoader loader{source, wakes.Callback()};
  ListPictures pictures{images, loader};
  LoaderWakes walkWakes;
  TypeWalk walk{fake.registry, fake.shell, walkWakes.Callback()};

  ScanFixture() {
    fake.shell.environment[L"SystemRoot"] = L"C:\\Windows";
    fake.shell.iconFiles[kShellLibrary] = 5;
  }
  // A walk, its types taken as they come and the snapshot after it, then
  // every picture drawn, as the window's loop does; false when the walk was
  // dropped before its end.
  bool Scan(TypesListed which = TypesListed::WithIcon) {
    pictures.Cancel();
    types.Clear();
    images.Clear();
    walk.Start(which);
    if (!TakeWalk()) return false;
    TakeSnapshotIfNone(fake.os, types);
    Draw(kIconSize);
    return true;
  }
  // Takes the walk's batches, as the window does when woken, until its end.
  bool TakeWalk(std::size_t most = SIZE_MAX) {
    while (walk.walking()) {
      const int seen = walkWakes.count();
      WalkBatch batch = walk.Take(most);
      batches.push_back(batch.types.size());
      const bool empty = batch.types.empty();
      AddWalked(std::move(batch.types), types, images);
      if (batch.done) return true;
      if (empty && walk.walking()) walkWakes.WaitBeyond(seen);
    }
    return false;
  }
  void Draw(int sizePx) {
    pictures.RequestMissing(sizePx, SystemStandInIcon(fake.shell));
    TakeUntilIdle(loader, wakes, [this] { return pictures.TakeDone(); });
    EXPECT_FALSE(pictures.loading()) << "a picture was asked for and never came";
  }
  // Draws every picture again at another size, as on a screen of another scale.
  void Redraw(int sizePx) {
    pictures.Cancel();
    images.Forget();
    Draw(sizePx);
  }

  // An extension, its ProgID key with a description, and a DefaultIcon;
  // nullptr leaves a value out.
  void Type(const wchar_t* extension, const wchar_t* progId, const wchar_t* description,
            const wchar_t* icon) {
    auto& reg = fake.registry;
    reg.CreateKey(kClassesRoot, extension);
    if (progId) reg.SetText(kClassesRoot, extension, L"", progId);
    if (!progId || !*progId) return;
    reg.CreateKey(kClassesRoot, progId);
    if (description) reg.SetText(kClassesRoot, progId, L"", description);
    if (icon) reg.SetText(kClassesRoot, std::wstring(progId) + L"\\DefaultIcon", L"", icon, kRegExpandSz);
  }
  std::string Snapshot(const std::wstring& path = L"C:\\Tarrow\\Defaults.dat") {
    const auto it = fake.files.files.find(path);
    return it == fake.files.files.end() ? "<missing>" : it->second;
  }
  std::vector<std::size_t> batches;  // the types of each take
  std::vector<std::wstring> Keys() const {
    std::vector<std::wstring> keys;
    for (const auto& item : types) keys.push_back(item.progId + L"," + item.picture.substr(5));
    return keys;
  }
};

// Enumeration positions are in the comments: every subkey of the root counts.
void FillRegistry(ScanFixture& f) {
  f.fake.shell.iconFiles[L"c:\\windows\\system32\\imageres.dll"] = 10;
  f.fake.shell.iconFiles[kAppExe] = 3;
  f.fake.shell.iconFiles[L"c:\\icons\\doc.ico"] = 1;
  f.fake.shell.nonIconFiles.insert(L"c:\\docs\\readme.txt");
  f.fake.registry.SetText(kClassesRoot, L"*", L"", L"not an extension");                     // 0
  f.Type(L".txt", L"txtfile", L"Text Document", L"%SystemRoot%\\system32\\imageres.dll,2");  // 1, 2
  f.Type(L".log", L"txtfile", nullptr, nullptr);                                             // 3
  f.Type(L".", L"dotfile", L"Dot", L"C:\\Icons\\doc.ico");                                   // 4, 5
  f.Type(L".EXE", L"exefile", L"Application", L"%1");                                        // 6, 7
  f.Type(L".bat", L"batfile", L"Batch", L"\"%1\"");                                          // 8, 9
  f.Type(L".nodesc", L"nodescfile", nullptr, L"C:\\Icons\\doc.ico");                         // 10, 11
  f.Type(L".noicon", L"noiconfile", L"No Icon", nullptr);                                    // 12, 13
  f.Type(L".noprog", nullptr, nullptr, nullptr);                                             // 14
  f.Type(L".comma3", L"comma3file", L"Comma", L",3");                                        // 15, 16
  f.Type(L".neg", L"negfile", L"Negative", L"C:\\Program Files\\App\\app.exe,-1");           // 17, 18
  f.Type(L".quoted", L"quotedfile", L"Quoted", L"\"C:\\Program Files\\App\\app.exe\",2");    // 19, 20
  f.Type(L".gone", L"gonefile", L"Gone", L"C:\\missing.dll,0");                              // 21, 22
  f.Type(L".readme", L"readmefile", L"Readme", L"C:\\Docs\\readme.txt");                     // 23, 24
  f.Type(L".badidx", L"badidxfile", L"Bad Index", L"C:\\Program Files\\App\\app.exe,x7");    // 25, 26
  f.fake.registry.CreateKey(kClassesRoot, L"CLSID\\{0}");                                    // 27
  f.Type(L".MiXed", L"mixedfile", L"  Spaced ", L"C:\\Icons\\doc.ico,0");                    // 28, 29
  f.Type(L".emptyprog", L"", nullptr, nullptr);                                              // 30
  f.Type(L".emptyicon", L"emptyiconfile", L"Empty Icon", L"");                               // 31, 32
  f.Type(L".keyonly", L"keyonlyfile", L"Key Only", nullptr);                                 // 33, 34
  f.fake.registry.CreateKey(kClassesRoot, L"keyonlyfile\\DefaultIcon");
}

TEST(ScanFileTypesTest, ListsEachExtensionWithProgIdDescriptionAndUsableIconLocation) {
  ScanFixture f;
  FillRegistry(f);
  ASSERT_TRUE(f.Scan());

  const std::wstring imageres = L"c:\\windows\\system32\\imageres.dll#2@16";
  const std::wstring fallback = kShellLibrary + L"#0@16";
  const struct {
    const wchar_t* progId;
    const wchar_t* pictureKey;
    const wchar_t* text;
    const wchar_t* location;
    std::wstring picture;
  } expected[] = {
      {L"txtfile", L"Index1", L"Text Document  [.txt]", L"%SystemRoot%\\system32\\imageres.dll,2", imageres},
      {L"txtfile", L"Index3", L"Text Document  [.log]", L"%SystemRoot%\\system32\\imageres.dll,2", imageres},
      {L"dotfile", L"Index4", L"Dot  [.]", L"C:\\Icons\\doc.ico", L"c:\\icons\\doc.ico#0@16"},
      {L"batfile", L"Index8", L"Batch  [.bat]", L"\"%1\"", fallback},
      // A class without a name is listed as Explorer names it.
      {L"nodescfile", L"Index10", L"NODESC File  [.nodesc]", L"C:\\Icons\\doc.ico",
       L"c:\\icons\\doc.ico#0@16"},
      {L"comma3file", L"Index15", L"Comma  [.comma3]", L",3", fallback},
      {L"negfile", L"Index17", L"Negative  [.neg]", L"C:\\Program Files\\App\\app.exe,-1",
       kAppExe + L"#-1@16"},
      {L"quotedfile", L"Index19", L"Quoted  [.quoted]", L"\"C:\\Program Files\\App\\app.exe\",2",
       kAppExe + L"#2@16"},
      {L"gonefile", L"Index21", L"Gone  [.gone]", L"C:\\missing.dll,0", fallback},
      {L"readmefile", L"Index23", L"Readme  [.readme]", L"C:\\Docs\\readme.txt", fallback},
      {L"badidxfile", L"Index25", L"Bad Index  [.badidx]", L"C:\\Program Files\\App\\app.exe,x7", fallback},
      {L"mixedfile", L"Index28", L"  Spaced   [.MiXed]", L"C:\\Icons\\doc.ico,0", L"c:\\icons\\doc.ico#0@16"},
  };
  ASSERT_EQ(f.types.size(), std::size(expected));
  ASSERT_EQ(f.images.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const auto& e = expected[i];
    SCOPED_TRACE(Narrow(e.pictureKey));
    const TypeItem& item = f.types[i];
    EXPECT_EQ(item.progId, e.progId);
    EXPECT_EQ(ItemText(item), e.text);
    EXPECT_EQ(item.location, e.location);
    EXPECT_EQ(item.picture, e.pictureKey);
    EXPECT_FALSE(IsChanged(item));
    const int picture = f.images.IndexOf(item.picture);
    ASSERT_GE(picture, 0);
    EXPECT_EQ(f.sink.pictures[static_cast<std::size_t>(picture)], e.picture);
  }
  EXPECT_EQ(f.sink.pictures.size(), 5u) << "types with the same icon share one picture";
  EXPECT_EQ(f.fake.shell.liveIcons(), 0);
  EXPECT_EQ(f.fake.shell.invalidDestroys, 0) << "a handle of 1 is no icon and must not be destroyed";

  EXPECT_EQ(f.Snapshot(), kBom +
                              "txtfile,%SystemRoot%\\system32\\imageres.dll,2\r\n"
                              "txtfile,%SystemRoot%\\system32\\imageres.dll,2\r\n"
                              "dotfile,C:\\Icons\\doc.ico\r\n"
                              "batfile,\"%1\"\r\n"
                              "nodescfile,C:\\Icons\\doc.ico\r\n"
                              "comma3file,,3\r\n"
                              "negfile,C:\\Program Files\\App\\app.exe,-1\r\n"
                              "quotedfile,\"C:\\Program Files\\App\\app.exe\",2\r\n"
                              "gonefile,C:\\missing.dll,0\r\n"
                              "readmefile,C:\\Docs\\readme.txt\r\n"
                              "badidxfile,C:\\Program Files\\App\\app.exe,x7\r\n"
                              "mixedfile,C:\\Icons\\doc.ico,0\r\n");
}

// Asked for, the types whose class has a description but no icon location:
// no DefaultIcon key, an empty value, a key without one. Each shows the
// system's icon of a file of unknown type, and the snapshot, which cannot
// say "none", leaves them out.
TEST(ScanFileTypesTest, AllListsTypesWithoutAnIconOfTheirOwnInTheLayerOfTheirClass) {
  ScanFixture f;
  FillRegistry(f);
  // The class is the user's own, over the machine's.
  f.fake.registry.SetText(kCurrentUser, ClassPath(L"noiconfile"), L"", L"No Icon, Mine");
  ASSERT_TRUE(f.Scan(TypesListed::All));

  const struct {
    const wchar_t* key;
    const wchar_t* location;
    ClassLayer layer;
  } expected[] = {
      {L"txtfile,1", L"%SystemRoot%\\system32\\imageres.dll,2", ClassLayer::Machine},
      {L"txtfile,3", L"%SystemRoot%\\system32\\imageres.dll,2", ClassLayer::Machine},
      {L"dotfile,4", L"C:\\Icons\\doc.ico", ClassLayer::Machine},
      {L"batfile,8", L"\"%1\"", ClassLayer::Machine},
      {L"nodescfile,10", L"C:\\Icons\\doc.ico", ClassLayer::Machine},
      {L"noiconfile,12", L"", ClassLayer::User},
      {L"comma3file,15", L",3", ClassLayer::Machine},
      {L"negfile,17", L"C:\\Program Files\\App\\app.exe,-1", ClassLayer::Machine},
      {L"quotedfile,19", L"\"C:\\Program Files\\App\\app.exe\",2", ClassLayer::Machine},
      {L"gonefile,21", L"C:\\missing.dll,0", ClassLayer::Machine},
      {L"readmefile,23", L"C:\\Docs\\readme.txt", ClassLayer::Machine},
      {L"badidxfile,25", L"C:\\Program Files\\App\\app.exe,x7", ClassLayer::Machine},
      {L"mixedfile,28", L"C:\\Icons\\doc.ico,0", ClassLayer::Machine},
      {L"emptyiconfile,31", L"", ClassLayer::Machine},
      {L"keyonlyfile,33", L"", ClassLayer::Machine},
  };
  ASSERT_EQ(f.Keys().size(), std::size(expected)) << Narrow(f.Keys().back());
  const std::wstring fallback = kShellLibrary + L"#0@16";
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(Narrow(expected[i].key));
    const TypeItem& item = f.types[i];
    EXPECT_EQ(f.Keys()[i], expected[i].key);
    EXPECT_EQ(item.location, expected[i].location);
    EXPECT_EQ(HasOwnIcon(item), *expected[i].location != L'\0');
    EXPECT_EQ(item.layer, expected[i].layer);
    if (!HasOwnIcon(item)) {
      const int picture = f.images.IndexOf(item.picture);
      ASSERT_GE(picture, 0);
      EXPECT_EQ(f.sink.pictures[static_cast<std::size_t>(picture)], fallback);
    }
  }
  const std::string snapshot = f.Snapshot();
  EXPECT_EQ(std::count(snapshot.begin(), snapshot.end(), '\n'), 12) << snapshot;

  // Read at once, for the command line, they are the same types.
  const TypeList listed = ListTypes(f.fake.os, TypesListed::All);
  ASSERT_EQ(listed.size(), f.types.size());
  for (std::size_t i = 0; i < listed.size(); ++i) EXPECT_EQ(listed[i].extension, f.types[i].extension);
  EXPECT_EQ(ListTypes(f.fake.os).size(), 12u);
}

TEST(ScanFileTypesTest, TypesWithoutAnyIconToDrawStayListedAndRecordedWithoutAPicture) {
  ScanFixture f;
  FillRegistry(f);
  f.fake.shell.iconFiles.erase(kShellLibrary);
  ASSERT_TRUE(f.Scan());
  // "app.exe,x7" names no index, so its whole text is a file that is not there.
  EXPECT_EQ(f.Keys(),
            (std::vector<std::wstring>{L"txtfile,1", L"txtfile,3", L"dotfile,4", L"batfile,8",
                                       L"nodescfile,10", L"comma3file,15", L"negfile,17", L"quotedfile,19",
                                       L"gonefile,21", L"readmefile,23", L"badidxfile,25", L"mixedfile,28"}));
  const int picture[] = {0, 0, 1, -1, 1, -1, 2, 3, -1, -1, -1, 1};
  for (std::size_t i = 0; i < f.types.size(); ++i)
    EXPECT_EQ(f.images.IndexOf(f.types[i].picture), picture[i]) << i;
  EXPECT_EQ(f.sink.pictures.size(), 4u);
  const std::string snapshot = f.Snapshot();
  EXPECT_EQ(std::count(snapshot.begin(), snapshot.end(), '\n'), 12);
  EXPECT_EQ(f.fake.shell.liveIcons(), 0);
  EXPECT_EQ(f.fake.shell.invalidDestroys, 0);
}

TEST(TypeWalkTest, HandsTheTypesOverInTheRootsOrderAndEndsOnce) {
  const struct {
    const char* name;
    int types;
    std::size_t most;
    std::vector<std::size_t> batches;  // the types of each take
  } cases[] = {
      {"empty root", 0, SIZE_MAX, {0}},
      {"one type", 1, SIZE_MAX, {1}},
      {"a slice at a time", 7, 3, {3, 3, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScanFixture f;
    f.fake.shell.iconFiles[L"c:\\icons\\doc.ico"] = 1;
    f.fake.registry.CreateKey(kClassesRoot, L"*");
    for (int i = 0; i < c.types; ++i) {
      const std::wstring extension = L".t" + std::to_wstring(i);
      f.Type(extension.c_str(), (L"type" + std::to_wstring(i)).c_str(), L"Text", L"C:\\Icons\\doc.ico");
    }
    // Taken only once the walk is over, so the slices are the taker's alone.
    f.walk.Start();
    while (!f.walk.over()) std::this_thread::yield();
    ASSERT_TRUE(f.TakeWalk(c.most));
    EXPECT_EQ(f.batches, c.batches);
    ASSERT_EQ(f.types.size(), static_cast<std::size_t>(c.types));
    for (int i = 0; i < c.types; ++i) {
      EXPECT_EQ(f.types[static_cast<std::size_t>(i)].extension, L".t" + std::to_wstring(i));
      // "*" is key 0; each type takes its extension's and its ProgID's keys.
      EXPECT_EQ(f.types[static_cast<std::size_t>(i)].picture, L"Index" + std::to_wstring(1 + 2 * i));
    }
    EXPECT_FALSE(f.walk.walking());
    EXPECT_FALSE(f.walk.hasResults()) << "the end is taken once";
  }
}

TEST(ScanFileTypesTest, ASecondScanRebuildsTheListButLeavesTheSnapshotAlone) {
  ScanFixture f;
  FillRegistry(f);
  ASSERT_TRUE(f.Scan());
  const std::string first = f.Snapshot();
  const std::size_t listed = f.types.size();

  // An assignment not yet applied, and a change applied to the registry.
  f.types[0].picture = L"Change1";
  f.types[0].pending = L"c:\\icons\\doc.ico,0";
  f.images.Add(L"Change1", 0);
  f.fake.registry.SetText(kClassesRoot, L"txtfile\\DefaultIcon", L"", L"C:\\Icons\\doc.ico,0");
  ASSERT_TRUE(f.Scan());

  EXPECT_EQ(f.Snapshot(), first);
  EXPECT_EQ(f.fake.files.commits, 1);
  ASSERT_EQ(f.types.size(), listed);
  EXPECT_EQ(f.types[0].picture, L"Index1");
  EXPECT_EQ(f.types[0].location, L"C:\\Icons\\doc.ico,0");
  EXPECT_FALSE(IsChanged(f.types[0]));
  EXPECT_EQ(f.images.IndexOf(L"Change1"), -1);
  EXPECT_EQ(f.images.size(), listed);
  EXPECT_EQ(f.sink.pictures[static_cast<std::size_t>(f.images.IndexOf(L"Index1"))],
            L"c:\\icons\\doc.ico#0@16");

  // Without the file, the next scan records the icons as they are now.
  f.fake.files.files.clear();
  ASSERT_TRUE(f.Scan());
  EXPECT_EQ(f.Snapshot().rfind(kBom + "txtfile,C:\\Icons\\doc.ico,0\r\ntxtfile,C:\\Icons\\doc.ico,0\r\n", 0),
            0u);
}

TEST(ScanFileTypesTest, ReadOnlyProgramFolderTakesThePerUserSnapshotOnce) {
  ScanFixture f;
  f.fake.shell.iconFiles[L"c:\\icons\\doc.ico"] = 1;
  f.Type(L".txt", L"txtfile", L"Text", L"C:\\Icons\\doc.ico,0");
  f.fake.files.readOnlyFolders.insert(L"C:\\Tarrow");
  ASSERT_TRUE(f.Scan());
  EXPECT_EQ(f.Snapshot(), "<missing>");
  EXPECT_EQ(f.Snapshot(kPerUser), kBom + "txtfile,C:\\Icons\\doc.ico,0\r\n");
  f.fake.registry.SetText(kClassesRoot, L"txtfile\\DefaultIcon", L"", L"C:\\Icons\\doc.ico,5");
  ASSERT_TRUE(f.Scan());
  EXPECT_EQ(f.Snapshot(kPerUser), kBom + "txtfile,C:\\Icons\\doc.ico,0\r\n");
  EXPECT_EQ(f.fake.files.files.size(), 1u);
}

TEST(TypeWalkTest, AWalkStartedAgainMidWayDropsTheFirstAndListsEachTypeOnce) {
  ScanFixture reference;
  FillRegistry(reference);
  ASSERT_TRUE(reference.Scan());

  ScanFixture f;
  FillRegistry(f);
  int reads = 0;
  // As Refresh pressed while the first walk reads its tenth value.
  f.fake.registry.beforeRead = [&] {
    if (++reads == 10) f.walk.Start();
  };
  ASSERT_TRUE(f.Scan());
  f.fake.registry.beforeRead = nullptr;
  EXPECT_GT(reads, 10);
  EXPECT_EQ(f.Keys(), reference.Keys());
  EXPECT_EQ(f.images.keys(), reference.images.keys());
  EXPECT_EQ(f.Snapshot(), reference.Snapshot());
  EXPECT_EQ(f.fake.shell.liveIcons(), 0);
}

TEST(TypeWalkTest, AWalkDroppedMidWayEndsWithoutItsTypesAndLeavesNoSnapshot) {
  ScanFixture f;
  FillRegistry(f);
  int reads = 0;
  std::promise<void> dropped;
  f.fake.registry.beforeRead = [&] {
    if (++reads == 20) {
      f.walk.Cancel();
      dropped.set_value();
    }
  };
  f.walk.Start();
  dropped.get_future().wait();
  EXPECT_FALSE(f.walk.walking());
  EXPECT_FALSE(f.TakeWalk());
  EXPECT_TRUE(f.types.empty());
  EXPECT_TRUE(f.fake.files.files.empty()) << "neither Defaults.dat nor its temporary file";

  f.fake.registry.beforeRead = nullptr;
  ASSERT_TRUE(f.Scan());
  const std::string snapshot = f.Snapshot();
  EXPECT_EQ(std::count(snapshot.begin(), snapshot.end(), '\n'), static_cast<long>(f.types.size()));
}

TEST(TypeWalkTest, StoppingMidWayEndsTheWorkerBeforeTheWalksEnd) {
  int walkReads = 0;
  {
    ScanFixture whole;
    FillRegistry(whole);
    whole.fake.registry.beforeRead = [&] { ++walkReads; };
    ASSERT_TRUE(whole.Scan());
    whole.fake.registry.beforeRead = nullptr;
  }
  ScanFixture f;
  FillRegistry(f);
  std::atomic<int> reads = 0;
  std::promise<void> reached;
  f.fake.registry.beforeRead = [&] {
    if (++reads != 20) return;
    reached.set_value();
    // Goes on only once Stop has asked the walk to end, as closing the
    // window does while the worker reads.
    while (f.walk.walking()) std::this_thread::yield();
  };
  f.walk.Start();
  reached.get_future().wait();
  f.walk.Stop();
  EXPECT_LT(reads.load(), walkReads) << "the worker read to the end after Stop";
  EXPECT_FALSE(f.walk.hasResults());
  f.fake.registry.beforeRead = nullptr;
}

TEST(ScanFileTypesTest, RepeatedScansReleaseEveryIcon) {
  ScanFixture f;
  FillRegistry(f);
  for (int scan = 0; scan < 50; ++scan) {
    SCOPED_TRACE(scan);
    ASSERT_TRUE(f.Scan());
    ASSERT_EQ(f.fake.shell.liveIcons(), 0);
    ASSERT_EQ(f.fake.shell.invalidDestroys, 0);
    ASSERT_EQ(f.sink.pictures.size(), 5u);
  }
  for (const auto& picture : f.sink.pictures) EXPECT_NE(picture, L"<not a live icon>");
}

}  // namespace
}  // namespace tarrow

namespace tarrow {
namespace {

TEST(ScanFileTypesTest, EachIconIsDrawnOncePerScanAndSharedByTheTypesThatShowIt) {
  ScanFixture f;
  f.fake.shell.iconFiles[kAppExe] = 3;
  for (const wchar_t* extension : {L".a", L".b", L".c"}) {
    f.Type(extension, (std::wstring(extension + 1) + L".file").c_str(), L"Shared",
           L"C:\\Program Files\\App\\app.exe,1");
  }
  f.Type(L".d", L"d.file", L"Gone", L"c:\\gone1.dll,0");
  f.Type(L".e", L"e.file", L"Gone too", L"c:\\gone2.dll,0");
  f.Type(L".f", L"f.file", L"Other index", L"C:\\Program Files\\App\\app.exe,2");
  ASSERT_TRUE(f.Scan());
  ASSERT_EQ(f.types.size(), 6u);
  // app.exe,1 once; each missing file once, then the stand-in once; app.exe,2.
  EXPECT_EQ(f.fake.shell.extractCalls, 5);
  // The stand-in is asked for once the missing files have failed.
  EXPECT_EQ(f.sink.pictures,
            (std::vector<std::wstring>{kAppExe + L"#1@16", kAppExe + L"#2@16", kShellLibrary + L"#0@16"}));
  const int picture[] = {0, 0, 0, 2, 2, 1};
  for (std::size_t i = 0; i < f.types.size(); ++i)
    EXPECT_EQ(f.images.IndexOf(f.types[i].picture), picture[i]);

  // Drawn again at another size, they still share.
  f.Redraw(24);
  EXPECT_EQ(f.sink.pictures.size(), 3u);
  for (std::size_t i = 0; i < f.types.size(); ++i)
    EXPECT_EQ(f.images.IndexOf(f.types[i].picture), picture[i]);
  EXPECT_EQ(f.fake.shell.liveIcons(), 0);
}

TEST(ImageStoreTest, RedrawingDrawsEveryPictureAgainFromItsSourceAtTheNewSize) {
  ScanFixture f;
  f.fake.shell.iconFiles[kAppExe] = 3;
  f.Type(L".a", L"a.file", L"A", L"\"%SystemRoot%\\System32\\shell32.dll\",2");
  f.Type(L".b", L"b.file", L"B", L"c:\\missing.dll,1");
  f.Type(L".c", L"c.file", L"C", L"c:\\program files\\app\\app.exe,1");
  ASSERT_TRUE(f.Scan());
  f.images.Add(L"Change1", f.fake.shell.ExtractIcons(kAppExe, 2, 1, kIconSize)[0], {kAppExe, 2});
  const auto keys = f.images.keys();

  f.Redraw(24);
  // The stand-in for the missing file is asked for once its own icon failed.
  EXPECT_EQ(f.sink.pictures, (std::vector<std::wstring>{kShellLibrary + L"#2@24", kAppExe + L"#1@24",
                                                        kAppExe + L"#2@24", kShellLibrary + L"#0@24"}));
  EXPECT_EQ(f.images.keys(), keys);
  const int redrawn[] = {0, 3, 1, 2};
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(f.images.IndexOf(keys[i]), redrawn[i]);

  // A source that went away shows the system's stand-in.
  f.fake.shell.iconFiles.erase(kAppExe);
  f.Redraw(32);
  EXPECT_EQ(f.sink.pictures.size(), 2u);
  EXPECT_EQ(f.images.IndexOf(L"Change1"), 1) << "the stand-in";
  EXPECT_EQ(f.images.IndexOf(keys[1]), 1);
  EXPECT_EQ(f.fake.shell.liveIcons(), 1) << "only the test's own icon is left";
}

}  // namespace
}  // namespace tarrow
