#include "ui/main/now_playing_lines.h"

#include <commctrl.h>

#include "core/localized_text.h"
#include "foundation/string_small.h"
#include "foundation/window_text.h"
#include "playback/playback_front.h"
#include "ui/main/play_actions.h"

namespace {

// A field the track lacks evaluates to this.
constexpr const char* missing_value = "?";

void append_plain(nav_caption& caption, const std::string& text) { append_link_safe_text(caption.text, text); }

void append_linked(nav_caption& caption, const std::string& text, const nav_location& target) {
  caption.text += "<a>";
  append_link_safe_text(caption.text, text);
  caption.text += "</a>";
  caption.links.push_back(target);
}

nav_location artist_view(const std::wstring& artist) {
  library_position position;
  position.second_level_keys = {artist};
  return {nav_kind_library_view, position.to_nav_path()};
}

// The names, separated by ", ", each a link to its artist's view or plain.
void append_artists(nav_caption& caption, const wide_text_list& names, bool linked) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) caption.text += ", ";
    if (linked) append_linked(caption, nav_utf8(names[i]), artist_view(names[i]));
    else append_plain(caption, nav_utf8(names[i]));
  }
}

}  // namespace

void append_link_safe_text(std::string& out, const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] != '<' || i + 1 >= text.size()) continue;
    const char next = text[i + 1];
    if (next == 'a' || next == 'A' || next == '/') out += "\xE2\x80\x8B";  // U+200B
  }
}

void set_link_text(HWND control, const std::string& markup) {
  if (control == nullptr) return;
  // "&" must show as itself. Doubling it works only where the control takes
  // "&" as a mnemonic mark (Wine's does not, and shows "&&"); with the
  // no-prefix style every control shows a single "&" as it is.
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  if ((style & LWS_NOPREFIX) == 0) SetWindowLongPtrW(control, GWL_STYLE, style | LWS_NOPREFIX);
  qiv::string_small current;
  if (get_window_text_utf8(control, current) && markup == current.get_ptr()) return;
  set_window_text_utf8(control, markup.c_str());
  // An emptied control may not repaint by itself, leaving the old line on
  // screen.
  InvalidateRect(control, nullptr, TRUE);
}

now_playing_lines::now_playing_lines()
    : title_(title_script::compile("%title%")),
      time_(title_script::compile(" '['%playback_time%[ / %length%]']'")),
      artist_(title_script::compile("%artist%")),
      album_artist_if_different_(title_script::compile("$if(%track artist%,%album artist%,)")),
      album_(title_script::compile("%album%")),
      album_artist_(title_script::compile("%album artist%")),
      date_(title_script::compile("[%date%]")) {}

void now_playing_lines::attach(HWND title_control, HWND detail_control) {
  title_control_ = title_control;
  detail_control_ = detail_control;
}

now_playing_texts now_playing_lines::compose(const now_playing_evaluator& evaluate, bool playing, bool linked) {
  now_playing_texts texts;
  // The album link outlives tracks played from elsewhere.
  texts.has_album_link = shown_.has_album_link;
  texts.album_link = shown_.album_link;
  std::string title;
  if (!evaluate(*title_, title)) {
    append_plain(texts.title_line,
                 localized_text_get(playing ? "ui_notice_playback_starting" : "ui_notice_playback_stopped"));
    texts.has_album_link = false;
    texts.album_link = {};
    return texts;
  }
  std::string time;
  evaluate(*time_, time);
  texts.title_line.text = "<a>";
  append_link_safe_text(texts.title_line.text, title);
  texts.title_line.text += "</a>";
  append_plain(texts.title_line, time);

  nav_caption& line = texts.detail_line;
  std::string artist;
  evaluate(*artist_, artist);
  if (artist == missing_value) {
    append_plain(line, localized_text_get("ui_np_unknown_artist"));
  } else {
    const wide_text_list names = nav_split_pieces(nav_wide(artist), L", ");
    if (!names.empty()) {
      append_plain(line, localized_text_get("ui_np_artist_prefix"));
      line.text += ' ';
      append_artists(line, names, linked);
    }
  }

  std::string album;
  evaluate(*album_, album);
  if (album == missing_value) {
    texts.has_album_link = false;
    texts.album_link = {};
    return texts;
  }
  std::string date;
  evaluate(*date_, date);
  std::string album_text = album;
  if (!date.empty()) album_text += " [" + date + "]";
  line.text += ", ";
  append_plain(line, localized_text_get("ui_np_album_prefix"));
  line.text += ' ';
  if (linked) {
    std::string album_artist;
    evaluate(*album_artist_, album_artist);
    library_position position;
    position.set_keys(nav_wide(album_text), nav_split_pieces(nav_wide(album_artist), L", "));
    const nav_location target{nav_kind_library_view, position.to_nav_path()};
    append_linked(line, album_text, target);
    texts.has_album_link = true;
    texts.album_link = target;
  } else {
    append_plain(line, album_text);
  }

  std::string others;
  evaluate(*album_artist_if_different_, others);
  const wide_text_list names = nav_split_pieces(nav_wide(others), L", ");
  const std::string suffix = localized_text_get("ui_np_album_suffix");
  const std::size_t placeholder = suffix.find("{artist}");
  if (!names.empty() && placeholder != std::string::npos) {
    append_plain(line, suffix.substr(0, placeholder));
    append_artists(line, names, linked);
    append_plain(line, suffix.substr(placeholder + 8));
  }
  return texts;
}

void now_playing_lines::refresh() {
  playback_front_impl& front = playback_front_get();
  const now_playing_evaluator evaluate = [&front](const title_script& script, std::string& out) {
    qiv::string_small text;
    const bool playing = front.format_title(nullptr, text, script, nullptr, 3);
    out = text.get_ptr();
    return playing;
  };
  shown_ = compose(evaluate, front.is_playing(), play_start_kind() == nav_kind_library_view);
  set_link_text(title_control_, shown_.title_line.text);
  set_link_text(detail_control_, shown_.detail_line.text);
}

bool now_playing_lines::detail_link(int index, nav_location& out) const {
  if (index < 0 || static_cast<std::size_t>(index) >= shown_.detail_line.links.size()) return false;
  out = shown_.detail_line.links[static_cast<std::size_t>(index)];
  return true;
}

bool now_playing_lines::album_location(nav_location& out) const {
  if (!shown_.has_album_link) return false;
  out = shown_.album_link;
  return true;
}
