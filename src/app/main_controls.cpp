#include "app/main_controls.h"

#include <commctrl.h>

namespace tarrow::app {
namespace {

struct ControlDesign {
  Part part;
  const wchar_t* windowClass;  // nullptr: a view of the window's own
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
};

// In the layout's order, which is the tab order.
const ControlDesign kControls[] = {
    {Part::SearchLabel, WC_STATICW, L"&Search:", SS_LEFT, 0},
    {Part::Search, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
    {Part::TypesLabel, WC_STATICW, L"Registered File &Types:", SS_LEFT, 0},
    {Part::TypeList, nullptr, L"", 0, 0},
    {Part::TypeCount, WC_STATICW, L"", SS_RIGHT | SS_NOPREFIX, 0},
    {Part::ShowTypesWithoutIcon, WC_BUTTONW, L"Show types &without an icon", WS_TABSTOP | BS_AUTOCHECKBOX, 0},
    {Part::IconFileLabel, WC_STATICW, L"&Icon File:", SS_LEFT, 0},
    {Part::IconFile, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
    {Part::Browse, WC_BUTTONW, L"&Browse...", WS_TABSTOP | BS_PUSHBUTTON, 0},
    {Part::GridScroll, nullptr, L"", 0, 0},
    {Part::IconGrid, nullptr, L"", 0, 0},
    {Part::Restore, WC_BUTTONW, L"&Restore Defaults", WS_TABSTOP | BS_PUSHBUTTON, 0},
    {Part::Refresh, WC_BUTTONW, L"Re&fresh", WS_TABSTOP | BS_PUSHBUTTON, 0},
    {Part::Apply, WC_BUTTONW, L"&Apply", WS_TABSTOP | BS_PUSHBUTTON, 0},
    {Part::Exit, WC_BUTTONW, L"E&xit", WS_TABSTOP | BS_PUSHBUTTON, 0},
    {Part::Credit, WC_STATICW, L"Every file type with the icon you want", SS_CENTER | SS_NOPREFIX, 0},
    // SS_NOTIFY: the pointer over it reaches the tip of a cut status.
    {Part::Status, WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE | SS_NOTIFY,
     WS_EX_STATICEDGE},
    {Part::Preview, nullptr, L"", 0, 0},
};
static_assert(std::size(kControls) == kPartCount);

}  // namespace

void MainControls::Create(HWND parent) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (const auto& c : kControls) {
    const int id = ControlIdOf(c.part);
    HWND& control = controls_[static_cast<std::size_t>(c.part)];
    if (c.part == Part::TypeList) {
      list_.Create(parent, id);
      control = list_.hwnd();
    } else if (c.part == Part::IconGrid) {
      grid_.Create(parent, id);
      control = grid_.hwnd();
    } else if (c.part == Part::Preview) {
      preview_.Create(parent, id);
      control = preview_.hwnd();
    } else if (c.windowClass) {
      control =
          ::CreateWindowExW(c.exStyle, c.windowClass, c.text, WS_CHILD | WS_VISIBLE | c.style, 0, 0, 0, 0,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    }
  }
  ::SendMessageW((*this)[Part::Search], EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"Description, extension or ProgID"));
  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               0, 0, 0, 0, parent, nullptr, instance, nullptr);
  AddTip(parent, grid_.hwnd(), L"Double Click to Select Icon");
  // Empty while the status fits: a tip without text never shows.
  AddTip(parent, (*this)[Part::Status], L"");
}

TOOLINFOW MainControls::Tip(HWND parent, HWND control, const wchar_t* text) const {
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = parent;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(text);
  return tool;
}

void MainControls::AddTip(HWND parent, HWND control, const wchar_t* text) {
  const TOOLINFOW tool = Tip(parent, control, text);
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainControls::SetStatus(const std::wstring& text) {
  const HWND status = (*this)[Part::Status];
  ::SetWindowTextW(status, text.c_str());
  statusTip_ = StatusCut(status, text) ? text : std::wstring();
  const TOOLINFOW tool = Tip(::GetParent(status), status, statusTip_.c_str());
  ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool MainControls::StatusCut(HWND status, const std::wstring& text) {
  RECT client;
  ::GetClientRect(status, &client);
  const HDC dc = ::GetDC(status);
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(status, WM_GETFONT, 0, 0)));
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(status, dc);
  return size.cx > client.right;
}

bool MainControls::OnTipShown(const NMHDR& header) {
  if (header.hwndFrom != tooltip_ || header.code != TTN_SHOW ||
      header.idFrom != reinterpret_cast<UINT_PTR>(grid_.hwnd()))
    return false;
  // Beside the pointer, not below it, where it would cover the icons the
  // user is about to double-click.
  POINT cursor;
  ::GetCursorPos(&cursor);
  RECT tip;
  ::GetWindowRect(tooltip_, &tip);
  const int gap = ::GetSystemMetrics(SM_CXCURSOR);
  ::SetWindowPos(tooltip_, nullptr, cursor.x + gap, cursor.y - (tip.bottom - tip.top) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void MainControls::Place(HWND parent, UINT dpi) {
  RECT client;
  ::GetClientRect(parent, &client);
  const WindowLayout layout = LayOutWindow(client.right, client.bottom, static_cast<int>(dpi), preview_.wanted());
  for (const auto& c : kControls) {
    const Box box = layout[static_cast<std::size_t>(c.part)];
    if (c.part == Part::TypeList) {
      list_.Place(box.left, box.top, box.width, box.height, dpi);
    } else if (c.part == Part::IconGrid) {
      const Box bar = layout[static_cast<std::size_t>(Part::GridScroll)];
      grid_.Place(box.left, box.top, bar.left + bar.width - box.left, box.height);
    } else if (c.part == Part::Preview) {
      preview_.Place(box.left, box.top, box.width, box.height);
    } else if (c.windowClass) {
      ::SetWindowPos((*this)[c.part], nullptr, box.left, box.top, box.width, box.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  // Every child, not only the parent: a control that moved is not always
  // repainted where it lands.
  ::RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT MainControls::OnColorStatic(HDC dc, HWND control) const {
  ::SetBkMode(dc, TRANSPARENT);
  if (control == (*this)[Part::Credit]) ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHT));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

void MainControls::SetFonts(const UiFonts& fonts) {
  for (const auto& c : kControls) {
    const HFONT font = c.part == Part::Credit ? fonts.bold() : fonts.normal();
    if ((*this)[c.part]) ::SendMessageW((*this)[c.part], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  list_.SetFonts(fonts.normal(), fonts.bold());
  preview_.SetFont(fonts.normal());
}

TypesListed MainControls::listedTypes() const {
  const bool all = ::SendMessageW((*this)[Part::ShowTypesWithoutIcon], BM_GETCHECK, 0, 0) == BST_CHECKED;
  return all ? TypesListed::All : TypesListed::WithIcon;
}

void MainControls::SetListedTypes(TypesListed which) {
  ::SendMessageW((*this)[Part::ShowTypesWithoutIcon], BM_SETCHECK,
                 which == TypesListed::All ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace tarrow::app
