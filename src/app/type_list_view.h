// The list of registered file types: a virtual report list view over the
// type list, filtered by the search text and sorted by a column. Rows arrive
// in batches while the registry is read without moving those on screen; the
// selected types, the focused one and the top row hold across rebuilds. Its context menu and
// keys are its own; what they ask for goes to its listener.
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

class TypeListListener {
 public:
  virtual ~TypeListListener() = default;
  // Enter or a double-click on a type: its icons in the grid.
  virtual void OnTypeActivated(bool byKeyboard) = 0;

  // "Restore original icon", from the context menu or Delete.
  virtual void OnRestoreOriginalIcon() = 0;
  // "Import icons…" and "Export icons…", from the context menu.
  virtual void OnImportIcons() = 0;
  virtual void OnExportIcons() = 0;
  // Whether icons may be changed now (Restore original icon, Import): not
  // while the list is read or changes are written.
  virtual bool CanChangeIcons() const = 0;
  // Rows on screen wait for these pictures, the first shown first.
  virtual void OnPicturesWanted(const std::vector<std::wstring>& keys) = 0;
  // The order or the rows shown changed.
  virtual void OnRowsChanged() = 0;
};

class TypeListView {
 public:
  TypeListView(const TypeList& types, const ImageStore& images, TypeListListener& listener)
      : types_(types), images_(images), listener_(listener) {}
  TypeListView(const TypeListView&) = delete;
  TypeListView& operator=(const TypeListView&) = delete;

  bool Create(HWND parent, int id);
  HWND hwnd() const { return hwnd_; }
  // The pictures; `placeholder` is shown for a type whose picture is not
  // drawn yet.
  void SetImageList(HIMAGELIST images, int placeholder);
  void SetFonts(HFONT normal, HFONT bold);
  void Place(int left, int top, int width, int height, UINT dpi);

  // The list is read anew: the rows go, and the selected type and the top
  // row are found again as their types arrive.
  void BeginRows();
  // Types from `first` on were added to the type list. Rows that would move
  // those on screen wait for a later batch, or for `last`.
  void AddRows(std::size_t first, bool last);
  // Shows the types that match `search`.
  void SetSearch(const std::wstring& search);
  // Sorts by `column`; the same column again turns the order round.
  void SortBy(TypeColumn column);
  // Repaints the rows without rebuilding them (pictures or marks changed).
  void Repaint();

  // The focused type's position in the type list when it is selected, else
  // the first selected type's: the one the preview and Enter act on.
  std::optional<std::size_t> Selected() const;
  // Every selected type's position in the type list, in the order shown.
  std::vector<std::size_t> SelectedTypes() const;
  // Selects the type at `index` of the type list alone and scrolls it into
  // view; false when it is not shown.
  bool Select(std::size_t index);
  // Selects every row shown (Ctrl+A), the focus left where it is.
  void SelectAll();
  // The type list position of the type shown in `row`.
  std::size_t TypeAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  // The row showing the type at `index` of the type list; -1 when hidden.
  int RowOf(std::size_t index) const;
  std::size_t shown() const { return rows_.size(); }
  TypeOrder order() const { return order_; }

  // Answers the list's notifications to its parent.
  LRESULT OnNotify(const NMHDR& header);

 private:
  // Which types are selected, which one has the focus and which is the top
  // row, by extension, so that they can be found again in a rebuilt list.
  struct Memory {
    std::vector<std::wstring> selected;
    std::wstring focused, top;
  };
  Memory Remember() const;
  void Recall(Memory& memory);
  std::vector<int> SelectedRows() const;
  std::optional<std::size_t> TypeOfRow(int row) const;
  void Rebuild();
  void ScrollTopTo(std::size_t row);
  // Shows `rows`, with the types at `selected` selected and the one at
  // `focused` focused, wherever their rows are now.
  void ShowRows(std::vector<std::size_t> rows, const std::vector<std::size_t>& selected,
                std::optional<std::size_t> focused);
  std::optional<std::size_t> Focused() const;
  void ShowSortMark();
  void FitWholeRows();
  void ShowContextMenu(LPARAM at);
  bool OnCustomDraw(NMLVCUSTOMDRAW& draw, LRESULT& result);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);

  const TypeList& types_;
  const ImageStore& images_;
  TypeListListener& listener_;
  HWND hwnd_ = nullptr;
  HFONT normalFont_ = nullptr, boldFont_ = nullptr;
  RECT box_{};  // where the layout placed the list, in its parent
  std::wstring search_;
  TypeOrder order_;
  std::vector<std::size_t> rows_;
  std::vector<std::size_t> held_;  // arrived, and waiting for a place off the screen
  std::optional<Memory> recall_;   // of the list before it was read anew
  std::wstring text_;              // the text handed to the list last; it copies it at once
  int placeholder_ = -1;
  std::vector<std::wstring> wanted_;
};

}  // namespace tarrow::app
