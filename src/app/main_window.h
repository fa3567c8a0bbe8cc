// The main window: it owns the run-time state as models (the type list, its
// pictures, the picker's counters) and composes the views that show them:
// the type list view, the icon grid and the command buttons. The registry is
// read on a worker (TypeFeed), the list's icons drawn on another
// (ListIconFeed). The window procedure maps messages to named handlers, each
// a few lines that call down into the portable code.
#pragma once

#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/fonts.h"
#include "app/icon_grid.h"
#include "app/icon_preview.h"
#include "app/image_list.h"
#include "app/list_icon_feed.h"
#include "app/main_controls.h"
#include "app/shell_check_task.h"
#include "app/type_feed.h"
#include "app/type_list_view.h"
#include "app/window.h"
#include "app/window_placement.h"
#include "catalog/type_list.h"
#include "catalog/type_view.h"
#include "changes/change_model.h"
#include "changes/restore.h"
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
                   private ListIconFeedListener {
 public:
  explicit MainWindow(Os& os);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow();

  // Creates the window and its controls, hidden, at the default size.
  bool Create();
  // The start-up: refuses a second copy, starts reading the registry, sets
  // the caption. False when the program must end (another copy runs).
  bool OnLoad(bool prevInstance);
  // Shows the window where the user left it last time, or at its first-run
  // place.
  void Show();

  // The commands.
  void OnRefresh();
  void OnExit();
  void OnBrowse();
  void OnIconFileChanged();
  void OnSearchChanged();
  void OnTypeActivated(bool byKeyboard = false) override;
  void OnIconFramed(std::int64_t cell) override;
  void OnIconsCounted(std::int64_t count) override;

  // The changes.
  void OnApply();
  void OnRestoreDefaults();
  void OnRestoreOriginalIcon() override;
  void OnIconChosen(std::int64_t cell) override;
  void OnImportIcons() override;
  void OnExportIcons() override;
  // The shell answered for the icons Apply or a restore wrote.
  void OnShellChecked();

  // What tests and the other copy look at.
  const TypeList& types() const { return types_; }
  const ImageStore& images() const { return images_; }
  const PickerState& picker() const { return picker_; }
  IconGrid& iconGrid() { return grid_; }
  IconPreview& preview() { return preview_; }
  // Whether the shell is still being asked about the icons just written.
  bool checkingShell() const { return shellCheck_.running(); }
  TypeListView& typeList() { return list_; }
  // Whether the registry is being read.
  bool walking() const { return feed_.walking(); }
  // Whether the registry is being read, or icons of the list or the grid drawn.
  bool loadingIcons() const {
    return walking() || listIcons_.loading() || grid_.loading() || preview_.loading();
  }
  HWND control(Part part) const { return controls_[part]; }
  std::optional<std::size_t> SelectedItem() const { return list_.Selected(); }
  bool SelectItem(std::size_t index) { return list_.Select(index); }
  void SetIconFileText(const std::wstring& text);
  std::wstring IconFileText() const;
  std::wstring StatusText() const;

 private:
  friend class Window<MainWindow>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void CreateControls();
  void OnSize();
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void UpdateScale();
  void OnActivate(bool active);
  void OnCommand(int id, int code);
  void OnEnterKey();
  void OnEscapeKey();
  void OnDestroy();
  void OnComeForward();
  LRESULT OnColorStatic(HDC dc, HWND control);
  // Reads the registry anew on the worker; the list fills as it goes.
  void StartWalk();
  void OnTypesFound(std::vector<TypeItem> types, bool done) override;
  void OnWalkEnded();
  void OnListPicturesArrived() override;
  void OnPicturesWanted(const std::vector<std::wstring>& keys) override;
  void OnRowsChanged() override;
  bool CanRestoreOriginalIcon() const override;
  bool CanImportIcons() const override;
  void UpdateCommands();
  void UpdateStatus();
  // Asks before unapplied changes are dropped; false when the user chose to
  // stay (or applying them failed).
  bool MayDropChanges(LeavingBy leaving);
  int SmallIconPx() const;

  Os& os_;
  TypeList types_;
  ImageListSink typeImages_;
  ImageStore images_{typeImages_};
  PickerState picker_;
  ChangeModel changes_{os_, types_, &images_};
  TypeListView list_{types_, images_, *this};
  IconGrid grid_;
  IconPreview preview_{os_.shell};
  ShellCheckTask shellCheck_{os_};
  ListIconFeed listIcons_;
  TypeFeed feed_;
  WindowPlacement placement_;
  UiFonts fonts_;
  MainControls controls_{list_, grid_, preview_};
  HWND tooltip_ = nullptr;
  HWND focus_ = nullptr;      // the control that had the focus when the window was left
  HWND walkFocus_ = nullptr;  // the control that had it when the walk began
  win32::UniqueHicon bigIcon_, smallIcon_;
  std::wstring lastOutcome_;                // of the last Apply or Restore, for the status line
  std::optional<RestoreOutcome> restored_;  // told once the walk after it is over
  std::set<std::wstring> restoredClasses_;  // of that restore, checked with the shell after the walk
  bool quitOnDestroy_ = true;
  UINT dpi_ = 96;
};

}  // namespace tarrow::app
