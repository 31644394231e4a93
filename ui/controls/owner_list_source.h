// What the owner-drawn list shows and whom it tells: the list keeps no item
// data of its own, so every text, icon, colour and count comes from here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class owner_list_source {
public:
  // Colour kinds asked through get_colour.
  enum : int { colour_text = 0, colour_background = 2, colour_selection = 3 };

  // The size the list will draw icons at, so the source can make them once.
  virtual void set_icon_size(int width, int height) = 0;
  virtual std::wstring get_text(std::uint32_t index) = 0;
  // The same text into `out`, whose storage is reused: the list reads every
  // text when it is loaded, and a list of 100,000 is loaded in milliseconds
  // only without a heap block per text.
  virtual void copy_text(std::uint32_t index, std::wstring& out) { out = get_text(index); }
  virtual std::uint32_t get_count() = 0;
  // Null draws no icon; the list does not own the handle.
  virtual HICON get_icon(std::uint32_t index) = 0;
  // Enter or a double click.
  virtual void activate() = 0;
  virtual void selection_changed() = 0;
  virtual bool is_single_column() = 0;
  // Asked only when the list is single-column.
  virtual bool has_side_panel() = 0;
  virtual void paint_side_panel(const RECT& panel, const RECT& clip, int line_height, HDC dc) = 0;
  virtual COLORREF get_colour(int kind) = 0;

protected:
  ~owner_list_source() = default;
};
