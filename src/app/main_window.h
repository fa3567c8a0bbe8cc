// The main window: it owns the run-time state as models (the type list, its
// pictures, the picker's counters) and composes the views that show them:
// the type list view, the icon grid and the command buttons. The registry is
// read on a worker (TypeFeed), the list's icons drawn on another
// (ListIconFeed), changes made and written by ChangeCommands. The window
// procedure maps messages to named handlers, each a few lines that call down
// into the portable code.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/change_commands.h"
#include "app/dialog_focus.h"
#include "app/fonts.h"
#include "app/icon_file_picker.h"
#include "app/icon_grid.h"
#include "app/icon_preview.h"
#include "app/image_list.h"
#include "app/list_icon_feed.h"
#include "app/main_controls.h"
#include "app/type_feed.h"
#include "app/type_list_view.h"
#include "app/window.h"
#include "app/window_placement.h"
#include "catalog/type_list.h"
#include "catalog/type_view.h"
#include "picker/selection.h"
#include "picker/window_layout.h"
#include "platform/os.h"
#include "platform/win32/handles.h"

namespace tarrow::app {

inline constexpr wchar_t kMainWindowClass[] = L"TarrowMainWindow";
// Posted by a second copy of the program, which the user just answered:
// the window comes forward.
inline constexpr wchar_t kComeForwardMessage[] = L"Tarrow.ComeForward";

class MainWindow : public Window<MainWindow>,
                   private TypeListListener,
                   private IconGridListener,
                   private TypeFeedListener,
                   private ListIconFeedListener,
                   private ChangeCommandsListener {
 public:
  explicit MainWindow(Os& os);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow();

  // Creates the window and its controls, hidden, at the default size, with
  // its caption.
  bool Create();
  // The start-up: refuses a second copy, or starts reading the registry.
  // False when the program must end (another copy runs).
  bool OnLoad(bool prevInstance);
  // Shows the window where the user left it last time, or at its first-run
  // place.
  void Show();

  // The commands.
  void OnRefresh();
  void OnExit();
  void OnBrowse() { iconFile_.OnBrowse(); }
  void OnSearchChanged();
  // The list reads the registry anew, with or without the types that have
  // no icon of their own, as the check box now says.
  void OnShowTypesWithoutIconClicked();
  void OnTypeActivated(bool byKeyboard = false) override;
  void OnIconFramed(std::int64_t cell) override;
  void OnIconsCounted(std::int64_t count) override { iconFile_.OnIconsCounted(count); }

  // The changes.
  void OnApply() { commands_.OnApply(); }
  void OnRestoreDefaults() { commands_.OnRestoreDefaults(); }
  void OnRestoreOriginalIcon() override { commands_.OnRestoreOriginalIcon(); }
  void OnIconChosen(std::int64_t cell) override { commands_.OnIconChosen(iconFile_.File(), cell); }
  void OnImportIcons() override { commands_.OnImportIcons(hwnd_); }
  void OnExportIcons() override { commands_.OnExportIcons(hwnd_); }

  // What tests and the other copy look at.
  const TypeList& types() const { return types_; }
  const ImageStore& images() const { return images_; }
  const PickerState& picker() const { return iconFile_.state(); }
  IconGrid& iconGrid() { return grid_; }
  IconPreview& preview() { return preview_; }
  // Whether the shell is still being asked about the icons just written.
  bool checkingShell() const { return commands_.checkingShell(); }
  // Whether Apply or Restore Defaults is writing.
  bool writing() const { return commands_.writing(); }
  TypeListView& typeList() { return list_; }
  // Whether the registry is being read.
  bool walking() const { return feed_.walking(); }
  // Whether changes are being written, the registry read, or icons of the
  // list or the grid drawn.
  bool loadingIcons() const {
    return writing() || walking() || listIcons_.loading() || grid_.loading() || preview_.loading();
  }
  HWND control(Part part) const { return controls_[part]; }
  std::optional<std::size_t> SelectedItem() const { return list_.Selected(); }
  bool SelectItem(std::size_t index) { return list_.Select(index); }
  void SetIconFileText(const std::wstring& text) { iconFile_.SetFileText(text); }
  std::wstring IconFileText() const { return iconFile_.FileText(); }
  std::wstring StatusText() const;
  // The status line's tip: its whole text when the line cuts it, else empty.
  const std::wstring& StatusTip() const { return controls_.statusTip(); }

 private:
  friend class Window<MainWindow>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnSize();
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void UpdateScale();
  void OnCommand(int id, int code);
  void OnEnterKey();
  void OnEscapeKey();
  void OnDestroy();
  void OnComeForward();
  // Reads the registry anew on the worker; the list fills as it goes.
  void StartWalk();
  void OnTypesFound(std::vector<TypeItem> types, bool done) override;
  void OnWalkEnded();
  void OnListPicturesArrived() override;
  void OnPicturesWanted(const std::vector<std::wstring>& keys) override;
  void OnRowsChanged() override;
  bool CanChangeIcons() const override { return commands_.CanChange(); }
  void OnChangesUpdated() override;
  void OnWalkNeeded() override { StartWalk(); }
  void OnLeave(LeavingBy leaving) override;
  void UpdateCommands();
  void UpdateStatus();
  int SmallIconPx() const;

  Os& os_;
  TypeList types_;
  ImageListSink typeImages_;
  ImageStore images_{typeImages_};
  TypeListView list_{types_, images_, *this};
  IconGrid grid_;
  IconPreview preview_{os_};
  IconFilePicker iconFile_{os_, types_, grid_, preview_};
  ListIconFeed listIcons_;
  TypeFeed feed_;
  ChangeCommands commands_{os_, types_, images_, typeImages_, list_, feed_, *this};
  WindowPlacement placement_;
  UiFonts fonts_;
  MainControls controls_{list_, grid_, preview_};
  DialogFocus focus_;
  win32::UniqueHicon bigIcon_, smallIcon_;
  bool quitOnDestroy_ = true;
  UINT dpi_ = 96;
};

}  // namespace tarrow::app
