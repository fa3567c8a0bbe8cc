#include "app/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "catalog/scan.h"
#include "picker/grid_text.h"
#include "platform/win32/win32_os.h"

namespace tarrow::app {
namespace {

UINT ComeForwardMessage() {
  static const UINT message = ::RegisterWindowMessageW(kComeForwardMessage);
  return message;
}

}  // namespace

// ---- creation and layout

MainWindow::MainWindow(Os& os)
    : os_(os),
      grid_(os, *this),
      listIcons_(os, images_, *this),
      feed_(os, *this),
      placement_(os.registry) {}

MainWindow::~MainWindow() {
  // Destroying the object is not the user closing the window: no quit.
  quitOnDestroy_ = false;
  if (hwnd_) ::DestroyWindow(hwnd_);
  commands_.Stop();
  feed_.Stop();
  listIcons_.Stop();
}

bool MainWindow::Create() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  RegisterClassOnce(kMainWindowClass, &Proc, ::GetSysColorBrush(COLOR_BTNFACE), nullptr);
  ::CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, L"Tarrow", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                    0, 0, 0, 0, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (!hwnd_ || !feed_.Create() || !listIcons_.Create() || !commands_.Create()) return false;
  if (auto* shell = dynamic_cast<win32::Win32Shell*>(&os_.shell)) shell->SetOwner(hwnd_);
  dpi_ = DpiOf(hwnd_);
  controls_.Create(hwnd_);
  iconFile_.Attach(hwnd_, control(Part::IconFile));
  // The list is where the work starts.
  focus_.Attach(hwnd_, list_.hwnd());
  UpdateScale();
  SetClientSize(hwnd_, DefaultClientWidth(static_cast<int>(dpi_)),
                DefaultClientHeight(static_cast<int>(dpi_)));
  const std::wstring caption = L"Tarrow - Version " + std::to_wstring(TARROW_VERSION_MAJOR) + L"." +
                               std::to_wstring(TARROW_VERSION_MINOR);
  ::SetWindowTextW(hwnd_, caption.c_str());
  OnSize();
  UpdateStatus();
  UpdateCommands();
  return true;
}

int MainWindow::SmallIconPx() const {
  return ::GetSystemMetricsForDpi(SM_CXSMICON, dpi_);
}

// Everything that depends on the scale: fonts, icons, pictures.
void MainWindow::UpdateScale() {
  fonts_.Update(dpi_);
  controls_.SetFonts(fonts_);
  bigIcon_.reset(LoadProgramIcon(::GetSystemMetricsForDpi(SM_CXICON, dpi_)));
  smallIcon_.reset(LoadProgramIcon(SmallIconPx()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
  if (typeImages_.sizePx() != SmallIconPx()) {
    // On a screen of another scale the pictures are drawn again at the size
    // the list shows them there.
    typeImages_.Reset(SmallIconPx(), true);
    list_.SetImageList(typeImages_.get(), typeImages_.placeholder());
    listIcons_.Cancel();
    images_.Forget();
    listIcons_.RequestMissing(typeImages_.sizePx());
  }
  grid_.SetDpi(dpi_);
}

void MainWindow::OnSize() {
  controls_.Place(hwnd_, dpi_);
  // The status may fit now, or no longer.
  UpdateStatus();
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  const UINT old = std::exchange(dpi_, dpi);
  UpdateScale();
  WindowPlacement::Rescale(hwnd_, old, dpi_, suggested);
  OnSize();
}

void MainWindow::Show() {
  placement_.Show(hwnd_, dpi_);
}

// ---- start-up, the walk and the status line

bool MainWindow::OnLoad(bool prevInstance) {
  if (prevInstance) {
    os_.shell.MessageBox(L"Only one Instance allowed at a time...", kMbOk | kMbIconInformation);
    return false;
  }
  const bool all = ReadWindowSwitch(os_.registry, kShowTypesWithoutIconValue);
  controls_.SetListedTypes(all ? TypesListed::All : TypesListed::WithIcon);
  StartWalk();
  return true;
}

void MainWindow::StartWalk() {
  // Disabling the focused button takes the focus away; it comes back after.
  focus_.Hold();
  list_.BeginRows();  // first: it remembers the selected type and the top row
  listIcons_.Cancel();
  commands_.Forget();
  iconFile_.ClearPick();
  types_.Clear();
  images_.Clear();
  feed_.Start(controls_.listedTypes());
  UpdateCommands();
  UpdateStatus();
}

void MainWindow::OnTypesFound(std::vector<TypeItem> found, bool done) {
  const std::size_t first = types_.size();
  AddWalked(std::move(found), types_, images_);
  list_.AddRows(first, done);
  if (done) OnWalkEnded();
  UpdateStatus();
}

void MainWindow::OnWalkEnded() {
  const bool snapshotTaken = TakeSnapshotIfNone(os_, types_);
  // Only now: drawn during the walk, the icons would slow it down threefold
  // (both read through the Wine server, on two cores). The rows on screen
  // ask for theirs first as they paint.
  listIcons_.RequestMissing(typeImages_.sizePx());
  UpdateCommands();
  focus_.GiveBack();
  commands_.OnWalkEnded(snapshotTaken);
}

void MainWindow::OnListPicturesArrived() {
  list_.Repaint();
}

void MainWindow::OnPicturesWanted(const std::vector<std::wstring>& keys) {
  listIcons_.Prioritise(keys);
}

void MainWindow::OnRowsChanged() {
  UpdateStatus();
}

void MainWindow::OnChangesUpdated() {
  // A write disables the pressed button, taking the focus away; it comes
  // back once the write (and the walk after a restore) is over.
  if (writing()) {
    focus_.Hold();
  } else {
    focus_.GiveBack();
  }
  // An original asked back may show an icon only the feed can draw.
  if (!walking()) listIcons_.RequestMissing(typeImages_.sizePx());
  list_.Repaint();
  UpdateStatus();
  UpdateCommands();
}

void MainWindow::UpdateCommands() {
  // While the registry is read, nothing may read it again or write from a
  // list still coming in; while changes are written, nothing may start
  // another change.
  const bool idle = commands_.CanChange();
  for (Part part : {Part::Refresh, Part::Restore, Part::ShowTypesWithoutIcon})
    ::EnableWindow(control(part), idle);
  ::EnableWindow(control(Part::Apply), idle && CountPendingTypes(types_) > 0);
}

void MainWindow::UpdateStatus() {
  if (!control(Part::Status)) return;  // sized before its controls are made
  ::SetWindowTextW(control(Part::TypeCount), ShownTypesText(list_.shown(), types_.size()).c_str());
  const std::wstring status =
      writing()   ? std::wstring(commands_.activity())
      : walking() ? ReadingTypesText(types_.size())
                  : StatusLine(types_.size(), CountPendingTypes(types_), commands_.lastOutcome());
  controls_.SetStatus(L" " + status);
}

std::wstring MainWindow::StatusText() const {
  std::wstring text = WindowText(control(Part::Status));
  return text.empty() ? text : text.substr(1);
}

// ---- the commands

void MainWindow::OnRefresh() {
  if (!commands_.CanChange() || !commands_.MayDropChanges(LeavingBy::Refresh)) return;
  // The news of earlier commands is not the news of this one.
  commands_.Tell({});
  StartWalk();
}

void MainWindow::OnIconFramed(std::int64_t cell) {
  const bool wanted = preview_.wanted();
  iconFile_.OnIconFramed(cell);
  // The preview takes room only while it has an icon to show.
  if (preview_.wanted() != wanted) OnSize();
}

void MainWindow::OnTypeActivated(bool byKeyboard) {
  if (!SelectedItem()) return;
  commands_.Tell(iconFile_.OpenType(SelectedItem(), byKeyboard));
  UpdateStatus();
}

void MainWindow::OnShowTypesWithoutIconClicked() {
  // Read anew rather than filtered, so the list holds only what it shows:
  // as Refresh, it asks first about changes waiting for Apply.
  const bool all = controls_.listedTypes() == TypesListed::All;
  const bool readNow = commands_.CanChange() && commands_.MayDropChanges(LeavingBy::Refresh);
  // Yes applies the changes first, on the writer; the list is read anew,
  // as the box now says, once they are written.
  if (!readNow && !commands_.writing())
    return controls_.SetListedTypes(all ? TypesListed::WithIcon : TypesListed::All);
  SaveWindowSwitch(os_.registry, kShowTypesWithoutIconValue, all);
  if (!readNow) return;
  commands_.Tell({});
  StartWalk();
}

void MainWindow::OnExit() {
  // While the registry is read no change can wait: nothing to ask.
  if (!commands_.MayDropChanges(LeavingBy::Exit)) return;
  ::DestroyWindow(hwnd_);
}

// What waited for the changes to be written goes on.
void MainWindow::OnLeave(LeavingBy leaving) {
  switch (leaving) {
    case LeavingBy::Exit:
      ::DestroyWindow(hwnd_);
      return;
    case LeavingBy::Import:
      return OnImportIcons();
    default:
      return StartWalk();
  }
}

void MainWindow::OnSearchChanged() {
  list_.SetSearch(WindowText(control(Part::Search)));
  UpdateStatus();
}

// ---- messages

void MainWindow::OnCommand(int id, int code) {
  if (id == IDOK) return OnEnterKey();
  if (id == IDCANCEL) return OnEscapeKey();
  switch (static_cast<Part>(id - kFirstControlId)) {
    case Part::Refresh:
      return OnRefresh();
    case Part::ShowTypesWithoutIcon:
      if (code == BN_CLICKED) OnShowTypesWithoutIconClicked();
      return;
    case Part::Exit:
      return OnExit();
    case Part::Apply:
      return OnApply();
    case Part::Restore:
      return OnRestoreDefaults();
    case Part::Browse:
      return OnBrowse();
    case Part::IconFile:
      return iconFile_.OnFileBoxCommand(code);
    case Part::Search:
      if (code == EN_CHANGE) OnSearchChanged();
      return;
    default:
      return;
  }
}

// Enter, from the dialog keys: no button is the default.
void MainWindow::OnEnterKey() {
  const HWND focus = ::GetFocus();
  if (focus == list_.hwnd()) {
    OnTypeActivated(true);
  } else if (focus == control(Part::Search) && list_.shown() > 0) {
    // Enter in the search box goes to the types it found.
    if (!SelectedItem()) list_.Select(list_.TypeAt(0));
    ::SetFocus(list_.hwnd());
  }
}

// Escape empties the search, and presses no button.
void MainWindow::OnEscapeKey() {
  if (::GetFocus() == control(Part::Search)) ::SetWindowTextW(control(Part::Search), L"");
}

// A second copy was refused and let this one take the foreground.
void MainWindow::OnComeForward() {
  if (::IsIconic(hwnd_)) ::ShowWindow(hwnd_, SW_RESTORE);
  ::SetForegroundWindow(hwnd_);
}

void MainWindow::OnDestroy() {
  // The workers end with the window, joined before it is gone; a write in
  // hand is finished first.
  commands_.Stop();
  feed_.Stop();
  listIcons_.Stop();
  placement_.Save(hwnd_, dpi_);
  if (auto* shell = dynamic_cast<win32::Win32Shell*>(&os_.shell)) shell->SetOwner(nullptr);
  if (quitOnDestroy_) ::PostQuitMessage(0);
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lp);
      if (header.hwndFrom == list_.hwnd()) return list_.OnNotify(header);
      return controls_.OnTipShown(header) ? TRUE : 0;
    }
    case WM_NEXTDLGCTL:
      focus_.OnNextControl(wp, lp);
      return 0;
    case WM_CTLCOLORSTATIC:
      return controls_.OnColorStatic(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_GETMINMAXINFO:
      WindowPlacement::KeepDesignMinimum(hwnd_, dpi_, *reinterpret_cast<MINMAXINFO*>(lp));
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
      return 0;
    case WM_ACTIVATE:
      focus_.OnActivate(LOWORD(wp) != WA_INACTIVE);
      return 0;
    case WM_CLOSE:
      OnExit();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
  }
  if (msg == ComeForwardMessage()) {
    OnComeForward();
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace tarrow::app
