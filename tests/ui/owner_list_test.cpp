// The owner-drawn list as the user meets it: a real window under the display,
// driven by the messages that mouse, wheel and keyboard produce, with the
// modifier keys set through the thread's keyboard state.
#include "ui/controls/owner_list.h"

#include <windows.h>
#include <windowsx.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/message_pump.h"
#include "support/screen_capture.h"
#include "ui/controls/owner_list_geometry.h"

namespace {

constexpr COLORREF background = RGB(255, 255, 255);
constexpr COLORREF selection = RGB(255, 190, 40);

class test_source final : public owner_list_source {
public:
  std::vector<std::wstring> texts;
  bool single_column = false;
  int activations = 0, selection_changes = 0;
  SIZE icon_size = {};

  void set_icon_size(int width, int height) override { icon_size = {width, height}; }
  int texts_made = 0;

  std::wstring get_text(std::uint32_t index) override {
    ++texts_made;
    return texts.at(index);
  }
  void copy_text(std::uint32_t index, std::wstring& out) override { out.assign(texts.at(index)); }
  std::uint32_t get_count() override { return static_cast<std::uint32_t>(texts.size()); }
  HICON get_icon(std::uint32_t) override { return nullptr; }
  void activate() override { ++activations; }
  void selection_changed() override { ++selection_changes; }
  bool is_single_column() override { return single_column; }
  bool has_side_panel() override { return false; }
  void paint_side_panel(const RECT&, const RECT&, int, HDC) override {}
  COLORREF get_colour(int kind) override {
    return kind == colour_selection ? selection : kind == colour_background ? background : RGB(0, 0, 0);
  }
};

std::vector<std::wstring> numbered(int count) {
  std::vector<std::wstring> texts;
  for (int i = 0; i < count; ++i) texts.push_back(L"Item " + std::to_wstring(i));
  return texts;
}

// Holds or lets go of modifier keys for this thread, as GetKeyState reads them.
void hold_keys(std::initializer_list<int> keys) {
  BYTE state[256] = {};
  for (const int key : keys) state[key] = 0x80;
  SetKeyboardState(state);
}

class OwnerList : public ::testing::Test {
protected:
  void SetUp() override {
    parent = CreateWindowExW(WS_EX_TOPMOST, L"#32770", L"Owner list", WS_POPUP | WS_CAPTION | WS_VISIBLE, 40, 40, 420, 300,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &saved_wheel_lines, 0);
    SystemParametersInfoW(SPI_SETWHEELSCROLLLINES, 3, nullptr, 0);
    hold_keys({});
  }
  void TearDown() override {
    hold_keys({});
    SystemParametersInfoW(SPI_SETWHEELSCROLLLINES, saved_wheel_lines, nullptr, 0);
    if (parent != nullptr) DestroyWindow(parent);
    DeleteObject(font);
  }

  // The list filling a client area of width x height.
  HWND open(int width = 300, int height = 200) {
    const RECT place = {10, 10, 10 + width, 10 + height};
    window = list.create(parent, place, 100, WS_CHILD | WS_VISIBLE | WS_TABSTOP);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    RECT client;
    GetClientRect(window, &client);
    client_height = client.bottom;
    SetFocus(window);
    pump_pending();
    return window;
  }
  int cell_height() const { return list.layout().cell_height; }
  // The centre of item i on screen, in client coordinates.
  LPARAM at(int index) const {
    const owner_list_layout& l = list.layout();
    const POINT scroll = list.scroll_position();
    const int x = (index / l.rows) * l.cell_width + l.cell_width / 2 - scroll.x;
    const int y = (index % l.rows) * l.cell_height + l.cell_height / 2 - scroll.y;
    return MAKELPARAM(x, y);
  }
  void click(int index, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP) {
    SendMessageW(window, down, 0, at(index));
    SendMessageW(window, up, 0, at(index));
  }
  void key(int vk) { SendMessageW(window, WM_KEYDOWN, vk, 0); }
  void type(const wchar_t* text) {
    for (; *text != 0; ++text) SendMessageW(window, WM_CHAR, *text, 0);
  }
  std::vector<int> selected() const {
    std::vector<int> out;
    for (int i = 0; i < list.item_count(); ++i)
      if (list.is_selected(i)) out.push_back(i);
    return out;
  }

  test_source source;
  owner_list list{&source};
  HWND parent = nullptr, window = nullptr;
  HFONT font = nullptr;
  int client_height = 0;
  UINT saved_wheel_lines = 3;
};

TEST_F(OwnerList, ItemsThatFitStayInOneColumnAndOneMoreFlowsIntoColumnsThatReflowOnResize) {
  source.texts = numbered(1);
  open();
  const int fitting = client_height / cell_height();
  source.texts = numbered(fitting);
  list.reload();
  EXPECT_FALSE(list.layout().multi_column);
  EXPECT_EQ(list.layout().rows, fitting);

  source.texts = numbered(fitting + 1);
  list.reload();
  ASSERT_TRUE(list.layout().multi_column);
  EXPECT_EQ(list.layout().rows, fitting);
  EXPECT_LE(list.layout().cell_width, list.metrics().reference.cx);
  EXPECT_EQ(list.layout().content_width, 2 * list.layout().cell_width);

  // Half the height: twice the columns, once the deferred layout has run.
  SetWindowPos(window, nullptr, 0, 0, 300, client_height / 2, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(list.layout().rows, fitting);
  pump_pending();
  EXPECT_EQ(list.layout().rows, (client_height / 2) / cell_height());

  // Texts wider than the reference are cut to it when they flow over columns.
  source.texts.assign(fitting * 3, std::wstring(80, L'W'));
  list.reload();
  EXPECT_EQ(list.layout().cell_width, list.metrics().reference.cx);
}

TEST_F(OwnerList, ALargeListLoadsWithoutATextMadePerItemAndItsScrollBarsFollow) {
  source.texts = numbered(1);
  open();
  source.texts = numbered(20000);
  source.texts[12345] = std::wstring(60, L'W');
  source.texts_made = 0;
  list.reload();
  EXPECT_EQ(source.texts_made, 0) << "every text is read into one reused buffer";
  EXPECT_GT(list.metrics().reference.cx, 0);
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE;
  ASSERT_TRUE(GetScrollInfo(window, SB_HORZ, &info));
  EXPECT_EQ(info.nMax, list.layout().content_width) << "the bars take the new layout, drawn with the next paint";
  source.texts = numbered(3);
  list.reload();
  pump_pending();
  info = SCROLLINFO{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE;
  GetScrollInfo(window, SB_HORZ, &info);
  EXPECT_LT(info.nMax, static_cast<int>(info.nPage)) << "nothing left to scroll";
}

TEST_F(OwnerList, AnEmptyListHasNoCellsAndIgnoresClicksWheelKeysAndTyping) {
  open();
  EXPECT_EQ(list.item_count(), 0);
  EXPECT_EQ(list.layout().content_width, 0);
  EXPECT_EQ(list.layout().content_height, 0);
  EXPECT_GT(cell_height(), 0);  // from the font: nothing divides by zero
  SendMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(20, 20));
  SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 60));
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(40, 60));
  SendMessageW(window, WM_LBUTTONDBLCLK, 0, MAKELPARAM(20, 20));
  SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
  SendMessageW(window, WM_MOUSEHOVER, 0, MAKELPARAM(20, 20));
  for (const int vk : {VK_HOME, VK_END, VK_DOWN, VK_NEXT, VK_SPACE}) key(vk);
  type(L"ab");
  EXPECT_EQ(list.focus_index(), -1);
  EXPECT_EQ(list.scroll_position().y, 0);
  EXPECT_EQ(source.selection_changes, 0);
  EXPECT_TRUE(IsWindow(window));

  // A zero cell size hits nothing and never scrolls.
  owner_list_layout nothing;
  EXPECT_EQ(owner_list_exact_hit(nothing, 5, {3, 3}, {0, 0}), -1);
  drag_end end;
  EXPECT_FALSE(owner_list_drag_hit(nothing, 5, {3, 3}, {0, 0}, end));
  wheel_accumulator wheel;
  EXPECT_EQ(wheel.add(-120, 3, 0), 0);
}

TEST_F(OwnerList, TypingFindsTheFirstItemStartingWithTheTextFromTheFocusThenOneContainingIt) {
  source.texts = {L"Alpha", L"Bend", L"beta", L"Gamma", L"Beat it", L"The band", L"omega be"};
  open();
  list.select_only(3);
  type(L"be");  // from the focus on, wrapping: "Beat it"
  EXPECT_EQ(selected(), std::vector<int>{4});
  EXPECT_EQ(list.focus_index(), 4);
  EXPECT_TRUE(list.focus_rect_visible());

  type(L"a");  // "bea" still starts "Beat it"
  EXPECT_EQ(selected(), std::vector<int>{4});
  type(L"t ");  // a space within the second is part of the text
  EXPECT_EQ(selected(), std::vector<int>{4});
  key(VK_SPACE);  // and Space does not toggle the item meanwhile
  EXPECT_TRUE(list.is_selected(4));

  Sleep(1100);  // a pause starts a new search, and Space toggles again
  type(L"o");
  EXPECT_EQ(selected(), std::vector<int>{6});
  Sleep(1100);
  key(VK_SPACE);
  EXPECT_TRUE(selected().empty());
  EXPECT_TRUE(list.focus_rect_visible());

  Sleep(1100);
  list.select_only(0);
  type(L"amm");  // no item starts with it; "Gamma" contains it
  EXPECT_EQ(selected(), std::vector<int>{3});
  Sleep(1100);
  type(L" ");  // a space alone does not search
  EXPECT_EQ(selected(), std::vector<int>{3});
}

TEST_F(OwnerList, DragsSelectRangesIncludingPastTheEndAndCtrlTogglesThem) {
  source.texts = numbered(30);
  source.single_column = true;
  open();
  // From item 7 back to item 3.
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at(7));
  EXPECT_EQ(GetCapture(), window);
  SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, at(5));
  SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, at(3));
  SendMessageW(window, WM_LBUTTONUP, 0, at(3));
  EXPECT_EQ(selected(), (std::vector<int>{3, 4, 5, 6, 7}));
  EXPECT_EQ(list.focus_index(), 3);
  EXPECT_EQ(GetCapture(), nullptr);

  // Five items: a press below the last one starts after it, and a drag up to
  // item 2 holds 2..4; the focus stays where the press found none.
  source.texts = numbered(5);
  list.reload();
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5 * cell_height() + 20));
  EXPECT_TRUE(selected().empty());
  SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, at(2));
  SendMessageW(window, WM_LBUTTONUP, 0, at(2));
  EXPECT_EQ(selected(), (std::vector<int>{2, 3, 4}));

  // Ctrl keeps the selection and toggles what the drag covers.
  hold_keys({VK_CONTROL});
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, at(1));
  SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON | MK_CONTROL, at(3));
  SendMessageW(window, WM_LBUTTONUP, MK_CONTROL, at(3));
  EXPECT_EQ(selected(), (std::vector<int>{1, 4}));
  click(4);  // Ctrl-click toggles one item
  EXPECT_EQ(selected(), std::vector<int>{1});

  // A press while a drag runs only ends the drag.
  hold_keys({});
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at(0));
  SendMessageW(window, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, at(3));
  EXPECT_EQ(selected(), std::vector<int>{0});
  EXPECT_EQ(GetCapture(), nullptr);

  // A range with equal ends holds the item only when both ends include it.
  EXPECT_TRUE(drag_range_contains({2, true}, {2, true}, 2));
  EXPECT_FALSE(drag_range_contains({2, true}, {2, false}, 2));
  EXPECT_TRUE(drag_range_contains({5, false}, {2, true}, 4));
  EXPECT_FALSE(drag_range_contains({5, false}, {2, true}, 5));
}

TEST_F(OwnerList, ClicksAndKeysFollowTheAnchorRulesAndRightClickKeepsASelection) {
  source.texts = numbered(40);
  source.single_column = true;
  open();
  list.set_focus_item(5);
  ASSERT_EQ(list.anchor_index(), -1);
  hold_keys({VK_SHIFT});
  key(VK_DOWN);  // from the focus item, no anchor: two items
  EXPECT_EQ(selected(), (std::vector<int>{5, 6}));
  EXPECT_EQ(list.anchor_index(), 5);
  key(VK_UP);
  key(VK_UP);
  EXPECT_EQ(selected(), (std::vector<int>{4, 5}));
  EXPECT_TRUE(list.focus_rect_visible());

  hold_keys({VK_CONTROL});
  key(VK_DOWN);  // only the focus moves
  key(VK_DOWN);
  EXPECT_EQ(list.focus_index(), 6);
  EXPECT_EQ(selected(), (std::vector<int>{4, 5}));
  key('A');
  EXPECT_EQ(selected().size(), 40u);

  hold_keys({});
  key(VK_HOME);
  EXPECT_EQ(selected(), std::vector<int>{0});
  EXPECT_EQ(list.anchor_index(), -1);
  key(VK_END);
  EXPECT_EQ(selected(), std::vector<int>{39});
  EXPECT_GT(list.scroll_position().y, 0);
  const int page = client_height / cell_height();
  key(VK_PRIOR);
  EXPECT_EQ(selected(), std::vector<int>{39 - page});
  key(VK_NEXT);
  EXPECT_EQ(selected(), std::vector<int>{39});
  key(VK_UP);
  EXPECT_EQ(list.focus_index(), 38);
  key(VK_DOWN);
  key(VK_DOWN);  // clamped at the end
  EXPECT_EQ(selected(), std::vector<int>{39});

  // Clicks: a plain click clears the anchor, Shift-click extends from the
  // focus item, a second Shift-click from the same place.
  list.scroll_to(0, 0);
  click(2);
  hold_keys({VK_SHIFT});
  click(4);
  EXPECT_EQ(selected(), (std::vector<int>{2, 3, 4}));
  click(1);
  EXPECT_EQ(selected(), (std::vector<int>{1, 2}));
  EXPECT_FALSE(list.focus_rect_visible());
  hold_keys({});
  click(2, WM_RBUTTONDOWN, WM_RBUTTONUP);  // a selected item keeps the selection
  EXPECT_EQ(selected(), (std::vector<int>{1, 2}));
  EXPECT_EQ(list.focus_index(), 2);
  click(6, WM_RBUTTONDOWN, WM_RBUTTONUP);
  EXPECT_EQ(selected(), std::vector<int>{6});
  SendMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(260, 5));  // right of the column: nothing
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(260, 5));
  EXPECT_TRUE(selected().empty());
  EXPECT_EQ(list.focus_index(), -1);

  SendMessageW(window, WM_LBUTTONDBLCLK, 0, at(3));
  key(VK_RETURN);
  EXPECT_EQ(selected(), std::vector<int>{3});
  EXPECT_EQ(source.activations, 2);

  MSG tab = {window, WM_KEYDOWN, VK_TAB, 0, 0, {}};
  MSG down = {window, WM_KEYDOWN, VK_DOWN, 0, 0, {}};
  EXPECT_EQ(SendMessageW(window, WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&tab)) & DLGC_WANTALLKEYS, 0);
  EXPECT_EQ(SendMessageW(window, WM_GETDLGCODE, VK_DOWN, reinterpret_cast<LPARAM>(&down)), DLGC_WANTALLKEYS);
}

TEST_F(OwnerList, AWheelNotchScrollsThreeCellHeightsAndPartialNotchesAddUp) {
  source.texts = numbered(200);
  source.single_column = true;
  open();
  const int h = cell_height();
  SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
  EXPECT_EQ(list.scroll_position().y, 3 * h);
  for (int i = 0; i < 3; ++i) SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -40), 0);
  EXPECT_EQ(list.scroll_position().y, 6 * h);
  SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
  EXPECT_EQ(list.scroll_position().y, 3 * h);

  // Any cell height: a notch is exactly its lines, the rest carried.
  for (int height = 7; height < 40; ++height) {
    wheel_accumulator wheel;
    int moved = 0;
    for (int notch = 0; notch < 4; ++notch) moved += wheel.add(-120, 3, height);
    EXPECT_EQ(moved, -12 * height) << height;
  }

  // Columns: the vertical wheel moves sideways.
  source.single_column = false;
  list.reload();
  ASSERT_TRUE(list.layout().multi_column);
  list.scroll_to(0, 0);
  SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
  EXPECT_EQ(list.scroll_position().x, 3 * h);
  EXPECT_EQ(list.scroll_position().y, 0);
}

TEST_F(OwnerList, ATruncatedItemShowsItsWholeTextInATooltipOverIt) {
  const std::wstring long_text = L"A very long title that does not fit into the narrow list at all";
  source.texts = {L"Short", long_text, L"Another"};
  source.single_column = true;
  open(120, 200);
  POINT over = {40, 0};
  over.y = GET_Y_LPARAM(at(1));
  SendMessageW(window, WM_MOUSEHOVER, 0, MAKELPARAM(over.x, over.y));
  ClientToScreen(window, &over);
  SetCursorPos(over.x, over.y);
  EXPECT_EQ(list.label_text(), long_text);
  ASSERT_NE(list.label_tooltip(), nullptr);
  pump_pending();
  EXPECT_TRUE(IsWindowVisible(list.label_tooltip()));
  test_support::screen_capture shot(parent);
  shot.save("owner_list_label_tooltip");

  // The check timer hides it once the pointer has left the label.
  SetCursorPos(over.x, over.y + 3 * cell_height());
  SendMessageW(window, WM_TIMER, owner_list::label_timer_id, 0);
  EXPECT_TRUE(list.label_text().empty());

  // Texts that fit cells lying wholly in the window show no label.
  source.texts = {L"Short", L"Another"};
  list.reload();
  SendMessageW(window, WM_MOUSEHOVER, 0, MAKELPARAM(20, GET_Y_LPARAM(at(0))));
  EXPECT_TRUE(list.label_text().empty());
}

TEST_F(OwnerList, SelectedCellsAndTheFocusFrameAreDrawnInColumns) {
  source.texts = numbered(60);
  open();
  ASSERT_TRUE(list.layout().multi_column);
  click(2);
  hold_keys({VK_SHIFT});
  key(VK_DOWN);
  hold_keys({});
  const test_support::screen_capture shot(parent);
  shot.save("owner_list_columns");
  RECT list_place;
  GetWindowRect(window, &list_place);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&list_place), 2);
  const owner_list_layout& l = list.layout();
  // Left edge of item 2 (selected) and of item 8 (not), away from the text.
  const COLORREF chosen = shot.client_pixel(list_place.left + 2, list_place.top + 2 * l.cell_height + 3);
  const COLORREF plain = shot.client_pixel(list_place.left + 2, list_place.top + 8 * l.cell_height + 3);
  EXPECT_EQ(plain, background);
  EXPECT_NE(chosen, background);
}

}  // namespace
