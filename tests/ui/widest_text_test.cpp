// The widest of a list's texts equals what measuring every text gives, for
// Latin texts of narrow and wide letters, texts of other scripts and texts
// of characters the summing passes over, wherever the widest one stands.
#include "ui/controls/widest_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

widest_text_extent measure_each(HDC dc, const std::vector<std::wstring>& texts) {
  widest_text_extent result;
  for (const std::wstring& text : texts) {
    SIZE extent = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    result.width = std::max(result.width, static_cast<int>(extent.cx));
    result.height = std::max(result.height, static_cast<int>(extent.cy));
  }
  return result;
}

TEST(WidestText, EqualsMeasuringEveryText) {
  const std::vector<std::vector<std::wstring>> lists = {
      {},
      {L""},
      {L"iiiiiiiiiiiiiiii", L"WWWWWWWW", L"Song 10", L"llllllllllllllllllll"},
      {L"WWWWWWWW", L"iiiiiiiiiiiiiiii", L"Ærøskøbing Ŧŭŵ", L"mmmmmmmm"},
      {L"Album 1", L"Album 2", L"\u6771\u4EAC\u4E8B\u5909\u306E\u6B4C\u3002\u6771\u4EAC"},
      {L"\u0627\u0644\u0639\u0631\u0628\u064A\u0629 \u0627\u0644\u0639\u0631\u0628\u064A\u0629", L"abc"},
      {L"Album 10", L"Album 1l", L"Album 11", L"Album 1i", L"Album 1W", L"Album 1m", L"Album 1M", L"Album 1w"},
      {L"e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301", L"eeeeeee", L"tab\there", L"\U0001F3B5\U0001F3B5 x"},
  };
  const HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  LOGFONTW large = {};
  large.lfHeight = -23;
  wcscpy_s(large.lfFaceName, L"Tahoma");
  const HFONT large_font = CreateFontIndirectW(&large);
  for (const HGDIOBJ font : {GetStockObject(DEFAULT_GUI_FONT), static_cast<HGDIOBJ>(large_font)}) {
    const HGDIOBJ previous = SelectObject(dc, font);
    for (std::vector<std::wstring> texts : lists) {
      for (int rotation = 0; rotation < static_cast<int>(std::max<std::size_t>(texts.size(), 1)); ++rotation) {
        const widest_text_extent expected = measure_each(dc, texts);
        const widest_text_extent got = measure_widest_text(
            dc, static_cast<std::uint32_t>(texts.size()),
            [&](std::uint32_t i, std::wstring& out) { out = texts[i]; });
        EXPECT_EQ(got.width, expected.width) << "list of " << texts.size() << ", rotation " << rotation;
        EXPECT_EQ(got.height, expected.height) << "list of " << texts.size() << ", rotation " << rotation;
        if (!texts.empty()) std::rotate(texts.begin(), texts.begin() + 1, texts.end());
      }
    }
    SelectObject(dc, previous);
  }
  DeleteObject(large_font);
  DeleteDC(dc);
}

}  // namespace
