// The library's music folders by friendly names; opening one moves the
// navigation to that folder in the file system. One level, nothing to play.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "library/nav_node.h"

// The single key of the view's root path.
inline constexpr const wchar_t* folders_view_root_key = L"{7644CAF4-800E-4771-B16D-D161B8B08887}";

class folders_view_node final : public nav_node {
public:
  // `folders` gives the library's folder list (native UTF-8 paths, "." for
  // the program's folder) each time the root is built.
  explicit folders_view_node(const nav_path& path);
  folders_view_node(const nav_path& path, std::function<std::vector<std::string>()> folders);

  std::uint32_t kind() const override { return nav_kind_music_folders; }
  wide_text_list current_key() const override;
  void set_path(const nav_path& path) override;
  nav_path get_path() const override { return path_; }
  bool can_open(const wide_text_list& selection) const override { return selection.size() == 1; }
  bool can_go_up() const override { return false; }
  bool lists_tracks() const override { return false; }
  bool entry_is_track(const std::wstring&, const track_handle*) override { return false; }
  bool is_container(const std::wstring&) const override { return false; }
  void get_tracks(const wide_text_list&, track_handle_list& out) override { out.clear(); }
  bool is_track(const std::wstring&) override { return false; }
  void go_up() override;
  void open(const wide_text_list&) override {}
  const wide_text_list& entries() const override { return entries_; }
  void get_all_tracks(track_handle_list& out) override { out.clear(); }
  void describe(nav_caption& caption) override;
  bool has_tracks() const override { return false; }
  bool link_target(nav_location& out, const std::wstring& name) const override;
  bool can_play() const override { return false; }
  track_source_ptr source_for(const wide_text_list& names) override;

private:
  void build_root();

  std::function<std::vector<std::string>()> folders_;
  wide_text_list entries_;
  std::map<std::wstring, std::wstring> folder_of_caption_;
  std::wstring title_;
  nav_path path_;
};

// The caption of a music folder: the localised name of the user's or the
// shared Music folder, else its last path component.
std::wstring folder_caption(const std::wstring& folder);
