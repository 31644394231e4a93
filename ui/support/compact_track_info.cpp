#include "ui/support/compact_track_info.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "foundation/byte_compare.h"
#include "foundation/crash.h"

namespace {

// Both tables in byte order, for bisection; the spellings inputs write most.
const char* const shared_field_names[] = {
    "ALBUM", "ALBUM ARTIST", "ARTIST", "Album", "Album Artist", "Artist", "COMMENT", "Comment",
    "DATE", "DISCNUMBER", "Date", "Discnumber", "GENRE", "Genre", "TITLE", "TOTALTRACKS",
    "TRACKNUMBER", "Title", "TotalTracks", "Totaltracks", "TrackNumber", "Tracknumber", "album", "album artist",
    "artist", "comment", "date", "discnumber", "genre", "title", "totaltracks", "tracknumber"};
const char* const shared_tech_names[] = {"bitrate", "bitspersample", "channels", "codec", "codec_profile",
                                         "encoding", "samplerate", "tagtype", "tool"};

template <std::size_t n>
const char* find_shared(const char* const (&table)[n], const char* name) noexcept {
  const auto found = std::lower_bound(std::begin(table), std::end(table), name, [](const char* a, const char* b) {
    return std::strcmp(a, b) < 0;
  });
  return found != std::end(table) && std::strcmp(*found, name) == 0 ? *found : nullptr;
}

bool names_equal(const char* stored, const char* name, std::size_t length) noexcept {
  const std::size_t n = strnlen(name, length);
  return qiv::stricmp_ascii_n(stored, std::strlen(stored), name, n) == 0 && std::strlen(stored) == n;
}

// The two passes of a copy: the first only counts bytes, the second writes.
class block_layout {
public:
  explicit block_layout(char* block) noexcept : block_(block) {}
  std::size_t used() const noexcept { return used_; }

  template <class T>
  T* take_array(std::size_t count) noexcept {
    T* at = block_ ? reinterpret_cast<T*>(block_ + used_) : nullptr;
    used_ += count * sizeof(T);
    return at;
  }
  const char* take_text(const char* text) noexcept {
    const std::size_t size = std::strlen(text) + 1;
    char* at = block_ ? block_ + used_ : nullptr;
    if (at) std::memcpy(at, text, size);
    used_ += size;
    return at;
  }

private:
  char* block_;
  std::size_t used_ = 0;
};

}  // namespace

bool compact_track_info::is_shared_name(const char* name) noexcept {
  return name != nullptr &&
         (name == find_shared(shared_field_names, name) || name == find_shared(shared_tech_names, name));
}

void compact_track_info::copy_from(const track_info& source) {
  const std::uint32_t fields = source.field_count();
  const std::uint32_t techs = source.tech_count();
  const bool indexed = fields >= index_threshold;

  // Tables first (pointer-aligned), texts after them.
  auto lay_out = [&](block_layout& layout, field_entry*& field_table, tech_entry*& tech_table,
                     std::uint32_t*& index) {
    field_table = layout.take_array<field_entry>(fields);
    tech_table = layout.take_array<tech_entry>(techs);
    index = indexed ? layout.take_array<std::uint32_t>(fields) : nullptr;
    for (std::uint32_t i = 0; i < fields; ++i) {
      const std::uint32_t count = source.field_value_count(i);
      const char** values = count > 1 ? layout.take_array<const char*>(count) : nullptr;
      if (field_table) {
        field_table[i].value_count = count;
        if (count > 1) field_table[i].values = values;
        else field_table[i].single = "";
      }
    }
    for (std::uint32_t i = 0; i < fields; ++i) {
      const char* name = source.field_name(i);
      const char* shared = find_shared(shared_field_names, name);
      const char* stored = shared ? shared : layout.take_text(name);
      const std::uint32_t count = source.field_value_count(i);
      if (field_table) field_table[i].name = stored;
      for (std::uint32_t v = 0; v < count; ++v) {
        const char* value = layout.take_text(source.field_value(i, v));
        if (!field_table) continue;
        if (count == 1) field_table[i].single = value;
        else const_cast<const char**>(field_table[i].values)[v] = value;
      }
    }
    for (std::uint32_t i = 0; i < techs; ++i) {
      const char* name = source.tech_name(i);
      const char* shared = find_shared(shared_tech_names, name);
      const char* stored = shared ? shared : layout.take_text(name);
      const char* value = layout.take_text(source.tech_value(i));
      if (tech_table) tech_table[i] = {stored, value};
    }
  };

  field_entry* field_table = nullptr;
  tech_entry* tech_table = nullptr;
  std::uint32_t* index = nullptr;
  block_layout measure(nullptr);
  lay_out(measure, field_table, tech_table, index);

  std::unique_ptr<char[]> block(new char[std::max<std::size_t>(measure.used(), 1)]);
  block_layout write(block.get());
  lay_out(write, field_table, tech_table, index);
  if (index) {
    for (std::uint32_t i = 0; i < fields; ++i) index[i] = i;
    // Stable, so among equal names the first position comes first and the
    // bisection answers what the linear search would.
    std::stable_sort(index, index + fields, [field_table](std::uint32_t a, std::uint32_t b) {
      const char* x = field_table[a].name;
      const char* y = field_table[b].name;
      return qiv::stricmp_ascii_n(x, std::strlen(x), y, std::strlen(y)) < 0;
    });
  }

  const double length = source.get_length();
  const replaygain_info replaygain = source.get_replaygain();
  block_ = std::move(block);
  field_count_ = fields;
  tech_count_ = techs;
  fields_ = field_table;
  techs_ = tech_table;
  index_ = index;
  length_ = length;
  replaygain_ = replaygain;
}

const char* compact_track_info::field_name(std::uint32_t field) const { return fields_[field].name; }

std::uint32_t compact_track_info::field_value_count(std::uint32_t field) const { return fields_[field].value_count; }

const char* compact_track_info::field_value(std::uint32_t field, std::uint32_t value) const {
  const field_entry& entry = fields_[field];
  return entry.value_count == 1 ? entry.single : entry.values[value];
}

std::uint32_t compact_track_info::find_field(const char* name, std::size_t length) const {
  if (index_ == nullptr) {
    for (std::uint32_t i = 0; i < field_count_; ++i) {
      if (names_equal(fields_[i].name, name, length)) return i;
    }
    return not_found;
  }
  const std::size_t n = strnlen(name, length);
  const std::uint32_t* first = index_;
  std::uint32_t count = field_count_;
  while (count > 0) {
    const std::uint32_t half = count / 2;
    const char* probe = fields_[first[half]].name;
    if (qiv::stricmp_ascii_n(probe, std::strlen(probe), name, n) < 0) {
      first += half + 1;
      count -= half + 1;
    } else {
      count = half;
    }
  }
  if (first != index_ + field_count_ && names_equal(fields_[*first].name, name, n)) return *first;
  return not_found;
}

const char* compact_track_info::tech_name(std::uint32_t index) const { return techs_[index].name; }

const char* compact_track_info::tech_value(std::uint32_t index) const { return techs_[index].value; }

std::uint32_t compact_track_info::find_tech(const char* name, std::size_t length) const {
  for (std::uint32_t i = 0; i < tech_count_; ++i) {
    if (names_equal(techs_[i].name, name, length)) return i;
  }
  return not_found;
}

// The copy is read-only by design: a write reaching it is a program fault.
void compact_track_info::set_length(double) { qiv::crash(); }
void compact_track_info::set_replaygain(const replaygain_info&) { qiv::crash(); }
std::uint32_t compact_track_info::set_field(const char*, std::size_t, const char*, std::size_t) { qiv::crash(); }
std::uint32_t compact_track_info::insert_field_value(std::uint32_t, std::uint32_t, const char*, std::size_t) {
  qiv::crash();
}
void compact_track_info::remove_fields(const qiv::bit_array&) { qiv::crash(); }
void compact_track_info::reorder_fields(const std::uint32_t*) { qiv::crash(); }
void compact_track_info::remove_field_value(std::uint32_t, std::uint32_t) { qiv::crash(); }
void compact_track_info::replace_field_value(std::uint32_t, std::uint32_t, const char*, std::size_t) {
  qiv::crash();
}
std::uint32_t compact_track_info::set_tech(const char*, std::size_t, const char*, std::size_t) { qiv::crash(); }
void compact_track_info::remove_techs(const qiv::bit_array&) { qiv::crash(); }
void compact_track_info::copy_all_from(const track_info&) { qiv::crash(); }
void compact_track_info::copy_fields_from(const track_info&) { qiv::crash(); }
void compact_track_info::copy_techs_from(const track_info&) { qiv::crash(); }
std::uint32_t compact_track_info::append_field(const char*, std::size_t, const char*, std::size_t) { qiv::crash(); }
std::uint32_t compact_track_info::append_tech(const char*, std::size_t, const char*, std::size_t) { qiv::crash(); }
