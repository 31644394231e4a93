// Named, multi-valued text fields as a tag format sees them, before they go
// into a track_info: names match with ASCII letters folded, and an entry
// keeps the letter case under which it was first created. Iteration runs in
// that case-insensitive name order.
#pragma once

#include <map>
#include <string>
#include <vector>

class track_info;

struct field_name_less {
  bool operator()(const std::string& a, const std::string& b) const noexcept;
};

class tag_field_map {
public:
  using values = std::vector<std::string>;
  using entries = std::map<std::string, values, field_name_less>;

  // An empty value adds nothing and creates no entry.
  void add_value(const std::string& name, const std::string& value);
  // Leaves exactly this one value (an empty one too).
  void set_value(const std::string& name, const std::string& value);
  bool has(const std::string& name) const { return entries_.count(name) != 0; }
  values* find(const std::string& name);
  const values* find(const std::string& name) const;
  void remove(const std::string& name) { entries_.erase(name); }
  // "n/m" into the number and the total field, "n" into the number alone;
  // an empty part adds nothing ("/12" gives only the total).
  void add_number_and_total(const std::string& text, const char* number, const char* total);
  // The entry, created empty when absent.
  values& at(const std::string& name) { return entries_[name]; }

  bool empty() const { return entries_.empty(); }
  const entries& all() const { return entries_; }
  entries& all() { return entries_; }

private:
  entries entries_;
};

// One of "replaygain_album_gain", "replaygain_album_peak",
// "replaygain_track_gain", "replaygain_track_peak" in any letter case.
bool is_replaygain_field_name(const char* name);

// The fields of `info`, and its ReplayGain values as those four fields in the
// one text form every writer stores.
void fields_from_info(const track_info& info, tag_field_map& fields);

// Each ReplayGain text of `fields` (as fields_from_info gives it) that
// `stored`, a tag's own reading, holds in another form of the same value
// takes the stored values back: an edit that left the value alone leaves
// its text as every reader saw it.
void keep_stored_replaygain_texts(const tag_field_map& stored, tag_field_map& fields);
