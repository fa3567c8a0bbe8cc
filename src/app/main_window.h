// frmFileIcons: the main window. It owns all run-time state as models (the
// type list, its pictures, the grid, the picker's counters) and shows them in
// its controls; each handler is a few lines that call down into the portable
// code.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/image_list.h"
#include "app/progress_window.h"
#include "app/window.h"
#include "catalog/scan.h"
#include "catalog/type_list.h"
#include "changes/restore.h"
#include "picker/grid.h"
#include "picker/selection.h"
#include "platform/os.h"
#include "platform/win32/handles.h"

namespace tarrow::app {

inline constexpr wchar_t kMainWindowClass[] = L"TarrowMainWindow";

class MainWindow : public Window<MainWindow>, private ScanHost, private RestoreHost {
 public:
  explicit MainWindow(Os& os);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow();

  // Creates the window and its controls, hidden.
  bool Create();
  // The start-up: refuses a second copy, takes the first scan, sets the
  // caption. False when the program must end (another copy runs).
  bool Form_Load(bool prevInstance);
  // Shows the window centred on its monitor.
  void ShowCentred();

  // Handlers, named after their control and event.
  void Command5_Click();  // Refresh
  void cmdCancel_Click();
  void Command1_Click();  // Apply
  void Command3_Click();  // Restore Defaults
  void Browse_Click();
  void Filename_Change();
  void Filename_GotFocus();
  void Iconbox_Click(std::int64_t index);
  void Iconbox_DblClick(std::int64_t index);
  void ListView1_DblClick();
  void ListView1_ItemClick();
  void VScroll1_Change();
  void VScroll1_Scroll();

  // What tests and the other copy look at.
  const TypeList& types() const { return types_; }
  const ImageStore& images() const { return images_; }
  const PickerState& picker() const { return picker_; }
  const GridLayout& grid() const { return grid_; }
  const std::vector<int>& gridPictures() const { return gridPictures_; }
  ProgressWindow& progress() { return frmProg_; }
  HWND control(int id) const { return controls_[static_cast<std::size_t>(id - kFirstControl)]; }
  HWND picMain() const { return picMain_; }
  std::optional<std::size_t> SelectedItem() const;
  void SelectItem(std::size_t index);
  std::int64_t scrollValue() const { return scrollValue_; }
  void SetScrollValue(std::int64_t value);
  int mousePointer() const { return mousePointer_; }
  void SetFilenameText(const std::wstring& text);
  std::wstring FilenameText() const;

  // Control identifiers; none is IDOK or IDCANCEL, so Enter and Escape press
  // no button.
  enum ControlId : int {
    kFirstControl = 101,
    kCommand5 = kFirstControl,
    kCommand3,
    kCommand1,
    kFilename,
    kcmdCancel,
    kBrowse,
    kVScroll1,
    kBorder,
    kListView1,
    kLabel1,
    kFilenamelabel,
    kLabel2,
    kControlEnd,
  };

 private:
  friend class Window<MainWindow>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void CreateControls();
  void Layout();
  void UpdateFonts();
  void RunScan();
  void SetBusy(bool busy);
  void ApplyScrollSettings();
  void ShowSheet();
  void RebuildGrid();
  std::int64_t CellAt(POINT pt) const;
  RECT CellRect(std::int64_t k) const;
  void PaintGrid(HDC dc, const RECT& clip);
  void OnGridKey(WPARAM key);
  void ScrollCellIntoView(std::int64_t k);
  LRESULT OnNotify(const NMHDR& header);
  void OnVScroll(WPARAM wp);
  void SizeListColumn();
  int SmallIconPx() const;
  int GridIconPx() const;

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
  static LRESULT CALLBACK ViewportProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  Os& os_;
  TypeList types_;
  ImageListSink ImageList1_;
  ImageStore images_{ImageList1_};
  PickerState picker_;
  ProgressWindow frmProg_;

  // The grid of the file in Filename: one picture per cell (-1: none).
  GridMetrics metrics_;
  GridLayout grid_;
  ImageListSink gridImages_;
  std::vector<int> gridPictures_;
  std::int64_t scrollValue_ = 0;  // twips the sheet is moved up
  std::int64_t scrollMax_ = 0, largeChange_ = 100, smallChange_ = 1;
  std::int64_t sheetTop_ = 0;  // Picture1.Top, twips
  bool skipNextClick_ = false;
  int wheelDelta_ = 0;  // wheel movement short of a whole notch

  HWND picMain_ = nullptr;
  std::array<HWND, kControlEnd - kFirstControl> controls_{};
  HWND tooltip_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  win32::UniqueFont font_;
  win32::UniqueFont boldFont_;
  win32::UniqueHicon bigIcon_, smallIcon_;
  int mousePointer_ = 0;
  ULONGLONG lastYield_ = 0;  // when DoEvents last looked at the queue
  bool quitOnDestroy_ = true;
  UINT dpi_ = 96;
};

}  // namespace tarrow::app
