// What an edit changes between the info as read from a file's tags and the
// info to be written: each field whose values differ, and each ReplayGain
// value that differs (under its "replaygain_*" field name). A file holding
// several tag kinds has each of its tags updated with these changes alone,
// so that what a tag holds beyond what the reading took from it stays.
#pragma once

#include "metadata/replaygain_info.h"
#include "metadata/tags/tag_field_map.h"

class track_info;

class tag_changes {
public:
  static tag_changes between(const track_info& as_read, const track_info& to_write);

  // Field names match with ASCII letters folded.
  bool touches(const char* field) const { return changed_.has(field); }
  bool empty() const { return changed_.empty(); }
  // The changed fields with their new values (none where the field goes).
  const tag_field_map::entries& all() const { return changed_.all(); }

  // Makes the changes in `tag`, a tag's own fields and ReplayGain values as
  // a reading of that tag alone gives them.
  void apply_to(track_info& tag) const;
  // Makes the changes of the fields and ReplayGain values `names` (each
  // once) in `tag`, as one apply_one_to after another would.
  void apply_to(track_info& tag, const std::vector<std::string>& names) const;
  // Makes the change of the one field or ReplayGain value `name` in `tag`;
  // nothing when the edit did not change it.
  void apply_one_to(track_info& tag, const std::string& name) const;

private:
  tag_field_map changed_;  // the new values; none where the field goes
  replaygain_info gain_;   // the ReplayGain values to be written
};
