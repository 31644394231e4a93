// The track sources the navigation hands to the playback order: a fixed
// list, one track, a concatenation of sources, and a folder that is listed
// only when playback first reaches it.
#pragma once

#include <cstdint>
#include <string>

#include "library/nav_node.h"

track_source_ptr track_list_source_create(const track_handle_list& handles);
track_source_ptr single_track_source_create(const track_handle_ptr& handle);

// Plays its children one after another, skipping those without items.
class concat_source_builder {
public:
  concat_source_builder();
  void append(const track_source_ptr& child);
  track_source_ptr get() const { return source_; }

private:
  track_source_ptr source_;
};

// Plays the folder's claimed files in code-unit order of their names, then
// each subfolder's tree in listing order. Directory links are passed over and
// the tree is followed at most `folder_source_max_depth` levels down, so a
// link cycle cannot make playback walk forever.
inline constexpr std::uint32_t folder_source_max_depth = 64;
track_source_ptr folder_source_create(const std::wstring& native_path, std::uint32_t depth = 0);

// Whether some input claims the file by its path.
bool is_supported_audio_path(const char* path);
