// The list of registered file types: a virtual report list view over the
// type list, filtered by the search text and sorted by a column. It keeps
// the selected type and the top row across rebuilds of the list.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalog/type_list.h"
#include "catalog/type_view.h"

namespace tarrow::app {

class TypeListView {
 public:
  TypeListView(const TypeList& types, const ImageStore& images) : types_(types), images_(images) {}
  TypeListView(const TypeListView&) = delete;
  TypeListView& operator=(const TypeListView&) = delete;

  bool Create(HWND parent, int id);
  HWND hwnd() const { return hwnd_; }
  // The pictures; `placeholder` is shown for a type whose picture is not
  // drawn yet.
  void SetImageList(HIMAGELIST images, int placeholder);
  void SetFonts(HFONT normal, HFONT bold);
  void Place(int left, int top, int width, int height, UINT dpi);

  // Which type is selected and which is the top row, by extension, so that
  // they can be found again in a rebuilt list.
  struct Memory {
    std::wstring selected, top;
  };
  Memory Remember() const;
  // Selects and scrolls to the remembered types where they are still shown.
  void Recall(const Memory& memory);
  // Takes the rows from the type list as it is now. Rows of the old list mean
  // nothing any more (a rescan has begun or ended), so nothing is kept.
  void ResetRows();
  // Shows the types that match `search`.
  void SetSearch(const std::wstring& search);
  // Sorts by `column`; the same column again turns the order round.
  void SortBy(TypeColumn column);
  // Repaints the rows without rebuilding them (pictures or marks changed).
  void Repaint();

  // The selected type's position in the type list.
  std::optional<std::size_t> Selected() const;
  // Selects the type at `index` of the type list and scrolls it into view;
  // false when it is not shown.
  bool Select(std::size_t index);
  // The type list position of the type shown in `row`.
  std::size_t TypeAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  // The row showing the type at `index` of the type list; -1 when hidden.
  int RowOf(std::size_t index) const;
  std::size_t shown() const { return rows_.size(); }
  TypeOrder order() const { return order_; }

  // The picture keys of rows shown without their picture since the last
  // call, the first shown first.
  std::vector<std::wstring> TakeWantedPictures() { return std::exchange(wanted_, {}); }
  bool wantsPictures() const { return !wanted_.empty(); }

  // Answers the list's notifications that are the view's own business;
  // false for those its owner handles (activation, clicks, keys).
  bool OnNotify(const NMHDR& header, LRESULT& result);

 private:
  void ShowSortMark();
  void FitWholeRows();

  const TypeList& types_;
  const ImageStore& images_;
  HWND hwnd_ = nullptr;
  HFONT normalFont_ = nullptr, boldFont_ = nullptr;
  RECT box_{};  // where the layout placed the list, in its parent
  std::wstring search_;
  TypeOrder order_;
  std::vector<std::size_t> rows_;
  std::wstring text_;  // the text handed to the list last; it copies it at once
  int placeholder_ = -1;
  std::vector<std::wstring> wanted_;
};

}  // namespace tarrow::app
