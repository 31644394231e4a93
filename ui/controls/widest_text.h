// The widest of many one-line texts in a device context's font, as
// GetTextExtentPoint32W measures them. Asking the system for every text of a
// list of 100,000 costs most of a second under Wine; a text of Latin letters
// is drawn as the plain sum of its characters' advances, so only the texts
// of other characters and the widest sum are measured.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

struct widest_text_extent {
  int width = 0;   // the widest text's width; 0 without texts
  int height = 0;  // the tallest text's height; 0 without texts
};

// `text_of(i, out)` puts text i (of `count`) into `out`.
widest_text_extent measure_widest_text(HDC dc, std::uint32_t count,
                                       const std::function<void(std::uint32_t, std::wstring&)>& text_of);
