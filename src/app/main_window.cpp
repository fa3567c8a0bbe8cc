#include "app/main_window.h"

#include <windowsx.h>

#include <algorithm>

#include "app/icon_delivery.h"
#include "app/layout.h"
#include "catalog/icon_location.h"
#include "catalog/type_view.h"
#include "changes/apply.h"
#include "changes/shell_check.h"
#include "picker/grid_text.h"
#include "platform/registry.h"
#include "platform/win32/win32_os.h"

namespace tarrow::app {
namespace {

constexpr wchar_t kPanelClass[] = L"TarrowPanel";
constexpr wchar_t kCredit[] = L"Every file type with the icon you want";
// The longest a scan goes without letting the windows handle their messages.
constexpr ULONGLONG kYieldIntervalMs = 10;
// A scan shorter than this shows no progress window: it would only blink.
constexpr ULONGLONG kProgressDelayMs = 500;
constexpr UINT kListIconsDone = WM_APP + 1;    // the list's loader has results
constexpr UINT kListIconsWanted = WM_APP + 2;  // rows on screen wait for icons
constexpr UINT kShellChecked = WM_APP + 3;     // the shell answered for the icons written
constexpr UINT_PTR kListDeliveryTimer = 1;

struct ControlDesign {
  int id;
  bool inPanel;
  const wchar_t* windowClass;  // nullptr: a view of the window's own
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  Part part;
};

using W = MainWindow;

// In tab order, each label just before the control its access key reaches.
const ControlDesign kControls[] = {
    {W::kSearchLabel, true, WC_STATICW, L"&Search:", SS_LEFT, 0, Part::SearchLabel},
    {W::kSearch, true, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, Part::Search},
    {W::kTypesLabel, true, WC_STATICW, L"Registered File &Types:", SS_LEFT, 0, Part::TypesLabel},
    {W::kTypeList, true, nullptr, L"", 0, 0, Part::TypeList},
    {W::kTypeCount, true, WC_STATICW, L"", SS_RIGHT | SS_NOPREFIX, 0, Part::TypeCount},
    {W::kIconFileLabel, true, WC_STATICW, L"&Icon File:", SS_LEFT, 0, Part::IconFileLabel},
    {W::kIconFile, true, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, Part::IconFile},
    {W::kBrowse, true, WC_BUTTONW, L"&Browse...", WS_TABSTOP | BS_PUSHBUTTON, 0, Part::Browse},
    {W::kIconGrid, true, nullptr, L"", 0, 0, Part::IconGrid},
    {W::kRestore, true, WC_BUTTONW, L"&Restore Defaults", WS_TABSTOP | BS_PUSHBUTTON, 0, Part::Restore},
    {W::kRefresh, true, WC_BUTTONW, L"Re&fresh", WS_TABSTOP | BS_PUSHBUTTON, 0, Part::Refresh},
    {W::kApply, true, WC_BUTTONW, L"&Apply", WS_TABSTOP | BS_PUSHBUTTON, 0, Part::Apply},
    {W::kExit, true, WC_BUTTONW, L"E&xit", WS_TABSTOP | BS_PUSHBUTTON, 0, Part::Exit},
    {W::kCredit, false, WC_STATICW, kCredit, SS_CENTER | SS_NOPREFIX, 0, Part::Credit},
    {W::kStatus, false, WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE, WS_EX_STATICEDGE,
     Part::Status},
};

HFONT MakeFont(UINT dpi, double points, int weight) {
  LOGFONTW font{};
  font.lfHeight = -PointsToPx(points, dpi);
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  // The scalable successor of the old bitmap face, so text stays sharp at
  // every scale.
  wcscpy_s(font.lfFaceName, L"Microsoft Sans Serif");
  return ::CreateFontIndirectW(&font);
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

// ---- creation and layout

MainWindow::MainWindow(Os& os)
    : os_(os),
      iconSource_(os.shell),
      listLoader_(iconSource_,
                  [this] {
                    if (const HWND window = wakeWindow_.load()) ::PostMessageW(window, kListIconsDone, 0, 0);
                  }),
      grid_(os.shell, *this) {}

MainWindow::~MainWindow() {
  // Destroying the object is not the user closing the window: no quit.
  quitOnDestroy_ = false;
  if (hwnd_) ::DestroyWindow(hwnd_);
}

HWND MainWindow::control(int id) const {
  return controls_[static_cast<std::size_t>(id - kFirstControl)];
}

bool MainWindow::Create() {
  INITCOMMONCONTROLSEX icc{
      sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  const HBRUSH face = ::GetSysColorBrush(COLOR_BTNFACE);
  RegisterClassOnce(kMainWindowClass, &Proc, face, nullptr);
  RegisterClassOnce(kPanelClass, &PanelProc, face);
  ::CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, L"Tarrow", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                    0, 0, 0, 0, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (!hwnd_) return false;
  wakeWindow_ = hwnd_;
  if (auto* shell = dynamic_cast<win32::Win32Shell*>(&os_.shell)) shell->SetOwner(hwnd_);
  dpi_ = DpiOf(hwnd_);
  CreateControls();
  preview_.Create(hwnd_, 0);
  OnDpiChanged();
  SetClientSize(hwnd_, DefaultClientWidth(static_cast<int>(dpi_)),
                DefaultClientHeight(static_cast<int>(dpi_)));
  Layout();
  UpdateStatus();
  UpdateCommands();
  return true;
}

void MainWindow::CreateControls() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  panel_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                             0, 0, 0, 0, hwnd_, nullptr, instance, nullptr);
  for (const auto& c : kControls) {
    const HWND parent = c.inPanel ? panel_ : hwnd_;
    HWND control = nullptr;
    if (c.id == kTypeList) {
      list_.Create(parent, c.id);
      control = list_.hwnd();
    } else if (c.id == kIconGrid) {
      grid_.Create(parent, c.id);
      control = grid_.hwnd();
    } else {
      control =
          ::CreateWindowExW(c.exStyle, c.windowClass, c.text, WS_CHILD | WS_VISIBLE | c.style, 0, 0, 0, 0,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    }
    controls_[static_cast<std::size_t>(c.id - kFirstControl)] = control;
  }
  ::SendMessageW(control(kSearch), EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"Description, extension or ProgID"));

  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                               hwnd_, nullptr, instance, nullptr);
  auto addTip = [this](HWND target, const wchar_t* text) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(target);
    tool.lpszText = const_cast<wchar_t*>(text);
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  };
  addTip(list_.hwnd(), L"Double Click to Change Icon");
  addTip(grid_.hwnd(), L"Double Click to Select Icon");
}

int MainWindow::SmallIconPx() const {
  return ::GetSystemMetricsForDpi(SM_CXSMICON, dpi_);
}

void MainWindow::UpdateFonts() {
  font_.reset(MakeFont(dpi_, 8.25, FW_NORMAL));
  boldFont_.reset(MakeFont(dpi_, 8.25, FW_BOLD));
  ::SendMessageW(panel_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  for (const auto& c : kControls) {
    const HFONT font = c.id == kCredit ? boldFont_.get() : font_.get();
    ::SendMessageW(control(c.id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  list_.SetFonts(font_.get(), boldFont_.get());
  preview_.SetFont(font_.get());
}

// Everything that depends on the scale: fonts, icons, pictures.
void MainWindow::OnDpiChanged() {
  UpdateFonts();
  bigIcon_.reset(LoadProgramIcon(::GetSystemMetricsForDpi(SM_CXICON, dpi_)));
  smallIcon_.reset(LoadProgramIcon(SmallIconPx()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
  if (typeImages_.sizePx() != SmallIconPx()) {
    // On a screen of another scale the pictures are drawn again at the size
    // the list shows them there.
    typeImages_.Reset(SmallIconPx(), true);
    list_.SetImageList(typeImages_.get(), typeImages_.placeholder());
    listPictures_.Cancel();
    images_.Forget();
    RequestListPictures();
  }
  grid_.SetDpi(dpi_);
  preview_.SetDpi(dpi_);
}

void MainWindow::Layout() {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  const WindowLayout layout = LayOutWindow(client.right, client.bottom, static_cast<int>(dpi_));
  const auto at = [&layout](Part part) { return layout[static_cast<std::size_t>(part)]; };
  const Box panel = at(Part::Panel);
  ::SetWindowPos(panel_, nullptr, panel.left, panel.top, panel.width, panel.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  for (const auto& c : kControls) {
    const Box box = at(c.part);
    if (c.id == kTypeList) {
      list_.Place(box.left, box.top, box.width, box.height, dpi_);
    } else if (c.id == kIconGrid) {
      // The grid's scroll bar is its own: the grid reaches across the bar's place.
      const Box bar = at(Part::GridScroll);
      grid_.Place(box.left, box.top, bar.left + bar.width - box.left, box.height);
    } else {
      ::SetWindowPos(control(c.id), nullptr, box.left, box.top, box.width, box.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  const Box preview = at(Part::Preview);
  preview_.Place(preview.left, preview.top, preview.width, preview.height);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::Show() {
  shown_ = true;
  const auto saved = ParsePlacement(RegReadValue(os_.registry, kCurrentUser, kSettingsKey, kPlacementValue));
  if (saved) {
    // Pixels of the scale it was left at, at the scale it starts at.
    const auto scale = [&](int v) { return ::MulDiv(v, static_cast<int>(dpi_), saved->dpi); };
    const RECT rect{saved->left, saved->top, saved->left + scale(saved->width),
                    saved->top + scale(saved->height)};
    // A place on a monitor that is gone is forgotten.
    if (::MonitorFromRect(&rect, MONITOR_DEFAULTTONULL)) {
      ::SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      ::ShowWindow(hwnd_, saved->maximized ? SW_SHOWMAXIMIZED : SW_SHOW);
      ::UpdateWindow(hwnd_);
      return;
    }
  }
  CentreOnMonitor(hwnd_);
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
}

void MainWindow::SavePlacement() {
  if (!shown_) return;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!::GetWindowPlacement(hwnd_, &wp)) return;
  const RECT& r = wp.rcNormalPosition;
  const std::wstring text = FormatPlacement({r.left, r.top, r.right - r.left, r.bottom - r.top,
                                             wp.showCmd == SW_SHOWMAXIMIZED, static_cast<int>(dpi_)});
  RegKey key = 0;
  bool created = false;
  if (os_.registry.CreateKey(kCurrentUser, kSettingsKey, key, created) != kSuccess) return;
  os_.registry.SetValue(key, kPlacementValue, kRegSz, text.c_str(),
                        static_cast<std::uint32_t>((text.size() + 1) * sizeof(wchar_t)));
  os_.registry.CloseKey(key);
}

// ---- start-up, scan and the command buttons

bool MainWindow::OnLoad(bool prevInstance) {
  if (prevInstance) {
    os_.shell.MessageBox(L"Only one Instance allowed at a time...", kMbOk | kMbIconInformation);
    return false;
  }
  DoEvents();
  RunScan();
  ::UpdateWindow(list_.hwnd());
  const std::wstring caption = L"Tarrow - Version " + std::to_wstring(TARROW_VERSION_MAJOR) + L"." +
                               std::to_wstring(TARROW_VERSION_MINOR);
  ::SetWindowTextW(hwnd_, caption.c_str());
  // The list is where the work starts.
  focus_ = list_.hwnd();
  return true;
}

void MainWindow::SetBusy(bool busy) {
  // While a scan runs, nothing may start another one or write from a
  // half-built list.
  for (int id : {kRefresh, kApply, kRestore}) ::EnableWindow(control(id), !busy);
  if (!busy) UpdateCommands();
}

void MainWindow::UpdateCommands() {
  ::EnableWindow(control(kApply), !types_.scanning() && CountPendingTypes(types_) > 0);
}

void MainWindow::UpdateStatus() {
  ::SetWindowTextW(control(kTypeCount), ShownTypesText(list_.shown(), types_.size()).c_str());
  ::SetWindowTextW(control(kStatus),
                   (L" " + StatusLine(types_.size(), CountPendingTypes(types_), lastOutcome_)).c_str());
}

std::wstring MainWindow::StatusText() const {
  std::wstring text = TextOf(control(kStatus));
  return text.empty() ? text : text.substr(1);
}

void MainWindow::RunScan() {
  if (types_.scanning()) return;
  const TypeListView::Memory memory = list_.Remember();
  // Disabling the focused button takes the focus away; it comes back after.
  const HWND focus = ::GetFocus();
  SetBusy(true);
  // The pictures come after the walk, the rows on screen first.
  listPictures_.Cancel();
  ScanFileTypes(os_, *this, types_, images_);
  RequestListPictures();
  pictureSwaps_.clear();
  SetBusy(false);
  list_.Recall(memory);
  UpdateStatus();
  if (focus && ::IsWindow(focus) && ::IsChild(hwnd_, focus)) {
    ::SetFocus(::IsWindowEnabled(focus) ? focus : list_.hwnd());
  }
}

void MainWindow::RequestListPictures() {
  listPictures_.RequestMissing(typeImages_.sizePx(), SystemStandInIcon(os_.shell));
}

void MainWindow::OnListIconsDone() {
  bool changed = false;
  DeliverIcons(hwnd_, kListDeliveryTimer, listLoader_,
               [&] { changed = listPictures_.TakeDone(kIconsPerSlice) || changed; });
  if (changed) list_.Repaint();
}

void MainWindow::OnListIconsWanted() {
  listIconsWantedPosted_ = false;
  listPictures_.Prioritise(list_.TakeWantedPictures());
}

bool MainWindow::MayDropChanges(LeavingBy leaving) {
  const std::size_t pending = CountPendingTypes(types_);
  if (pending == 0) return true;
  switch (os_.shell.MessageBox(UnappliedChangesQuestion(pending, leaving), kMbYesNoCancel | kMbIconWarning)) {
    case kIdYes:
      OnApply();
      return CountPendingTypes(types_) == 0;
    case kIdNo:
      return true;
    default:
      return false;
  }
}

void MainWindow::OnRefresh() {
  if (types_.scanning() || !MayDropChanges(LeavingBy::Refresh)) return;
  RunScan();
}

void MainWindow::OnExit() {
  if (!MayDropChanges(LeavingBy::Exit)) return;
  ::DestroyWindow(hwnd_);
}

void MainWindow::OnApply() {
  if (types_.scanning() || CountPendingTypes(types_) == 0) return;
  const std::vector<WrittenIcon> pending = PendingIcons(types_);
  const ApplyOutcome outcome = ApplyChanges(os_, types_);
  std::vector<std::wstring> failed;
  for (const auto& failure : outcome.failures) failed.push_back(failure.progId);
  // Nothing was written when the originals could not be recorded.
  if (outcome.journalFailed) {
    for (const auto& item : types_) {
      if (IsChanged(item)) failed.push_back(item.progId);
    }
  }
  SettleApply(types_, failed, pictureSwaps_);
  RedrawUnmovedIcons(os_.shell, AppliedIcons(pending, outcome));
  lastOutcome_ = ApplySummary(outcome);
  shellCheck_.Start(AppliedIcons(pending, outcome), lastOutcome_, hwnd_, kShellChecked);
  list_.Repaint();
  UpdateStatus();
  UpdateCommands();
}

void MainWindow::OnShellChecked() {
  // Answers for an outcome the status line no longer shows are old news.
  const auto done = shellCheck_.Take();
  if (!done || done->outcome != lastOutcome_) return;
  lastOutcome_ = WithShellCheck(lastOutcome_, done->check);
  UpdateStatus();
  if (const auto doubt = ShellCheckMessage(done->check); !doubt.empty())
    os_.shell.MessageBox(doubt, kMbOk | kMbIconWarning);
}

void MainWindow::OnRestoreDefaults() {
  if (types_.scanning()) return;
  const HWND focus = ::GetFocus();
  const std::set<std::wstring> journaled = JournaledProgIds(os_);
  const auto outcome = RestoreDefaults(os_, *this, types_);
  if (!outcome) return;
  lastOutcome_ = RestoreSummary(*outcome);
  shellCheck_.Start(IconsOfProgIds(os_.shell, types_, journaled), lastOutcome_, hwnd_, kShellChecked);
  UpdateStatus();
  UpdateCommands();
  if (focus && ::IsWindow(focus) && ::IsChild(hwnd_, focus) && ::IsWindowEnabled(focus)) ::SetFocus(focus);
}

void MainWindow::HideMainWindow() {
  ::ShowWindow(hwnd_, SW_HIDE);
}
void MainWindow::Rescan() {
  RunScan();
}
void MainWindow::ShowMainWindow() {
  ::ShowWindow(hwnd_, SW_SHOW);
}

// ---- ScanHost

void MainWindow::ShowProgress() {
  scanStart_ = ::GetTickCount64();
  progressDue_ = true;
}
void MainWindow::SetProgressMax(int max) {
  progress_.SetMax(max);
}
void MainWindow::SetProgressValue(int value) {
  progress_.SetValue(value);
}
void MainWindow::HideProgress() {
  progressDue_ = false;
  progress_.Hide();
}
void MainWindow::DoEvents() {
  if (progressDue_ && ::GetTickCount64() - scanStart_ >= kProgressDelayMs) {
    progressDue_ = false;
    progress_.Show();
  }
  // The scan yields at every registry key, and each look at the queue is a
  // round trip to the window server (a third of the scan under Wine). A
  // hundred looks a second keep the window as responsive.
  const ULONGLONG now = ::GetTickCount64();
  if (now - lastYield_ < kYieldIntervalMs) return;
  app::DoEvents();
  lastYield_ = now;
}

void MainWindow::ListChanged() {
  // The items are new: rows of the old ones mean nothing now.
  list_.ResetRows();
  UpdateStatus();
}

void MainWindow::SetMousePointer(int pointer) {
  mousePointer_ = pointer;
  ::SetCursor(::LoadCursorW(nullptr, pointer == 11 ? IDC_WAIT : IDC_ARROW));
}

// ---- the type list

void MainWindow::OnSearchChanged() {
  list_.SetSearch(TextOf(control(kSearch)));
  UpdateStatus();
}

void MainWindow::OnTypeActivated() {
  const auto selected = SelectedItem();
  if (!selected) return;
  if (const auto file = IconFileOfSelectedType(os_.shell, picker_, types_, selected, IconFileText())) {
    SetIconFileText(*file);
    ::SendMessageW(control(kIconFile), EM_SETSEL, 0, -1);
    grid_.SetScrollValue(0);
  }
  // The icon the type has now is framed, when the grid shows its file; a
  // negative index names a resource, which no cell shows.
  const IconLocation shown = SplitIconLocation(ShownLocation(types_[*selected]));
  if (shown.index >= 0 && os_.shell.LowerCase(shown.file) == os_.shell.LowerCase(IconFileText()))
    grid_.Frame(static_cast<std::int64_t>(shown.index) + 1);
}

void MainWindow::OnTypeClicked() {
  NoteItemClick(picker_);
}

void MainWindow::OnRestoreOriginalIcon() {
  const auto selected = SelectedItem();
  if (!selected || types_.scanning()) return;
  // The rescan after it drops every change not applied.
  if (!MayDropChanges(LeavingBy::Refresh)) return;
  const RestoreOutcome outcome = RestoreTypeIcons(os_, {types_[*selected].progId}, types_);
  lastOutcome_ = RestoreSummary(outcome);
  RunScan();
  if (const std::wstring message = RestoreMessage(os_, outcome); !message.empty())
    os_.shell.MessageBox(message, kMbOk | kMbIconWarning);
}

// The list's context menu, at the pointer or, from the keyboard, at the
// selected type.
void MainWindow::ShowTypeMenu(LPARAM at) {
  const auto selected = SelectedItem();
  POINT pt{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
  if (at == -1) {
    RECT row{};
    const int index = selected ? list_.RowOf(*selected) : -1;
    if (index < 0 || !ListView_GetItemRect(list_.hwnd(), index, &row, LVIR_LABEL))
      ::GetClientRect(list_.hwnd(), &row);
    pt = {row.left, row.bottom};
    ::ClientToScreen(list_.hwnd(), &pt);
  }
  const HMENU menu = ::CreatePopupMenu();
  if (!menu) return;
  ::AppendMenuW(menu, MF_STRING | (selected && !types_.scanning() ? MF_ENABLED : MF_GRAYED),
                kRestoreOriginalCommand, L"&Restore original icon\tDel");
  const UINT command = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
  ::DestroyMenu(menu);
  if (command == kRestoreOriginalCommand) OnRestoreOriginalIcon();
}

// ---- the icon file and the grid

std::wstring MainWindow::IconFileText() const {
  return TextOf(control(kIconFile));
}

void MainWindow::SetIconFileText(const std::wstring& text) {
  // The edit control reports the change at once, so the grid is built
  // before this returns, and only when the text really changes.
  if (text != IconFileText()) ::SetWindowTextW(control(kIconFile), text.c_str());
}

void MainWindow::OnBrowse() {
  SetIconFileText(BrowseForIconFile(os_.shell, reinterpret_cast<std::uintptr_t>(hwnd_)));
}

void MainWindow::OnIconFileFocused() {
  ::SendMessageW(control(kIconFile), EM_SETSEL, 0, -1);
}

void MainWindow::OnIconFileChanged() {
  grid_.Load(IconFileText());
}

void MainWindow::OnIconsCounted(std::int64_t count) {
  if (count == 0) grid_.SetEmptyText(EmptyGridText(os_.shell, os_.files, IconFileText(), 0));
}

void MainWindow::OnIconFramed(std::int64_t cell) {
  FrameCell(picker_, cell);
  preview_.Show(IconFileText(), static_cast<int>(cell) - 1);
}

void MainWindow::OnIconChosen(std::int64_t cell) {
  const auto selected = SelectedItem();
  if (!selected) return;
  if (types_[*selected].iconHandler &&
      os_.shell.MessageBox(IconHandlerQuestion(types_[*selected]), kMbYesNo | kMbIconQuestion) != kIdYes)
    return;
  const std::wstring previous = types_[*selected].picture;
  if (!AssignIcon(os_.shell, picker_, types_, images_, selected, IconFileText(), cell, typeImages_.sizePx()))
    return;
  ShareAssignment(types_, *selected, previous, pictureSwaps_);
  list_.Repaint();
  UpdateStatus();
  UpdateCommands();
}

// ---- messages

void MainWindow::OnEnter() {
  const HWND focus = ::GetFocus();
  if (focus == list_.hwnd()) {
    OnTypeActivated();
    // From the keyboard the work goes on in the grid.
    if (grid_.count() > 0 || grid_.loading()) ::SetFocus(grid_.hwnd());
  } else if (focus == control(kSearch) && list_.shown() > 0) {
    // Enter in the search box goes to the types it found.
    if (!SelectedItem()) list_.Select(list_.TypeAt(0));
    ::SetFocus(list_.hwnd());
  }
}

LRESULT MainWindow::OnNotify(const NMHDR& header) {
  if (header.idFrom != static_cast<UINT_PTR>(kTypeList)) return 0;
  LRESULT result = 0;
  if (list_.OnNotify(header, result)) {
    if (header.code == LVN_COLUMNCLICK) UpdateStatus();
    if (list_.wantsPictures() && !std::exchange(listIconsWantedPosted_, true))
      ::PostMessageW(hwnd_, kListIconsWanted, 0, 0);
    return result;
  }
  switch (header.code) {
    case NM_DBLCLK:
      OnTypeActivated();
      return 0;
    case NM_RETURN:
      OnEnter();
      return 0;
    case NM_CLICK:
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) OnTypeClicked();
      return 0;
    case LVN_KEYDOWN:
      if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE) OnRestoreOriginalIcon();
      return 0;
  }
  return 0;
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kListIconsDone:
      ArmIconTimer(hwnd_, kListDeliveryTimer);
      OnListIconsDone();
      return 0;
    case WM_TIMER:
      if (wp != kListDeliveryTimer) break;
      OnListIconsDone();
      return 0;
    case kListIconsWanted:
      OnListIconsWanted();
      return 0;
    case kShellChecked:
      OnShellChecked();
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kRefresh:
          OnRefresh();
          break;
        case kExit:
          OnExit();
          break;
        case kApply:
          OnApply();
          break;
        case kRestore:
          OnRestoreDefaults();
          break;
        case kBrowse:
          OnBrowse();
          break;
        case kIconFile:
          if (HIWORD(wp) == EN_CHANGE) OnIconFileChanged();
          if (HIWORD(wp) == EN_SETFOCUS) OnIconFileFocused();
          break;
        case kSearch:
          if (HIWORD(wp) == EN_CHANGE) OnSearchChanged();
          break;
        case IDOK:
          // Enter, from the dialog keys: no button is the default.
          OnEnter();
          break;
        case IDCANCEL:
          // Escape empties the search, and presses no button.
          if (::GetFocus() == control(kSearch)) ::SetWindowTextW(control(kSearch), L"");
          break;
      }
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
    case WM_NEXTDLGCTL: {
      // The dialog keys move the focus this way, as a label's access key
      // does: to the given control, or the next (previous) one in tab order.
      const HWND target =
          LOWORD(lp) ? reinterpret_cast<HWND>(wp) : ::GetNextDlgTabItem(hwnd_, ::GetFocus(), wp != 0);
      if (target) ::SetFocus(target);
      return 0;
    }
    case WM_CONTEXTMENU:
      // Right click, the menu key or Shift+F10 in the list.
      if (reinterpret_cast<HWND>(wp) == list_.hwnd()) {
        ShowTypeMenu(lp);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      const HDC dc = reinterpret_cast<HDC>(wp);
      ::SetBkMode(dc, TRANSPARENT);
      if (reinterpret_cast<HWND>(lp) == control(kCredit)) ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      if (mousePointer_ == 11) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      // Every control stays usable: the window is never smaller than its
      // design. The frame as it is, as SetClientSize measures it.
      RECT window, client;
      ::GetWindowRect(hwnd_, &window);
      ::GetClientRect(hwnd_, &client);
      auto& info = *reinterpret_cast<MINMAXINFO*>(lp);
      info.ptMinTrackSize = {
          DefaultClientWidth(static_cast<int>(dpi_)) + (window.right - window.left) - client.right,
          DefaultClientHeight(static_cast<int>(dpi_)) + (window.bottom - window.top) - client.bottom};
      return 0;
    }
    case WM_DPICHANGED: {
      const UINT old = std::exchange(dpi_, HIWORD(wp));
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      OnDpiChanged();
      // The same share of the screen at the new scale, never below the
      // design; the suggested place keeps it under the pointer that moved it.
      RECT client;
      ::GetClientRect(hwnd_, &client);
      const int width = std::max(::MulDiv(client.right, static_cast<int>(dpi_), static_cast<int>(old)),
                                 DefaultClientWidth(static_cast<int>(dpi_)));
      const int height = std::max(::MulDiv(client.bottom, static_cast<int>(dpi_), static_cast<int>(old)),
                                  DefaultClientHeight(static_cast<int>(dpi_)));
      ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
      SetClientSize(hwnd_, width, height);
      Layout();
      return 0;
    }
    case WM_ACTIVATE:
      // Like a dialog: the focus comes back where it was, or to the list.
      if (LOWORD(wp) == WA_INACTIVE) {
        if (HWND focus = ::GetFocus(); focus && ::IsChild(hwnd_, focus)) focus_ = focus;
      } else {
        ::SetFocus(focus_ && ::IsWindow(focus_) && ::IsWindowEnabled(focus_) ? focus_ : list_.hwnd());
      }
      return 0;
    case WM_CLOSE:
      OnExit();
      return 0;
    case WM_DESTROY:
      // The icons in hand are dropped; the loader's thread ends with the window.
      wakeWindow_ = nullptr;
      listPictures_.Cancel();
      SavePlacement();
      if (auto* shell = dynamic_cast<win32::Win32Shell*>(&os_.shell)) shell->SetOwner(nullptr);
      if (quitOnDestroy_) ::PostQuitMessage(0);
      return 0;
  }
  return Default(msg, wp, lp);
}

// The panel carries the controls; what they report belongs to the window.
LRESULT CALLBACK MainWindow::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSCROLLBAR:
      return ::SendMessageW(::GetParent(hwnd), msg, wp, lp);
    case WM_SETFONT:
      ::SetPropW(hwnd, L"TarrowFont", reinterpret_cast<HANDLE>(wp));
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(::GetPropW(hwnd, L"TarrowFont"));
    case WM_NCDESTROY:
      ::RemovePropW(hwnd, L"TarrowFont");
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tarrow::app
