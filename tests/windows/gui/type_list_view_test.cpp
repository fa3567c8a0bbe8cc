// The type list view over a type list of the test's own, in a plain parent
// window: its selection of several types as rows arrive in batches.
#include "app/type_list_view.h"

#include <gtest/gtest.h>
#include <set>

#include "app/window.h"
#include "wine_support.h"

namespace tarrow::app {
namespace {

constexpr wchar_t kParentClass[] = L"TarrowTypeListTestParent";

class NoPictures : public PictureSink {
 public:
  int AddPicture(IconHandle) override { return -1; }
  void RemoveAllPictures() override {}
};

class TypeListViewTest : public ::testing::Test, private TypeListListener {
 protected:
  void SetUp() override {
    RegisterClassOnce(kParentClass, &::DefWindowProcW, ::GetSysColorBrush(COLOR_BTNFACE));
    parent_ = ::CreateWindowExW(0, kParentClass, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400, 300,
                                nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(parent_);
    ASSERT_TRUE(view_.Create(parent_, 5));
    view_.Place(0, 0, 380, 260, 96);
  }
  void TearDown() override { ::DestroyWindow(parent_); }

  void Add(std::initializer_list<const wchar_t*> extensions, bool last) {
    const std::size_t first = types_.size();
    for (const wchar_t* extension : extensions)
      types_.Add({extension, L"class", L"Type", L"C:\\x.dll,0", std::nullopt, L""});
    view_.AddRows(first, last);
  }
  std::size_t IndexOf(const std::wstring& extension) const {
    for (std::size_t i = 0; i < types_.size(); ++i) {
      if (types_[i].extension == extension) return i;
    }
    return types_.size();
  }
  std::vector<std::wstring> Selected() const {
    std::vector<std::wstring> extensions;
    for (const std::size_t index : view_.SelectedTypes()) extensions.push_back(types_[index].extension);
    return extensions;
  }
  std::wstring Focused() const {
    const auto index = view_.Selected();
    return index ? types_[*index].extension : L"<none>";
  }
  void Choose(const std::vector<std::wstring>& extensions) {
    for (const std::wstring& extension : extensions) {
      const int row = view_.RowOf(IndexOf(extension));
      ListView_SetItemState(view_.hwnd(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
  }

  TypeList types_;
  NoPictures sink_;
  ImageStore images_{sink_};
  TypeListView view_{types_, images_, *this};
  HWND parent_ = nullptr;

 private:
  void OnTypeActivated(bool) override {}
  void OnRestoreOriginalIcon() override {}
  void OnImportIcons() override {}
  bool CanChangeIcons() const override { return true; }
  void OnExportIcons() override {}
  void OnPicturesWanted(const std::vector<std::wstring>&) override {}
  void OnRowsChanged() override {}
};

TEST_F(TypeListViewTest, SelectedTypesFollowTheirRowsAsTypesArriveBeforeThem) {
  Add({L".b", L".d"}, false);
  Choose({L".b", L".d"});
  ASSERT_EQ(Selected(), (std::vector<std::wstring>{L".b", L".d"}));
  Add({L".a", L".c"}, true);
  EXPECT_EQ(Selected(), (std::vector<std::wstring>{L".b", L".d"}));
  EXPECT_EQ(Focused(), L".d");
  EXPECT_EQ(ListView_GetNextItem(view_.hwnd(), -1, LVNI_FOCUSED), 3);
}

TEST_F(TypeListViewTest, ARegistryReadAnewSelectsEachTypeAgainAsItArrives) {
  Add({L".a", L".b", L".c", L".d"}, true);
  Choose({L".b", L".d", L".c"});
  ASSERT_EQ(Focused(), L".c");
  view_.BeginRows();
  types_.Clear();
  Add({L".d"}, false);
  EXPECT_EQ(Selected(), (std::vector<std::wstring>{L".d"}));
  Add({L".b", L".a"}, false);
  EXPECT_EQ(Selected(), (std::vector<std::wstring>{L".b", L".d"}));
  EXPECT_EQ(Focused(), L".b") << "the focused type is not here yet: the first selected";
  Add({L".c", L".e"}, true);
  EXPECT_EQ(Selected(), (std::vector<std::wstring>{L".b", L".c", L".d"}));
  EXPECT_EQ(Focused(), L".c");
}

TEST_F(TypeListViewTest, CtrlASelectsEveryRowShownAndTheFocusStays) {
  Add({L".a", L".b", L".c"}, true);
  Choose({L".b"});
  BYTE saved[256], held[256];
  ::GetKeyboardState(saved);
  std::copy(std::begin(saved), std::end(saved), held);
  held[VK_CONTROL] = 0x80;
  ::SetKeyboardState(held);
  ::SendMessageW(view_.hwnd(), WM_KEYDOWN, 'A', 0);
  ::SetKeyboardState(saved);
  EXPECT_EQ(Selected(), (std::vector<std::wstring>{L".a", L".b", L".c"}));
  EXPECT_EQ(Focused(), L".b") << "the focus stays";
  // Without Ctrl, A is typed: the search for a type.
  view_.Select(IndexOf(L".c"));
  ::SendMessageW(view_.hwnd(), WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(Selected(), (std::vector<std::wstring>{L".c"}));
}

}  // namespace
}  // namespace tarrow::app
