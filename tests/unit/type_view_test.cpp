#include "catalog/type_view.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tarrow {
namespace {

TypeList MakeTypes() {
  TypeList types;
  types.Add({L"txtfile,4", L"Text Document  [.txt]", L"Index4", L"C:\\Windows\\notepad.exe"});
  types.Add({L"htmlfile,9", L"HTML Document  [.htm]", L"Index9", L"C:\\Icons\\P.dll"});
  types.Add({L"htmlfile,10", L"HTML Document  [.html]", L"Index10", L"C:\\Icons\\P.dll"});
  types.Add(
      {L"Word.Document.8,2", L"Microsoft Word 97 - 2003 Document  [.doc]", L"Index2", L"c:\\office\\w.exe"});
  types.Add(
      {L"batfile,1", L"Windows Batch File  [.bat]", L"Index1", L"%SystemRoot%\\System32\\imageres.dll"});
  return types;
}

TEST(TypeViewTest, FieldsComeFromTheItemsText) {
  struct Case {
    std::wstring key, text;
    std::wstring description, extension, progId;
  };
  const std::vector<Case> cases = {
      {L"txtfile,4", L"Text Document  [.txt]", L"Text Document", L".txt", L"txtfile"},
      // A description with brackets of its own: the last "  [" starts the extension.
      {L"a,b,12", L"Pack [old]  [x]  [.pk]", L"Pack [old]  [x]", L".pk", L"a,b"},
      {L"nocomma", L"Odd text", L"Odd text", L"", L"nocomma"},
      {L"p,1", L"  [.e]", L"", L".e", L"p"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.text.begin(), c.text.end()));
    const TypeItem item{c.key, c.text, L"Index1", L"f.dll"};
    const TypeFields fields = FieldsOf(item);
    EXPECT_EQ(fields.description, c.description);
    EXPECT_EQ(fields.extension, c.extension);
    EXPECT_EQ(fields.progId, c.progId);
    EXPECT_EQ(fields.location, L"f.dll");
  }
}

TEST(TypeViewTest, TheSearchLooksAtDescriptionExtensionAndProgIdWithoutCase) {
  const TypeList types = MakeTypes();
  struct Case {
    std::wstring search;
    std::vector<std::size_t> rows;  // sorted by description
  };
  const std::vector<Case> cases = {
      {L"", {1, 2, 3, 0, 4}}, {L"document", {1, 2, 3, 0}},
      {L"HTM", {1, 2}},       {L".html", {2}},
      {L"word.doc", {3}},  // the ProgID only
      {L"BATFILE", {4}},   // the ProgID, in another case
      {L"imageres", {}},   // the icon file is not searched
      {L"notepad", {}},       {L"zzz", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.search.begin(), c.search.end()));
    EXPECT_EQ(BuildTypeView(types, c.search, {}), c.rows);
  }
}

TEST(TypeViewTest, EveryColumnSortsBothWaysAndTiesKeepTheListOrder) {
  const TypeList types = MakeTypes();
  struct Case {
    TypeOrder order;
    std::vector<std::size_t> rows;
  };
  const std::vector<Case> cases = {
      {{TypeColumn::Description, true}, {1, 2, 3, 0, 4}},
      // The two HTML types tie, and keep their order either way.
      {{TypeColumn::Description, false}, {4, 0, 3, 1, 2}},
      {{TypeColumn::Extension, true}, {4, 3, 1, 2, 0}},
      {{TypeColumn::Extension, false}, {0, 2, 1, 3, 4}},
      // "%" sorts before letters; case does not count: "C:\Icons", "c:\office",
      // "C:\Windows".
      {{TypeColumn::Location, true}, {4, 1, 2, 3, 0}},
      {{TypeColumn::Location, false}, {0, 3, 1, 2, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.order.column) << " " << c.order.ascending);
    EXPECT_EQ(BuildTypeView(types, L"", c.order), c.rows);
  }
}

TEST(TypeViewTest, TypingFindsTheNextRowThatBeginsWithThePrefix) {
  const TypeList types = MakeTypes();
  const std::vector<std::size_t> view = BuildTypeView(types, L"", {});  // H, H, M, T, W
  struct Case {
    TypeColumn column;
    std::wstring prefix;
    std::size_t start;
    std::optional<std::size_t> found;
  };
  const std::vector<Case> cases = {
      {TypeColumn::Description, L"t", 0, 3},
      {TypeColumn::Description, L"TEXT D", 0, 3},
      {TypeColumn::Description, L"h", 0, 0},
      {TypeColumn::Description, L"h", 1, 1},
      {TypeColumn::Description, L"h", 2, 0},  // wraps round
      {TypeColumn::Description, L"w", 4, 4},
      {TypeColumn::Description, L"x", 0, std::nullopt},
      {TypeColumn::Description, L"Text Document!", 0, std::nullopt},
      {TypeColumn::Description, L"m", 99, 2},  // a start past the end starts at the top
      {TypeColumn::Extension, L".ht", 0, 0},
      {TypeColumn::Extension, L".htmL", 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.prefix.begin(), c.prefix.end()) << " from " << c.start);
    EXPECT_EQ(FindByPrefix(types, view, c.column, c.prefix, c.start), c.found);
  }
  EXPECT_EQ(FindByPrefix(types, {}, TypeColumn::Description, L"t", 0), std::nullopt);
}

TEST(TypeViewTest, ATypeIsFoundAgainByItsExtension) {
  const TypeList types = MakeTypes();
  const std::vector<std::size_t> view = BuildTypeView(types, L"", {TypeColumn::Extension, true});
  EXPECT_EQ(PositionOfExtension(types, view, L".htm"), 2u);
  EXPECT_EQ(PositionOfExtension(types, view, L".HTML"), 3u);
  EXPECT_EQ(PositionOfExtension(types, view, L".gone"), std::nullopt);
  EXPECT_EQ(PositionOfExtension(types, BuildTypeView(types, L"word", {}), L".htm"), std::nullopt);
}

TEST(TypeViewTest, PendingChangesAreCountedOncePerProgId) {
  TypeList types = MakeTypes();
  EXPECT_EQ(CountPendingTypes(types), 0u);
  types[1].SmallIcon = L"Change1";
  EXPECT_EQ(CountPendingTypes(types), 1u);
  types[2].SmallIcon = L"Change2";  // the same ProgID as row 1
  EXPECT_EQ(CountPendingTypes(types), 1u);
  types[0].SmallIcon = L"Change3";
  EXPECT_EQ(CountPendingTypes(types), 2u);
}

TEST(TypeViewTest, CountsAreGroupedByThousands) {
  for (const auto& [number, text] : std::vector<std::pair<std::size_t, std::wstring>>{
           {0, L"0"}, {999, L"999"}, {1000, L"1,000"}, {12345, L"12,345"}, {1234567, L"1,234,567"}}) {
    EXPECT_EQ(GroupThousands(number), text);
  }
  EXPECT_EQ(ShownTypesText(1500, 1500), L"1,500 types");
  EXPECT_EQ(ShownTypesText(12, 1500), L"12 of 1,500 types");
  EXPECT_EQ(ShownTypesText(1, 1), L"1 type");
  EXPECT_EQ(ShownTypesText(0, 1), L"0 of 1 type");
}

TEST(TypeViewTest, TheStatusLineCountsTypesAndChangesAndSaysTheLastOutcome) {
  EXPECT_EQ(StatusLine(1500, 0, L""), L"1,500 types, no changes waiting");
  EXPECT_EQ(StatusLine(1, 1, L""), L"1 type, 1 change not applied");
  EXPECT_EQ(StatusLine(2, 2, L"Apply: 1 type changed."),
            L"2 types, 2 changes not applied.  Apply: 1 type changed.");
  EXPECT_EQ(ApplyOutcomeText(3, 0), L"Apply: 3 types changed.");
  EXPECT_EQ(ApplyOutcomeText(1, 2), L"Apply: 1 type changed, 2 failed.");
  EXPECT_EQ(ApplyOutcomeText(0, 1), L"Apply: 0 types changed, 1 failed.");
  EXPECT_EQ(RestoreOutcomeText(true, 1234, 0), L"Restore: 1,234 icons restored.");
  EXPECT_EQ(RestoreOutcomeText(true, 1, 3), L"Restore: 1 icon restored, 3 failed.");
  EXPECT_EQ(RestoreOutcomeText(false, 0, 0), L"Restore: no record of the original icons, nothing restored.");
}

TEST(TypeViewTest, TheQuestionBeforeLosingChangesCountsThem) {
  EXPECT_EQ(UnappliedChangesQuestion(1, LeavingBy::Exit),
            L"1 icon change is not applied yet.\r\n\r\nApply them before closing Tarrow?\r\n\r\n"
            L"Yes applies them, No drops them, Cancel goes back.");
  EXPECT_EQ(UnappliedChangesQuestion(1200, LeavingBy::Refresh),
            L"1,200 icon changes are not applied yet.\r\n\r\nRefresh reads every type again. Apply the "
            L"changes first?\r\n\r\nYes applies them, No drops them, Cancel goes back.");
}

}  // namespace
}  // namespace tarrow
