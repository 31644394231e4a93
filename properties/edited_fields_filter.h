// What Apply hands to the metadata update: a copy of the dialog's tracks and
// rows taken at that moment, which rewrites a track's fields only when they
// differ from the rows, and never a track whose info the dialog did not have.
#pragma once

#include <cstdint>
#include <vector>

#include "metadata/metadata_io.h"
#include "properties/edited_field.h"

class edited_fields_filter : public info_update_filter {
public:
  // `info_read[i]` says whether track i's info was read when the rows were
  // built: rows hold nothing of a track that was not, and writing them would
  // strip its tags.
  edited_fields_filter(const track_handle_list& tracks, const std::vector<bool>& info_read,
                       const edited_field_list& rows);

  bool update(const track_handle_ptr& handle, const vantrel_io::file_stats& stats, track_info& info) override;

  // The rewrite of one track: false, and the info untouched, when its fields
  // already hold exactly the rows' values for it.
  bool apply(std::uint32_t track, track_info& info) const;
  // The track index of a handle, or -1 when the dialog does not hold it.
  std::int64_t find_track(const track_handle* handle) const;

private:
  track_handle_list tracks_;
  std::vector<bool> info_read_;
  std::vector<edited_field> rows_;
  // Track indices ordered by handle identity, for bisection.
  std::vector<std::uint32_t> by_handle_;
};
