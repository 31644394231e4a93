// What Apply hands to the metadata update: a copy of the dialog's tracks, of
// its rows as they were loaded and of its rows at that moment. A track's file
// takes only the fields this dialog changed for that track, on top of what the
// file holds when it is written: a change another dialog or another program
// made meanwhile to a field not edited here stays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metadata/metadata_io.h"
#include "properties/edited_field.h"

class edited_fields_filter : public info_update_filter {
public:
  // `info_read[i]` says whether track i's info was read when the rows were
  // built: rows hold nothing of a track that was not, and writing them would
  // strip its tags. `loaded` are the rows as built from the tracks' infos.
  edited_fields_filter(const track_handle_list& tracks, const std::vector<bool>& info_read,
                       const std::vector<edited_field>& loaded, const edited_field_list& rows);

  bool update(const track_handle_ptr& handle, const vantrel_io::file_stats& stats, track_info& info) override;

  // The rewrite of one track: false, and the info untouched, when the info
  // already holds every value the dialog changed for it.
  bool apply(std::uint32_t track, track_info& info) const;
  // The track index of a handle, or -1 when the dialog does not hold it.
  std::int64_t find_track(const track_handle* handle) const;
  // Once the write is over (its completion has come), the values it
  // compared go, before the dialog shows the written tracks: a large
  // selection must not be held twice. Later updates change nothing.
  void release_rows() noexcept;

private:
  // The rows of one field name (ASCII letters folded), as loaded and now.
  struct named_rows {
    std::string name;
    std::vector<std::uint32_t> loaded;
    std::vector<std::uint32_t> now;
  };
  struct field_edit {
    const std::string* name;
    value_list values;
  };
  std::vector<field_edit> edits_of(std::uint32_t track) const;

  track_handle_list tracks_;
  std::vector<bool> info_read_;
  std::vector<edited_field> loaded_;
  std::vector<edited_field> rows_;
  std::vector<named_rows> names_;
  // Track indices ordered by handle identity, for bisection.
  std::vector<std::uint32_t> by_handle_;
};
