// The rows of the tag editor's metadata list: one edited field per name, each
// with its values for every track of the dialog, and the edits the list's
// commands make to them. Redrawing and marking the dialog modified are the
// list's; this is the data it shows and what Apply writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/service_object.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "properties/edited_field.h"
#include "properties/edited_fields_filter.h"
#include "properties/field_display_context.h"

// Where the rows take each track's info from (the dialog's info cache).
class track_info_source {
public:
  // Null when the track's info could not be read; the pointer stays valid
  // until the next call.
  virtual const track_info* find_info(std::uint32_t track, const track_handle_ptr& handle) = 0;

protected:
  ~track_info_source() = default;
};

class edited_rows {
public:
  // The standard fields first in their fixed order, present even when no
  // track has them, then every other field by name.
  void build(const field_display_context& context, track_info_source& source, const track_handle_list& tracks);

  const edited_field_list& rows() const noexcept { return rows_; }
  const track_handle_list& tracks() const noexcept { return tracks_; }
  std::uint32_t track_count() const noexcept { return std::uint32_t(tracks_.size()); }
  bool info_read(std::uint32_t track) const { return track < info_read_.size() && info_read_[track]; }

  // Replaces the row of that name (any case) or appends the field; answers
  // its index.
  std::size_t set_row_by_name(edited_field_ptr field);
  void replace_row(std::size_t index, edited_field_ptr field);
  // Every row at once (the copies an automatic fill worked on).
  void replace_all(edited_field_list rows) { rows_ = std::move(rows); }
  // Copies of every row that can be changed without touching these.
  edited_field_list copy_all() const;
  // Standard rows of the mask are emptied, the others removed.
  void remove_rows(const std::vector<bool>& mask);
  // The pasted values under the row's name; one pasted track serves all.
  void paste_into_row(std::size_t index, const edited_field& pasted);
  // Each pasted field into the row of its name, or appended; answers the
  // indices of the appended rows.
  std::vector<std::size_t> paste_fields(const edited_field_list& pasted);
  void set_row_text(std::size_t index, std::string_view text);
  void transform_rows(const std::vector<bool>& selection, const std::function<void(std::string&)>& transform);
  void split_rows(const std::vector<bool>& selection, const std::vector<std::string>& separators);
  // "tracknumber" and "totaltracks" counted within each run of neighbouring
  // tracks from one folder.
  void auto_track_number();

  service_ptr<edited_fields_filter> make_update_filter() const;

private:
  edited_field_ptr fitted_paste(const edited_field& pasted, const std::string& name) const;

  field_display_context context_{"", ""};
  track_handle_list tracks_;
  std::vector<bool> info_read_;
  edited_field_list rows_;
  // The rows as the last build made them: what Apply compares the rows with
  // to know what this dialog changed.
  std::vector<edited_field> loaded_;
};

// The separators of the split command: the lines of the stored text, and a
// line feed as one more when `split_lines_too` is set.
std::vector<std::string> split_separators(std::string_view stored, bool split_lines_too);

// The pieces of one value cut at the separators (compared ignoring case; a
// separator that starts or ends with a letter matches whole words only), each
// trimmed of trailing blanks, empty pieces dropped.
value_list split_value(std::string_view value, const std::vector<std::string>& separators);
