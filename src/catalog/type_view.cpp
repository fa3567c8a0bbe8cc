#include "catalog/type_view.h"

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <utility>

namespace tarrow {
namespace {

int CompareFolded(std::wstring_view a, std::wstring_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = std::towlower(static_cast<std::wint_t>(a[i]));
    const auto y = std::towlower(static_cast<std::wint_t>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool ContainsFolded(std::wstring_view text, std::wstring_view foldedNeedle) {
  if (foldedNeedle.size() > text.size()) return false;
  return FoldCase(text).find(foldedNeedle) != std::wstring::npos;
}

bool StartsWithFolded(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && CompareFolded(text.substr(0, prefix.size()), prefix) == 0;
}

}  // namespace

TypeFields FieldsOf(const TypeItem& item) {
  return {item.description, item.extension, item.progId, ShownLocation(item)};
}

std::wstring FoldCase(std::wstring_view text) {
  std::wstring folded(text);
  for (auto& c : folded) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  return folded;
}

bool MatchesSearch(const TypeFields& fields, std::wstring_view search) {
  if (search.empty()) return true;
  const std::wstring needle = FoldCase(search);
  return ContainsFolded(fields.description, needle) || ContainsFolded(fields.extension, needle) ||
         ContainsFolded(fields.progId, needle);
}

std::wstring_view ColumnText(const TypeFields& fields, TypeColumn column) {
  switch (column) {
    case TypeColumn::Extension:
      return fields.extension;
    case TypeColumn::Location:
      return fields.location;
    case TypeColumn::Description:
      break;
  }
  return fields.description;
}

namespace {

// The view's order: by the column, then by place in the list, so that types
// that compare equal keep the list's order whichever way the column runs.
auto RowOrder(const TypeList& types, TypeOrder order) {
  return [&types, order](std::size_t a, std::size_t b) {
    const int c = CompareFolded(ColumnText(FieldsOf(types[a]), order.column),
                                ColumnText(FieldsOf(types[b]), order.column));
    if (c != 0) return order.ascending ? c < 0 : c > 0;
    return a < b;
  };
}

}  // namespace

std::vector<std::size_t> BuildTypeView(const TypeList& types, std::wstring_view search, TypeOrder order) {
  std::vector<std::size_t> rows;
  rows.reserve(types.size());
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (MatchesSearch(FieldsOf(types[i]), search)) rows.push_back(i);
  }
  std::sort(rows.begin(), rows.end(), RowOrder(types, order));
  return rows;
}

MergedRows MergeRows(const TypeList& types, const std::vector<std::size_t>& rows,
                     const std::vector<std::size_t>& incoming, std::wstring_view search, TypeOrder order,
                     std::size_t top, std::size_t visible) {
  const auto before = RowOrder(types, order);
  std::vector<std::size_t> arriving;
  for (const std::size_t index : incoming) {
    if (index < types.size() && MatchesSearch(FieldsOf(types[index]), search)) arriving.push_back(index);
  }
  std::sort(arriving.begin(), arriving.end(), before);
  MergedRows merged;
  merged.top = top;
  const std::size_t screenEnd = std::min(top + visible, rows.size());
  std::vector<std::size_t> placed;
  for (const std::size_t index : arriving) {
    const auto at =
        static_cast<std::size_t>(std::lower_bound(rows.begin(), rows.end(), index, before) - rows.begin());
    if (at > top && at < screenEnd) {
      merged.held.push_back(index);
      continue;
    }
    // Above the top row: the view scrolls with it, so the screen stays.
    if (at <= top && !rows.empty()) ++merged.top;
    placed.push_back(index);
  }
  merged.rows.reserve(rows.size() + placed.size());
  std::merge(rows.begin(), rows.end(), placed.begin(), placed.end(), std::back_inserter(merged.rows), before);
  return merged;
}

std::optional<std::size_t> FindByPrefix(const TypeList& types, const std::vector<std::size_t>& view,
                                        TypeColumn column, std::wstring_view prefix, std::size_t start) {
  if (view.empty()) return std::nullopt;
  start = start < view.size() ? start : 0;
  for (std::size_t n = 0; n < view.size(); ++n) {
    const std::size_t position = (start + n) % view.size();
    if (StartsWithFolded(ColumnText(FieldsOf(types[view[position]]), column), prefix)) return position;
  }
  return std::nullopt;
}

TypeColumn FindColumnFor(std::wstring_view prefix) {
  return prefix.starts_with(L'.') ? TypeColumn::Extension : TypeColumn::Description;
}

std::optional<std::size_t> PositionOfExtension(const TypeList& types, const std::vector<std::size_t>& view,
                                               std::wstring_view extension) {
  for (std::size_t position = 0; position < view.size(); ++position) {
    if (CompareFolded(FieldsOf(types[view[position]]).extension, extension) == 0) return position;
  }
  return std::nullopt;
}

std::size_t CountPendingTypes(const TypeList& types) {
  return static_cast<std::size_t>(std::count_if(types.begin(), types.end(), IsChanged));
}

std::wstring GroupThousands(std::size_t number) {
  std::wstring digits = std::to_wstring(number);
  for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3) {
    digits.insert(static_cast<std::size_t>(i), 1, L',');
  }
  return digits;
}

std::wstring ShownTypesText(std::size_t shown, std::size_t total) {
  const std::wstring noun = total == 1 ? L" type" : L" types";
  if (shown == total) return GroupThousands(total) + noun;
  return GroupThousands(shown) + L" of " + GroupThousands(total) + noun;
}

namespace {

std::wstring Count(std::size_t n, const wchar_t* one, const wchar_t* many) {
  return GroupThousands(n) + (n == 1 ? one : many);
}

}  // namespace

std::wstring StatusLine(std::size_t types, std::size_t pending, const std::wstring& lastOutcome) {
  std::wstring line = Count(types, L" type", L" types");
  line += pending == 0 ? L", no changes waiting"
                       : L", " + Count(pending, L" change", L" changes") + L" not applied";
  if (!lastOutcome.empty()) line += L". " + lastOutcome;
  return line;
}

std::wstring ReadingTypesText(std::size_t found) {
  return L"Reading file types\u2026 " + GroupThousands(found);
}

std::wstring UnappliedChangesQuestion(std::size_t pending, LeavingBy leaving) {
  const bool one = pending == 1;
  std::wstring text =
      one ? L"1 icon change is not applied yet." : GroupThousands(pending) + L" icon changes are not applied yet.";
  const std::wstring them = one ? L"it" : L"them", changes = one ? L"the change" : L"the changes";
  text += leaving == LeavingBy::Exit      ? L"\r\n\r\nApply " + them + L" before closing Tarrow?"
          : leaving == LeavingBy::Refresh ? L"\r\n\r\nRefresh reads every type again. Apply " + changes + L" first?"
                                          : L"\r\n\r\nAn import reads every type again. Apply " + changes + L" first?";
  return text + L"\r\n\r\nYes applies " + them + L", No drops " + them + L", Cancel goes back.";
}

}  // namespace tarrow
