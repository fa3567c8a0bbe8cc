// What the type list shows of the model: which types pass the search text,
// in which order, which one a typed prefix finds, and how many changes wait
// for Apply. Rows are positions in the TypeList; the view never copies items.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalog/type_list.h"

namespace tarrow {

// The texts of one type as the list's columns show them.
struct TypeFields {
  std::wstring_view description;
  std::wstring_view extension;
  std::wstring_view progId;
  std::wstring_view location;  // the pending location once assigned, else the current one
};

TypeFields FieldsOf(const TypeItem& item);

enum class TypeColumn { Description, Extension, Location };

// By extension at first: the order in which the scan finds the types.
struct TypeOrder {
  TypeColumn column = TypeColumn::Extension;
  bool ascending = true;
};

// Lower case for comparing without regard to case, character by character,
// so that positions in the text stay where they were.
std::wstring FoldCase(std::wstring_view text);

// Whether the type's description, extension or ProgID holds `search`, without
// regard to case. An empty search matches every type.
bool MatchesSearch(const TypeFields& fields, std::wstring_view search);

// The rows of `types` that match `search`, sorted by `order`. Types that
// compare equal keep the order of the list, so a re-sort never shuffles them.
std::vector<std::size_t> BuildTypeView(const TypeList& types, std::wstring_view search, TypeOrder order);

// Where newly listed types go in a view on screen, rows arriving while the
// registry is read. The view is in its order; `top` is its row on screen
// first and `visible` how many rows the screen shows. A type whose place is
// among the rows on screen, below the first, would push rows the user may be
// pointing at: it is held back, and offered again with the next batch (the
// screen may have moved). With `visible` 0 nothing is held, and the view is
// what BuildTypeView gives.
struct MergedRows {
  std::vector<std::size_t> rows;
  std::vector<std::size_t> held;  // new types not placed yet
  std::size_t top = 0;            // the row that was on top, where it is now
};
MergedRows MergeRows(const TypeList& types, const std::vector<std::size_t>& rows,
                     const std::vector<std::size_t>& incoming, std::wstring_view search, TypeOrder order,
                     std::size_t top, std::size_t visible);

// The text of a type in a column.
std::wstring_view ColumnText(const TypeFields& fields, TypeColumn column);

// Type-to-find: the first position in `view`, from `start` on and wrapping
// round to it, whose text in `column` begins with `prefix`, without regard to
// case; nullopt when none does.
std::optional<std::size_t> FindByPrefix(const TypeList& types, const std::vector<std::size_t>& view,
                                        TypeColumn column, std::wstring_view prefix, std::size_t start);

// Which column type-to-find looks in: the extension for text that starts
// with its dot, the description for any other.
TypeColumn FindColumnFor(std::wstring_view prefix);

// The position in `view` of the type with this extension; nullopt when it is
// not shown (gone after a rescan, or filtered out).
std::optional<std::size_t> PositionOfExtension(const TypeList& types, const std::vector<std::size_t>& view,
                                               std::wstring_view extension);

// The number of listed types with a change waiting for Apply, as the list
// marks them (two extensions of one ProgID are two).
std::size_t CountPendingTypes(const TypeList& types);

// "1,234": thousands grouped as the list's count and status line show them.
std::wstring GroupThousands(std::size_t number);

// The count beside the list's heading: "1,500 types", or "12 of 1,500 types"
// while a search hides some.
std::wstring ShownTypesText(std::size_t shown, std::size_t total);

// What the status line says: the number of types, the changes waiting for
// Apply, and the outcome of the last Apply or Restore, if any.
std::wstring StatusLine(std::size_t types, std::size_t pending, const std::wstring& lastOutcome);

// What the status line says while the registry is read: "Reading file
// types… 1,200", the types found so far.
std::wstring ReadingTypesText(std::size_t found);

// What would drop unapplied changes.
enum class LeavingBy { Exit, Refresh, Import };
// The question asked first: Yes applies, No drops the changes, Cancel stays.
std::wstring UnappliedChangesQuestion(std::size_t pending, LeavingBy leaving);

}  // namespace tarrow
