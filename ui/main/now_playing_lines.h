// The two now-playing lines of the main window (SysLink controls): the title
// with the playback time, then the artist and the album, linked into the
// library views when playback was started from one. Kept current as a
// playback listener.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "library/nav_types.h"
#include "metadata/title/title_script.h"
#include "playback/playback_listeners.h"

// Evaluates one of the lines' scripts against the playing track; false when
// nothing plays.
using now_playing_evaluator = std::function<bool(const title_script& script, std::string& out)>;

struct now_playing_texts {
  // SysLink markup and the location of each link, in link order. Line 1's
  // only link reveals the playing track; it has no location.
  nav_caption title_line;
  nav_caption detail_line;
  // The album's view, when the album is linked; kept across tracks without.
  bool has_album_link = false;
  nav_location album_link;
};

class now_playing_lines : public playback_listener {
public:
  // The scripts of the lines, compiled once.
  now_playing_lines();
  // The controls the lines go to; null before the window exists.
  void attach(HWND title_control, HWND detail_control);

  // Rebuilds both lines. `linked`: playback was last started from a library
  // view. `playing`: the front end is playing (or starting).
  now_playing_texts compose(const now_playing_evaluator& evaluate, bool playing, bool linked);
  // Rebuilds the lines from the playback front end into the controls.
  void refresh();

  // The location of link `index` of the detail line; false for none.
  bool detail_link(int index, nav_location& out) const;
  // Where revealing the playing track goes: the album's view.
  bool album_location(nav_location& out) const;

  void on_starting(std::uint32_t, bool) override { refresh(); }
  void on_new_track(const track_handle_ptr&) override { refresh(); }
  void on_stop(std::uint32_t) override { refresh(); }
  void on_seek(double) override { refresh(); }
  void on_pause(bool) override { refresh(); }
  void on_info_change(const track_handle_ptr&) override { refresh(); }
  void on_dynamic_track_info(const track_info&) override { refresh(); }
  void on_dynamic_info(const track_info&) override { refresh(); }
  void on_time(double) override { refresh(); }

private:
  qiv::ref_ptr<title_script> title_, time_, artist_, album_artist_if_different_, album_, album_artist_, date_;
  HWND title_control_ = nullptr;
  HWND detail_control_ = nullptr;
  now_playing_texts shown_;
};

// Sets a SysLink's markup when it differs from what it shows; an "&" shows
// as itself (the control gets the no-prefix style).
void set_link_text(HWND control, const std::string& markup);
// Text as a SysLink shows it: only "<a" and "</a" could start markup, so a
// zero-width space after their "<" keeps any other text exactly as it is.
void append_link_safe_text(std::string& out, const std::string& text);
