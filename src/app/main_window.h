// The main window: it owns the run-time state as models (the type list, its
// pictures, the picker's counters) and composes the views that show them:
// the type list view, the icon grid and the command buttons. Each handler is
// a few lines that call down into the portable code.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "app/icon_grid.h"
#include "app/icon_preview.h"
#include "app/image_list.h"
#include "app/progress_window.h"
#include "app/shell_check_task.h"
#include "app/type_list_view.h"
#include "app/window.h"
#include "catalog/icon_loader.h"
#include "catalog/list_pictures.h"
#include "catalog/scan.h"
#include "catalog/type_list.h"
#include "catalog/type_view.h"
#include "changes/restore.h"
#include "picker/selection.h"
#include "picker/window_layout.h"
#include "platform/os.h"
#include "platform/win32/handles.h"

namespace tarrow::app {

inline constexpr wchar_t kMainWindowClass[] = L"TarrowMainWindow";
// Where the window's place is remembered, under HKEY_CURRENT_USER.
inline constexpr wchar_t kSettingsKey[] = L"Software\\Tarrow";
inline constexpr wchar_t kPlacementValue[] = L"Window";

class MainWindow : public Window<MainWindow>,
                   private ScanHost,
                   private RestoreHost,
                   private IconGridListener {
 public:
  explicit MainWindow(Os& os);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow();

  // Creates the window and its controls, hidden, at the default size.
  bool Create();
  // The start-up: refuses a second copy, takes the first scan, sets the
  // caption. False when the program must end (another copy runs).
  bool OnLoad(bool prevInstance);
  // Shows the window where the user left it last time, or centred on its
  // monitor at the default size.
  void Show();

  // Handlers.
  void OnRefresh();
  void OnExit();
  void OnApply();
  void OnRestoreDefaults();
  void OnBrowse();
  void OnIconFileChanged();
  void OnIconFileFocused();
  void OnSearchChanged();
  void OnTypeActivated();  // Enter or a double-click on a type: its icons in the grid
  void OnTypeClicked();
  // "Restore original icon" (the list's context menu, or Delete): puts back
  // the selected type's original icon and reads the types again.
  void OnRestoreOriginalIcon();
  void OnIconFramed(std::int64_t cell) override;
  void OnIconChosen(std::int64_t cell) override;
  void OnIconsCounted(std::int64_t count) override;
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
  ProgressWindow& progress() { return progress_; }
  // Whether icons of the list or the grid are still being drawn.
  bool loadingIcons() const { return listPictures_.loading() || grid_.loading() || preview_.loading(); }
  HWND control(int id) const;
  HWND panel() const { return panel_; }
  std::optional<std::size_t> SelectedItem() const { return list_.Selected(); }
  bool SelectItem(std::size_t index) { return list_.Select(index); }
  int mousePointer() const { return mousePointer_; }
  void SetIconFileText(const std::wstring& text);
  std::wstring IconFileText() const;
  std::wstring StatusText() const;

  // Control identifiers; none is IDOK or IDCANCEL, so Enter and Escape press
  // no button.
  enum ControlId : int {
    kFirstControl = 101,
    kRefresh = kFirstControl,
    kRestore,
    kApply,
    kIconFile,
    kExit,
    kBrowse,
    kIconGrid,
    kTypeList,
    kTypesLabel,
    kIconFileLabel,
    kCredit,
    kSearchLabel,
    kSearch,
    kTypeCount,
    kStatus,
    kControlEnd,
    kRestoreOriginalCommand = 201,  // of the list's context menu
  };

 private:
  friend class Window<MainWindow>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void CreateControls();
  void Layout();
  void OnDpiChanged();
  void UpdateFonts();
  void RunScan();
  void RequestListPictures();
  void OnListIconsDone();
  void OnListIconsWanted();
  void SetBusy(bool busy);
  void UpdateCommands();
  void UpdateStatus();
  // Asks before unapplied changes are dropped; false when the user chose to
  // stay (or applying them failed).
  bool MayDropChanges(LeavingBy leaving);
  LRESULT OnNotify(const NMHDR& header);
  void OnEnter();
  void ShowTypeMenu(LPARAM at);
  void SavePlacement();
  int SmallIconPx() const;

  // ScanHost
  void ShowProgress() override;
  void SetProgressMax(int max) override;
  void SetProgressValue(int value) override;
  void HideProgress() override;
  void DoEvents() override;
  void ListChanged() override;
  void SetMousePointer(int pointer) override;
  // RestoreHost
  void HideMainWindow() override;
  void Rescan() override;
  void ShowMainWindow() override;

  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  Os& os_;
  TypeList types_;
  ImageListSink typeImages_;
  ImageStore images_{typeImages_};
  ShellIconSource iconSource_;
  std::atomic<HWND> wakeWindow_{nullptr};  // read on the loader's thread
  IconLoader listLoader_;
  ListPictures listPictures_{images_, listLoader_};
  bool listIconsWantedPosted_ = false;
  PickerState picker_;
  StoredPictures pictureSwaps_;  // of the types with a change waiting
  ProgressWindow progress_;
  TypeListView list_{types_, images_};
  IconGrid grid_;
  IconPreview preview_{os_.shell};
  ShellCheckTask shellCheck_{os_};

  HWND panel_ = nullptr;
  std::array<HWND, kControlEnd - kFirstControl> controls_{};
  HWND tooltip_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  win32::UniqueFont font_;
  win32::UniqueFont boldFont_;
  win32::UniqueHicon bigIcon_, smallIcon_;
  std::wstring lastOutcome_;  // of the last Apply or Restore, for the status line
  int mousePointer_ = 0;
  ULONGLONG lastYield_ = 0;  // when DoEvents last looked at the queue
  ULONGLONG scanStart_ = 0;
  bool progressDue_ = false;  // the progress window shows if the scan lasts
  bool quitOnDestroy_ = true;
  bool shown_ = false;  // the place is remembered only of a window the user saw
  UINT dpi_ = 96;
};

}  // namespace tarrow::app
