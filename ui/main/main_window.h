// The player's main window: a resizable modeless dialog (template 149) with
// the transport buttons, the now-playing lines, the navigation buttons and
// lines, and the owner-drawn list of the shown navigation node. The window
// shows what the process's navigation controller builds; it keeps the list,
// the buttons and the keyboard path.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/message_filters.h"
#include "core/user_interface.h"
#include "library/nav_controller.h"
#include "playback/playback_listeners.h"
#include "ui/controls/album_picture.h"
#include "ui/controls/button_images.h"
#include "ui/controls/link_line.h"
#include "ui/controls/owner_list_source.h"
#include "ui/controls/scrolling_owner_list.h"
#include "ui/controls/theme.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/gdiplus_session.h"
#include "ui/framework/window_utilities.h"
#include "ui/main/list_icon_cache.h"
#include "ui/main/now_playing_lines.h"
#include "ui/main/shortcut_keys.h"

class keyboard_shortcuts_main;

class main_window final : public dialog_object,
                          private message_filter,
                          private nav_view_host,
                          private playback_listener,
                          private owner_list_source,
                          private theme_listener,
                          private album_pictures_listener,
                          private shortcut_table {
public:
  static constexpr UINT_PTR seek_timer_id = 0xC822;
  static constexpr UINT seek_timer_ms = 500;

  // Joins the message loop, the playback listeners and the theme listeners,
  // and makes the node of the last location. The window comes with create().
  explicit main_window(window_message_hook hook);
  ~main_window() override;

  // Creates the dialog; a failure throws exception_win32.
  HWND create();

  // The process's main window object, null when there is none.
  static main_window* current() noexcept;

  // The media Play/Pause key: the Pause button while playback runs or is
  // paused, the Play button otherwise.
  static void post_play_pause();

  // Starts playback from the list (ui/main/play_actions.h): `mode` 0 plays
  // the whole list from the one selected track (or the selected containers,
  // or everything when nothing is selected), 1 plays the selection, 2 plays
  // it in random order.
  void play_items(int mode);
  // Selects the playing track in the list when it is there.
  void reveal_now_playing();

  // The item context menu's actions: Browse, and Go to folder (the folder
  // shown with the names selected).
  bool open_selection();
  void go_to_folder(const std::wstring& folder, const wide_text_list& names);
  nav_node* shown_node() const noexcept { return navigation_.node(); }

  // What the user sees, for the window's own code and its tests.
  scrolling_owner_list& list() noexcept { return list_; }
  wide_text_list selected_names() const;

private:
  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void replace_list_placeholder();
  void on_init_dialog();
  bool on_command(WORD id, WORD code, HWND control);
  bool on_notify(const NMHDR& header, LRESULT& result);
  LRESULT paint_button(NMCUSTOMDRAW& draw);
  LRESULT colour_links(const NMCUSTOMDRAW& draw) const;
  bool on_control_colour(HDC dc, LRESULT& result);
  void on_context_menu(HWND target, POINT point);
  void on_drop_files(HDROP drop);
  void on_seek_timer();
  void set_full_screen(bool wanted);
  bool is_full_screen() const;
  void make_fonts();
  void add_tooltips();

  // The message loop's step before translation.
  bool filter(MSG& message) override;
  bool pre_translate(MSG& message);
  bool navigation_key(const MSG& message);
  bool run_shortcut(std::uint32_t key_code) override;

  // Navigation.
  nav_list_state list_state() override;
  void view_changed() override;
  void play_from(const wide_text_list& selection) override;
  void node_changed() override;
  void scanning_changed(bool scanning) override;
  void apply_view();
  void follow_link(int control_id, int link_index);
  void update_playing_item();
  // False when the node lists no tracks, nothing plays or the track is not
  // in the list; every other item is deselected either way.
  bool select_playing_track();
  void set_indexing(bool shown);
  void move_focus(HWND target);
  void enable_play_button();

  // Playback events.
  void on_starting(std::uint32_t command, bool paused) override;
  void on_new_track(const track_handle_ptr& track) override;
  void on_stop(std::uint32_t reason) override;
  void on_seek(double position) override;
  void on_pause(bool paused) override;
  void on_info_change(const track_handle_ptr& track) override;
  void on_time(double seconds) override;
  void on_dynamic_track_info(const track_info& info) override;
  void on_dynamic_info(const track_info& info) override;
  void on_volume_change(float decibels) override;
  void refresh_now_playing();
  void refresh_pause_button();
  void show_volume_icon(float decibels);

  // The list's items.
  void set_icon_size(int width, int height) override;
  std::wstring get_text(std::uint32_t index) override;
  void copy_text(std::uint32_t index, std::wstring& out) override;
  std::uint32_t get_count() override;
  HICON get_icon(std::uint32_t index) override;
  void activate() override;
  void selection_changed() override;
  bool is_single_column() override;
  bool has_side_panel() override;
  void paint_side_panel(const RECT& panel, const RECT& clip, int line_height, HDC dc) override;
  COLORREF get_colour(int kind) override;

  void on_theme_changed() override;
  void on_album_pictures_changed() override;

  HWND item(int id) const noexcept { return GetDlgItem(handle(), id); }

  window_message_hook hook_;
  gdiplus_session gdiplus_;
  service_ptr<keyboard_shortcuts_main> shortcuts_;
  nav_controller& navigation_;
  dialog_resizer resizer_;
  scrolling_owner_list list_{this};
  HWND list_window_ = nullptr;
  HACCEL accelerators_ = nullptr;
  HWND tooltip_ = nullptr;
  HICON big_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  gdi_object_holder caption_font_;
  gdi_object_holder large_line_font_;
  gdi_object_holder small_line_font_;
  list_icon_cache list_icons_;
  int list_icon_width_ = 0;
  int list_icon_height_ = 0;
  bool dark_ = false;
  album_picture side_picture_;
  bool has_side_picture_ = false;
  std::map<std::tuple<int, int, int>, gdiplus_image> button_faces_;
  button_icon_cache button_icons_;
  std::uint32_t volume_icon_ = 0;
  int playing_index_ = -1;
  bool indexing_shown_ = false;
  std::uintptr_t view_rebuilds_ = 0;
  now_playing_lines now_playing_;
  // The four link lines, in the order of link_line_ids.
  link_line link_lines_[4];
  std::vector<nav_location> caption_links_;
  std::vector<nav_location> path_links_;
  // Continuous seeking with Rewind and Fast-forward held down.
  int seek_button_ = 0;
  bool seek_started_ = false;
  double seek_step_ = 0.0;
  // Focus rectangles show only while the user works with the keyboard.
  bool keyboard_input_ = false;
  bool focus_rect_ = false;
};
