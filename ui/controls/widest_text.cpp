#include "ui/controls/widest_text.h"

#include <algorithm>
#include <vector>

namespace {

// The characters whose advance widths are summed: printable Latin, from
// U+0020 to the end of Latin Extended-B. Anything else (other scripts,
// combining marks, controls, surrogates) may be shaped, joined or drawn
// from another font, so a text holding it is always measured.
constexpr wchar_t first_summed = 0x20;
constexpr wchar_t last_summed = 0x24F;

class advance_table {
public:
  explicit advance_table(HDC dc) : widths_(last_summed - first_summed + 1, 0) {
    usable_ = GetCharWidth32W(dc, first_summed, last_summed, widths_.data()) != FALSE;
  }

  // The sum of the advances, or -1 when the text holds a character outside
  // the table.
  long long sum(const std::wstring& text) const {
    if (!usable_) return -1;
    long long total = 0;
    for (const wchar_t c : text) {
      if (c < first_summed || c > last_summed || (c >= 0x7F && c < 0xA0)) return -1;
      total += widths_[c - first_summed];
    }
    return total;
  }

private:
  std::vector<INT> widths_;
  bool usable_ = false;
};

}  // namespace

widest_text_extent measure_widest_text(HDC dc, std::uint32_t count,
                                       const std::function<void(std::uint32_t, std::wstring&)>& text_of) {
  const advance_table advances(dc);
  widest_text_extent result;
  std::wstring text;
  const auto measure = [&](std::uint32_t index) {
    text.clear();
    text_of(index, text);
    SIZE extent = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    result.width = std::max(result.width, static_cast<int>(extent.cx));
    result.height = std::max(result.height, static_cast<int>(extent.cy));
    return extent.cx;
  };
  long long widest_sum = -1;
  std::uint32_t widest_summed = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    text.clear();
    text_of(i, text);
    const long long sum = advances.sum(text);
    if (sum < 0) {
      measure(i);
    } else if (sum > widest_sum) {
      widest_sum = sum;
      widest_summed = i;
    }
  }
  if (widest_sum < 0) return result;
  // The widest summed text, measured, shows whether the font's advances add
  // up as the system draws them; when they do not, every text is measured.
  if (measure(widest_summed) != widest_sum)
    for (std::uint32_t i = 0; i < count; ++i) measure(i);
  return result;
}
