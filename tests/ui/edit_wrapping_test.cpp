// The rows the program breaks a long line into: where they end, that the
// breaks never reach the text read back, and the keys at a row's edge.
#include "ui/framework/edit_wrapping.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/clipboard_text.h"
#include "foundation/string_buffer.h"

namespace {

// Every character is one unit wide; `width` of them fit a row.
std::wstring rows_of(std::wstring_view text, std::size_t width) {
  return with_soft_breaks(text, [&](std::wstring_view rest) { return std::min(rest.size(), width); });
}

TEST(SoftBreaks, RowsEndAfterTheLastWordThatFitsElseWhereTheRowIsFullAndTheTextsLineBreaksStay) {
  EXPECT_EQ(rows_of(L"one two three", 9), L"one two \r\r\nthree");
  EXPECT_EQ(rows_of(L"one two   three", 7), L"one two   \r\r\nthree");
  EXPECT_EQ(rows_of(L"abcdefghij", 4), L"abcd\r\r\nefgh\r\r\nij");
  EXPECT_EQ(rows_of(L"ab cd\r\nefgh ij\nk", 4), L"ab \r\r\ncd\r\nefgh \r\r\nij\nk");
  EXPECT_EQ(rows_of(L"abcd", 0), L"a\r\r\nb\r\r\nc\r\r\nd");
  // Never inside a surrogate pair, never right after a carriage return.
  EXPECT_EQ(rows_of(L"ab\xD83D\xDE00" L"cd", 3), L"ab\r\r\n\xD83D\xDE00" L"c\r\r\nd");
  EXPECT_EQ(rows_of(L"\xD83D\xDE00" L"cd", 1), L"\xD83D\xDE00\r\r\nc\r\r\nd");
  EXPECT_EQ(rows_of(L"ab\rcd", 3), L"ab\r\r\n\rcd");
  EXPECT_EQ(without_soft_breaks(rows_of(L"x\ry \r\n\xD83D\xDE00 z\r\r", 1)), L"x\ry \r\n\xD83D\xDE00 z\r\r");
}

class SoftWrappedEdit : public ::testing::Test {
protected:
  void SetUp() override {
    parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | WS_VSCROLL | unwrapped_edit_styles,
                           0, 0, 300, 200, parent, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  }
  void TearDown() override { DestroyWindow(parent); }

  std::string read() const {
    qiv::string_buffer text;
    EXPECT_TRUE(get_edit_text_utf8(edit, text));
    return text.get_ptr();
  }
  int rows() const { return int(SendMessageW(edit, EM_GETLINECOUNT, 0, 0)); }
  std::wstring raw() const {
    std::wstring text(std::size_t(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(edit, text.data(), int(text.size()))));
    return text;
  }
  int caret() const {
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return int(end);
  }

  HWND parent = nullptr;
  HWND edit = nullptr;
};

TEST_F(SoftWrappedEdit, ALongLineShowsInRowsAndReadsBackByteForByteWithTheKeysAtARowsEdgeDeletingACharacter) {
  std::string line;
  for (int n = 0; n < 2000; ++n) line += "w\xC3\xA9rd" + std::to_string(n) + (n % 7 ? " " : "");
  const std::string text = "first line\r\n" + line + "\nlast";
  ASSERT_TRUE(set_edit_text_utf8(edit, text.c_str()));
  EXPECT_GT(rows(), 100);
  EXPECT_TRUE(read() == text);

  // Backspace at the start of the long line's second row takes the last
  // character of its first row; Delete at the end of its first row takes
  // the first of its second. The rows stay.
  const int rows_before = rows();
  const std::wstring before = raw();
  const int second_row = int(SendMessageW(edit, EM_LINEINDEX, 2, 0));
  ASSERT_EQ(before.compare(second_row - 3, 3, L"\r\r\n"), 0);
  SendMessageW(edit, EM_SETSEL, second_row, second_row);
  SendMessageW(edit, WM_CHAR, VK_BACK, 1);
  std::wstring expected = before;
  expected.erase(second_row - 4, 1);
  EXPECT_TRUE(raw() == expected);
  EXPECT_EQ(caret(), second_row - 4);

  const int first_row = int(SendMessageW(edit, EM_LINEINDEX, 1, 0));
  const int first_row_end = first_row + int(SendMessageW(edit, EM_LINELENGTH, first_row, 0));
  SendMessageW(edit, EM_SETSEL, first_row_end, first_row_end);
  SendMessageW(edit, WM_KEYDOWN, VK_DELETE, 1);
  expected.erase(first_row_end + 3, 1);
  EXPECT_TRUE(raw() == expected);
  EXPECT_EQ(caret(), first_row_end);
  EXPECT_EQ(rows(), rows_before);
  EXPECT_EQ(read().size(), text.size() - 2);

  // A read-only box keeps its text.
  SendMessageW(edit, EM_SETREADONLY, TRUE, 0);
  SendMessageW(edit, EM_SETSEL, second_row - 1, second_row - 1);
  SendMessageW(edit, WM_CHAR, VK_BACK, 1);
  SendMessageW(edit, WM_KEYDOWN, VK_DELETE, 1);
  EXPECT_TRUE(raw() == expected);
}

TEST_F(SoftWrappedEdit, CopyAndCutPutTheSelectedTextWithoutTheRowsOnTheClipboard) {
  const std::string text = "first " + std::string(30000, 'x') + " last";
  ASSERT_TRUE(set_edit_text_utf8(edit, text.c_str()));
  ASSERT_GT(rows(), 10);
  // From inside the word's first row to inside its fourth.
  const int from = int(SendMessageW(edit, EM_LINEINDEX, 2, 0)) - 10;
  const int to = int(SendMessageW(edit, EM_LINEINDEX, 4, 0)) + 10;
  const std::wstring shown = raw().substr(from, to - from);
  const std::string expected(std::size_t(std::count(shown.begin(), shown.end(), L'x')), 'x');
  ASSERT_EQ(expected.size() + 9, shown.size());
  qiv::string_buffer copied;
  SendMessageW(edit, EM_SETSEL, from, to);
  SendMessageW(edit, WM_COPY, 0, 0);
  ASSERT_TRUE(get_clipboard_text_utf8(copied));
  EXPECT_EQ(copied.get_ptr(), expected);

  set_clipboard_text_utf8("");
  SendMessageW(edit, WM_CUT, 0, 0);
  ASSERT_TRUE(get_clipboard_text_utf8(copied));
  EXPECT_EQ(copied.get_ptr(), expected);
  EXPECT_TRUE(read() == "first " + std::string(30000 - expected.size(), 'x') + " last");
}

TEST_F(SoftWrappedEdit, APasteShowsInRowsAndABoxOfOneLineTakesNoLineBreak) {
  ASSERT_TRUE(set_edit_text_utf8(edit, "old"));
  const std::string pasted = std::string(20000, 'p') + "\r\r\nend\r\nlast";
  ASSERT_TRUE(set_clipboard_text_utf8(pasted.c_str()));
  SendMessageW(edit, EM_SETSEL, 3, 3);
  SendMessageW(edit, WM_PASTE, 0, 0);
  EXPECT_GT(rows(), 100);
  // Its own soft break becomes the line break it showed.
  EXPECT_TRUE(read() == "old" + std::string(20000, 'p') + "\r\nend\r\nlast");

  ASSERT_TRUE(set_edit_text_utf8(edit, std::string(20000, 'o').c_str(), edit_rows_hold::one_line));
  SendMessageW(edit, EM_SETSEL, 20000 + 3 * (rows() - 1), -1);
  SendMessageW(edit, WM_PASTE, 0, 0);
  SendMessageW(edit, WM_CHAR, L'\n', 1);
  EXPECT_TRUE(read() == std::string(20000, 'o') + std::string(20000, 'p'));
}

TEST_F(SoftWrappedEdit, ATextWithASoftBreakOfItsOwnIsShownAsItIsAndReadBackWithIt) {
  const std::string text = std::string(20000, 'a') + "\r\r\nb";
  ASSERT_TRUE(set_edit_text_utf8(edit, text.c_str()));
  EXPECT_EQ(rows(), 2);
  EXPECT_TRUE(read() == text);
}

}  // namespace
