// The owner-drawn list's source in the benchmarks: a list of texts, black on
// white, no icons and no side panel.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/controls/owner_list.h"

namespace bench {

class text_list_source final : public owner_list_source {
public:
  const std::vector<std::wstring>* texts = nullptr;  // none: an empty list
  void set_icon_size(int, int) override {}
  std::wstring get_text(std::uint32_t index) override { return (*texts)[index]; }
  void copy_text(std::uint32_t index, std::wstring& out) override { out.assign((*texts)[index]); }
  std::uint32_t get_count() override { return texts ? static_cast<std::uint32_t>(texts->size()) : 0; }
  HICON get_icon(std::uint32_t) override { return nullptr; }
  void activate() override {}
  void selection_changed() override {}
  bool is_single_column() override { return false; }
  bool has_side_panel() override { return false; }
  void paint_side_panel(const RECT&, const RECT&, int, HDC) override {}
  COLORREF get_colour(int kind) override { return kind == colour_text ? RGB(0, 0, 0) : RGB(255, 255, 255); }
};

}  // namespace bench
