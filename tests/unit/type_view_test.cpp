#include "catalog/type_view.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tarrow {
namespace {

TypeList MakeTypes() {
  TypeList types;
  types.Add({.extension = L".txt",
             .progId = L"txtfile",
             .description = L"Text Document",
             .location = L"C:\\Windows\\notepad.exe",
             .pending = {},
             .picture = L"Index4"});
  types.Add({.extension = L".htm",
             .progId = L"htmlfile",
             .description = L"HTML Document",
             .location = L"C:\\Icons\\P.dll",
             .pending = {},
             .picture = L"Index9"});
  types.Add({.extension = L".html",
             .progId = L"htmlfile",
             .description = L"HTML Document",
             .location = L"C:\\Icons\\P.dll",
             .pending = {},
             .picture = L"Index10"});
  types.Add({.extension = L".doc",
             .progId = L"Word.Document.8",
             .description = L"Microsoft Word 97 - 2003 Document",
             .location = L"c:\\office\\w.exe",
             .pending = {},
             .picture = L"Index2"});
  types.Add({.extension = L".bat",
             .progId = L"batfile",
             .description = L"Windows Batch File",
             .location = L"%SystemRoot%\\System32\\imageres.dll",
             .pending = {},
             .picture = L"Index1"});
  return types;
}

TEST(TypeViewTest, TheLocationColumnShowsThePendingLocationOnceAssigned) {
  TypeItem item{.extension = L".txt",
                .progId = L"txtfile",
                .description = L"Text",
                .location = L"a.dll,1",
                .pending = {},
                .picture = L"Index1"};
  EXPECT_EQ(FieldsOf(item).location, L"a.dll,1");
  item.pending = L"b.dll,2";
  EXPECT_EQ(FieldsOf(item).location, L"b.dll,2");
  EXPECT_EQ(FieldsOf(item).progId, L"txtfile");
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
    EXPECT_EQ(BuildTypeView(types, c.search, {TypeColumn::Description, true}), c.rows);
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

// Types named by letters: ".a" described "Type A", in the order given.
TypeList LetterTypes(std::wstring_view letters) {
  TypeList types;
  for (const wchar_t letter : letters) {
    const wchar_t upper = static_cast<wchar_t>(letter - L'a' + L'A');
    types.Add({.extension = std::wstring(L".") + letter,
               .progId = std::wstring(L"file") + letter,
               .description = std::wstring(L"Type ") + upper,
               .location = L"x.dll",
               .pending = {},
               .picture = {}});
  }
  return types;
}

TEST(TypeViewTest, ArrivingRowsMergeIntoTheViewWithoutMovingTheRowsOnScreen) {
  // Every letter a type; the view shows some, the walk brings others.
  const std::wstring kLetters = L"bdfhjlnacegikmo";
  const TypeList types = LetterTypes(kLetters);
  const auto indices = [&](std::wstring_view letters) {
    std::vector<std::size_t> result;
    for (const wchar_t letter : letters) result.push_back(kLetters.find(letter));
    return result;
  };
  const auto letters = [&](const std::vector<std::size_t>& rows) {
    std::wstring result;
    for (const std::size_t row : rows) result += kLetters[row];
    return result;
  };
  const TypeOrder up{TypeColumn::Extension, true}, down{TypeColumn::Extension, false};
  const struct {
    const char* name;
    const wchar_t* rows;
    const wchar_t* incoming;
    const wchar_t* search;
    TypeOrder order;
    std::size_t top, visible;
    const wchar_t* merged;
    const wchar_t* held;
    std::size_t newTop;
  } cases[] = {
      {"an empty view takes every row", L"", L"dba", L"", up, 0, 5, L"abd", L"", 0},
      {"after the last row, placed", L"bdf", L"hj", L"", up, 0, 5, L"bdfhj", L"", 0},
      {"among the rows on screen, held", L"bdfhjln", L"c", L"", up, 0, 3, L"bdfhjln", L"c", 0},
      {"above the top row, placed; the top follows", L"bdfhjln", L"ca", L"", up, 2, 3, L"abcdfhjln", L"", 4},
      {"just above the top row, placed", L"bdfhjln", L"e", L"", up, 2, 3, L"bdefhjln", L"", 3},
      {"below the screen, placed", L"bdfhjln", L"mi", L"", up, 0, 3, L"bdfhijlmn", L"", 0},
      {"once the walk is over nothing waits", L"bdfhjln", L"c", L"", up, 0, 0, L"bcdfhjln", L"", 0},
      {"the search keeps out what it misses", L"", L"abc", L"type b", up, 0, 5, L"b", L"", 0},
      {"the other way round", L"nljhfdb", L"amo", L"", down, 0, 3, L"onljhfdba", L"m", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MergedRows merged =
        MergeRows(types, indices(c.rows), indices(c.incoming), c.search, c.order, c.top, c.visible);
    EXPECT_EQ(letters(merged.rows), c.merged);
    EXPECT_EQ(letters(merged.held), c.held);
    EXPECT_EQ(merged.top, c.newTop);
  }
}

TEST(TypeViewTest, RowsMergedBatchByBatchEndInTheViewsOwnOrder) {
  const std::wstring kLetters = L"mkeagcoibdjfhln";
  const TypeList types = LetterTypes(kLetters);
  const struct {
    TypeOrder order;
    const wchar_t* expected;
  } cases[] = {
      {{TypeColumn::Extension, true}, L"abcdefghijklmno"},
      {{TypeColumn::Description, false}, L"onmlkjihgfedcba"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    std::vector<std::size_t> rows, waiting;
    for (std::size_t first = 0; first < types.size(); first += 4) {
      std::vector<std::size_t> batch = waiting;
      for (std::size_t i = first; i < std::min(first + 4, types.size()); ++i) batch.push_back(i);
      MergedRows merged = MergeRows(types, rows, batch, L"", c.order, 1, 3);
      rows = std::move(merged.rows);
      waiting = std::move(merged.held);
    }
    rows = MergeRows(types, rows, waiting, L"", c.order, 1, 0).rows;
    std::wstring shown;
    for (const std::size_t row : rows) shown += kLetters[row];
    EXPECT_EQ(shown, c.expected);
  }
}

TEST(TypeViewTest, TypingFindsTheNextRowThatBeginsWithThePrefix) {
  const TypeList types = MakeTypes();
  const std::vector<std::size_t> view =
      BuildTypeView(types, L"", {TypeColumn::Description, true});  // H, H, M, T, W
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
  EXPECT_EQ(FindColumnFor(L".ht"), TypeColumn::Extension);
  EXPECT_EQ(FindColumnFor(L"h.t"), TypeColumn::Description);
  EXPECT_EQ(FindColumnFor(L""), TypeColumn::Description);
}

TEST(TypeViewTest, ATypeIsFoundAgainByItsExtension) {
  const TypeList types = MakeTypes();
  const std::vector<std::size_t> view = BuildTypeView(types, L"", {TypeColumn::Extension, true});
  EXPECT_EQ(PositionOfExtension(types, view, L".htm"), 2u);
  EXPECT_EQ(PositionOfExtension(types, view, L".HTML"), 3u);
  EXPECT_EQ(PositionOfExtension(types, view, L".gone"), std::nullopt);
  EXPECT_EQ(PositionOfExtension(types, BuildTypeView(types, L"word", {}), L".htm"), std::nullopt);
  EXPECT_EQ(BuildTypeView(types, L"", {}), (std::vector<std::size_t>{4, 3, 1, 2, 0}))
      << "by extension at first";
}

TEST(TypeViewTest, EveryMarkedTypeCountsAsAPendingChange) {
  TypeList types = MakeTypes();
  EXPECT_EQ(CountPendingTypes(types), 0u);
  types[1].pending = L"x.dll,1";
  EXPECT_EQ(CountPendingTypes(types), 1u);
  types[2].pending = L"x.dll,1";  // the same ProgID as row 1: two rows marked
  EXPECT_EQ(CountPendingTypes(types), 2u);
  types[0].pending = L"x.dll,2";
  EXPECT_EQ(CountPendingTypes(types), 3u);
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

TEST(TypeViewTest, WhileTheRegistryIsReadTheStatusLineCountsTheTypesFound) {
  EXPECT_EQ(ReadingTypesText(0), L"Reading file types\u2026 0");
  EXPECT_EQ(ReadingTypesText(1200), L"Reading file types\u2026 1,200");
}

TEST(TypeViewTest, TheStatusLineCountsTypesAndChangesAndSaysTheLastOutcome) {
  EXPECT_EQ(StatusLine(1500, 0, L""), L"1,500 types, no changes waiting");
  EXPECT_EQ(StatusLine(1, 1, L""), L"1 type, 1 change not applied");
  EXPECT_EQ(StatusLine(2, 2, L"Apply: 1 type changed."),
            L"2 types, 2 changes not applied. Apply: 1 type changed.");
}

TEST(TypeViewTest, TheQuestionBeforeLosingChangesCountsThem) {
  EXPECT_EQ(UnappliedChangesQuestion(1, LeavingBy::Exit),
            L"1 icon change is not applied yet.\r\n\r\nApply it before closing Tarrow?\r\n\r\n"
            L"Yes applies it, No drops it, Cancel goes back.");
  EXPECT_EQ(UnappliedChangesQuestion(1, LeavingBy::Refresh),
            L"1 icon change is not applied yet.\r\n\r\nRefresh reads every type again. Apply the "
            L"change first?\r\n\r\nYes applies it, No drops it, Cancel goes back.");
  EXPECT_EQ(UnappliedChangesQuestion(1200, LeavingBy::Refresh),
            L"1,200 icon changes are not applied yet.\r\n\r\nRefresh reads every type again. Apply the "
            L"changes first?\r\n\r\nYes applies them, No drops them, Cancel goes back.");
  EXPECT_EQ(UnappliedChangesQuestion(2, LeavingBy::Import),
            L"2 icon changes are not applied yet.\r\n\r\nAn import reads every type again. Apply the "
            L"changes first?\r\n\r\nYes applies them, No drops them, Cancel goes back.");
}

}  // namespace
}  // namespace tarrow
