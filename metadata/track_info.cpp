#include "metadata/track_info.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "foundation/exceptions.h"
#include "foundation/work_steps.h"

namespace {

// Stored texts stop at the byte count or the first NUL, whichever is first.
std::string make_text(const char* text, std::size_t length) {
  if (text == nullptr) return std::string();
  return std::string(text, strnlen(text, length));
}

// Value 0 lives in the field entry, the rest in its heap list.
std::string& value_at(track_info_impl::field& f, std::uint32_t index) noexcept {
  return index == 0 ? f.first : f.others[index - 1];
}

} // namespace

std::uint32_t track_info_list_capacity(std::uint32_t current, std::uint32_t need) {
  std::uint32_t capacity = current;
  if (need > capacity) {
    if (capacity == 0) capacity = 1;
    while (capacity < need) {
      if (capacity > std::numeric_limits<std::uint32_t>::max() / 2) qiv::throw_overflow();
      capacity *= 2;
    }
  } else {
    while (capacity / 4 > need) capacity /= 2;
  }
  return capacity;
}

template <class T>
void track_info_impl::list<T>::resize(std::uint32_t count) {
  const std::uint32_t capacity = track_info_list_capacity(capacity_, count);
  if (capacity != capacity_) {
    std::unique_ptr<T[]> block;
    try {
      block.reset(new T[capacity]);
    } catch (const std::bad_alloc&) {
      // Growing needs the new block; shrinking can keep the larger one, so
      // a removal never fails half way with moved-from entries in the list.
      if (count > capacity_) throw;
      block = nullptr;
    }
    if (block) {
      const std::uint32_t kept = count < size_ ? count : size_;
      for (std::uint32_t i = 0; i < kept; ++i) block[i] = std::move(items_[i]);
      items_ = std::move(block);
      capacity_ = capacity;
      size_ = count;
      return;
    }
  }
  // Entries past the new end are released now, not when they are reused.
  for (std::uint32_t i = count; i < size_; ++i) items_[i] = T();
  size_ = count;
}

template class track_info_impl::list<std::string>;
template class track_info_impl::list<track_info_impl::field>;
template class track_info_impl::list<track_info_impl::tech_entry>;

track_info_impl::track_info_impl() = default;

track_info_impl::track_info_impl(const track_info_impl& other) : track_info() { copy_all_from(other); }

track_info_impl::track_info_impl(const track_info& other) { copy_all_from(other); }

track_info_impl& track_info_impl::operator=(const track_info_impl& other) {
  copy_all_from(other);
  return *this;
}

track_info_impl::~track_info_impl() = default;

track_info_impl::field& track_info_impl::field_at(std::uint32_t index) noexcept {
  return index < inline_fields ? inline_[index] : heap_fields_[index - inline_fields];
}

const track_info_impl::field& track_info_impl::field_at(std::uint32_t index) const noexcept {
  return index < inline_fields ? inline_[index] : heap_fields_[index - inline_fields];
}

void track_info_impl::resize_fields(std::uint32_t count) {
  heap_fields_.resize(count > inline_fields ? count - inline_fields : 0);
  const std::uint32_t inline_count = count < inline_fields ? count : inline_fields;
  for (std::uint32_t i = inline_count; i < inline_count_; ++i) inline_[i] = field();
  inline_count_ = inline_count;
}

void track_info_impl::reindex_fields() noexcept {
  const std::uint32_t count = field_count();
  if (count > unindexed_fields) name_index_.rebuild(field_names(*this), count);
  else name_index_.clear();
}

void track_info_impl::reindex_techs() noexcept {
  const std::uint32_t count = techs_.size();
  if (count > unindexed_fields) tech_index_.rebuild(tech_names(*this), count);
  else tech_index_.clear();
}

std::uint32_t track_info_impl::field_count() const { return inline_count_ + heap_fields_.size(); }

const char* track_info_impl::field_name(std::uint32_t index) const { return field_at(index).name.c_str(); }

std::uint32_t track_info_impl::field_value_count(std::uint32_t index) const {
  return field_at(index).others.size() + 1;
}

const char* track_info_impl::field_value(std::uint32_t index, std::uint32_t value) const {
  const field& f = field_at(index);
  return (value == 0 ? f.first : f.others[value - 1]).c_str();
}

std::uint32_t track_info_impl::find_field(const char* name, std::size_t length) const {
  if (!name_index_.empty()) return name_index_.find(field_names(*this), name, length);
  const std::uint32_t count = field_count();
  // A long record scans only when its index could not be had; a short
  // one's few comparisons go uncounted, off the hot path of every lookup.
  if (count > unindexed_fields) qiv::count_work_steps(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (field_names_match(field_at(i).name, name, length)) return i;
  }
  return not_found;
}

std::uint32_t track_info_impl::append_field(const char* name, std::size_t name_length, const char* value,
                                            std::size_t value_length) {
  field entry;
  entry.name = make_text(name, name_length);
  entry.first = make_text(value, value_length);
  const std::uint32_t index = field_count();
  resize_fields(index + 1);
  field_at(index) = std::move(entry);
  if (index + 1 > unindexed_fields) name_index_.add(field_names(*this), index);
  return index;
}

std::uint32_t track_info_impl::set_field(const char* name, std::size_t name_length, const char* value,
                                         std::size_t value_length) {
  const std::uint32_t found = find_field(name, name_length);
  if (found == not_found) return append_field(name, name_length, value, value_length);
  // The new field is built before the old one goes, and the list keeps its
  // size, so a failed copy leaves the record as it was.
  field entry;
  entry.name = make_text(name, name_length);
  entry.first = make_text(value, value_length);
  const std::uint32_t last = field_count() - 1;
  for (std::uint32_t i = found; i < last; ++i) field_at(i) = std::move(field_at(i + 1));
  field_at(last) = std::move(entry);
  reindex_fields();
  return last;
}

std::uint32_t track_info_impl::insert_field_value(std::uint32_t index, std::uint32_t position, const char* value,
                                                  std::size_t length) {
  field& f = field_at(index);
  const std::uint32_t count = f.others.size() + 1;
  if (position > count) position = count;
  std::string text = make_text(value, length);
  f.others.resize(count);  // room for one more value
  for (std::uint32_t i = count; i > position; --i) value_at(f, i) = std::move(value_at(f, i - 1));
  value_at(f, position) = std::move(text);
  return position;
}

void track_info_impl::remove_fields(const qiv::bit_array& selection) {
  const std::uint32_t count = field_count();
  const std::uint32_t first = selection.find(true, 0, std::int32_t(count));
  if (first >= count) return;
  std::uint32_t kept = first;
  for (std::uint32_t i = first + 1; i < count; ++i) {
    if (!selection.get(i)) field_at(kept++) = std::move(field_at(i));
  }
  resize_fields(kept);
  reindex_fields();
}

void track_info_impl::reorder_fields(const std::uint32_t* permutation) {
  const std::uint32_t count = field_count();
  // Most records have a few dozen fields at most: keep the visited bits on
  // the stack unless the list is huge.
  constexpr std::uint32_t local_bits = 8192;
  std::uint8_t local[local_bits / 8] = {};
  std::unique_ptr<std::uint8_t[]> heap;
  std::uint8_t* visited = local;
  if (count > local_bits) {
    heap.reset(new std::uint8_t[(count + 7) / 8]());
    visited = heap.get();
  }
  auto mark = [&](std::uint32_t i) { visited[i / 8] |= std::uint8_t(1u << (i % 8)); };
  auto seen = [&](std::uint32_t i) { return (visited[i / 8] >> (i % 8)) & 1u; };

  for (std::uint32_t start = 0; start < count; ++start) {
    if (seen(start)) continue;
    mark(start);
    // Walk the cycle through `start`, pulling each former field into place.
    std::uint32_t at = start;
    for (std::uint32_t next = permutation[at]; next != start; next = permutation[at]) {
      std::swap(field_at(at), field_at(next));
      mark(next);
      at = next;
    }
  }
  reindex_fields();
}

void track_info_impl::remove_field_value(std::uint32_t index, std::uint32_t value) {
  field& f = field_at(index);
  const std::uint32_t count = f.others.size() + 1;
  if (count == 1) {
    // A field always has a value; without one it goes.
    const std::uint32_t fields = field_count();
    for (std::uint32_t i = index + 1; i < fields; ++i) field_at(i - 1) = std::move(field_at(i));
    resize_fields(fields - 1);
    reindex_fields();
    return;
  }
  for (std::uint32_t i = value + 1; i < count; ++i) value_at(f, i - 1) = std::move(value_at(f, i));
  f.others.resize(count - 2);
}

void track_info_impl::replace_field_value(std::uint32_t index, std::uint32_t value, const char* text,
                                          std::size_t length) {
  value_at(field_at(index), value) = make_text(text, length);
}

std::uint32_t track_info_impl::tech_count() const { return techs_.size(); }

const char* track_info_impl::tech_name(std::uint32_t index) const { return techs_[index].name.c_str(); }

const char* track_info_impl::tech_value(std::uint32_t index) const { return techs_[index].value.c_str(); }

std::uint32_t track_info_impl::find_tech(const char* name, std::size_t length) const {
  if (!tech_index_.empty()) return tech_index_.find(tech_names(*this), name, length);
  if (techs_.size() > unindexed_fields) qiv::count_work_steps(techs_.size());
  for (std::uint32_t i = 0; i < techs_.size(); ++i) {
    if (field_names_match(techs_[i].name, name, length)) return i;
  }
  return not_found;
}

std::uint32_t track_info_impl::append_tech(const char* name, std::size_t name_length, const char* value,
                                           std::size_t value_length) {
  tech_entry entry{make_text(name, name_length), make_text(value, value_length)};
  const std::uint32_t index = techs_.size();
  techs_.resize(index + 1);
  techs_[index] = std::move(entry);
  if (index + 1 > unindexed_fields) tech_index_.add(tech_names(*this), index);
  return index;
}

std::uint32_t track_info_impl::set_tech(const char* name, std::size_t name_length, const char* value,
                                        std::size_t value_length) {
  const std::uint32_t found = find_tech(name, name_length);
  if (found == not_found) return append_tech(name, name_length, value, value_length);
  // As set_field: nothing is moved until the new entry exists.
  tech_entry entry{make_text(name, name_length), make_text(value, value_length)};
  const std::uint32_t last = techs_.size() - 1;
  for (std::uint32_t i = found; i < last; ++i) techs_[i] = std::move(techs_[i + 1]);
  techs_[last] = std::move(entry);
  reindex_techs();
  return last;
}

void track_info_impl::remove_techs(const qiv::bit_array& selection) {
  const std::uint32_t count = techs_.size();
  const std::uint32_t first = selection.find(true, 0, std::int32_t(count));
  if (first >= count) return;
  std::uint32_t kept = first;
  for (std::uint32_t i = first + 1; i < count; ++i) {
    if (!selection.get(i)) techs_[kept++] = std::move(techs_[i]);
  }
  techs_.resize(kept);
  reindex_techs();
}

void track_info_impl::copy_all_from(const track_info& other) {
  if (&other == this) return;
  copy_fields_from(other);
  copy_techs_from(other);
  set_length(other.get_length());
  set_replaygain(other.get_replaygain());
}

void track_info_impl::copy_fields_from(const track_info& other) {
  if (&other == this) return;
  // Built aside first, so a failure part way leaves this record whole.
  track_info_impl copy;
  const std::uint32_t count = other.field_count();
  for (std::uint32_t i = 0; i < count; ++i) copy_field_values_from(copy, other, i);
  for (std::uint32_t i = 0; i < inline_fields; ++i) std::swap(inline_[i], copy.inline_[i]);
  std::swap(inline_count_, copy.inline_count_);
  std::swap(heap_fields_, copy.heap_fields_);
  name_index_.swap(copy.name_index_);
}

void track_info_impl::copy_techs_from(const track_info& other) {
  if (&other == this) return;
  track_info_impl copy;
  const std::uint32_t count = other.tech_count();
  for (std::uint32_t i = 0; i < count; ++i) copy.append_tech(other.tech_name(i), until_nul, other.tech_value(i), until_nul);
  std::swap(techs_, copy.techs_);
  tech_index_.swap(copy.tech_index_);
}

// Routines over the interface.

void track_info::remove_all_fields() {
  qiv::bit_array all(field_count());
  for (std::uint32_t i = 0; i < all.bit_count(); ++i) all.set(i, true);
  remove_fields(all);
}

void track_info::remove_all_techs() {
  qiv::bit_array all(tech_count());
  for (std::uint32_t i = 0; i < all.bit_count(); ++i) all.set(i, true);
  remove_techs(all);
}

void track_info::reset() {
  remove_all_techs();
  remove_all_fields();
  set_length(0.0);
  clear_replaygain();
}

std::uint32_t track_info::total_value_count() const {
  std::uint32_t total = 0;
  const std::uint32_t count = field_count();
  for (std::uint32_t i = 0; i < count; ++i) total += field_value_count(i);
  return total;
}

void track_info::add_field_value(std::uint32_t field, const char* value, std::size_t length) {
  insert_field_value(field, field_value_count(field), value, length);
}

std::uint32_t track_info::add_value(const char* name, std::size_t name_length, const char* value,
                                    std::size_t value_length) {
  const std::uint32_t field = find_field(name, name_length);
  if (field == not_found) return append_field(name, name_length, value, value_length);
  add_field_value(field, value, value_length);
  return field;
}

void track_info::copy_field_values_from(track_info& destination, const track_info& source, std::uint32_t field) {
  const std::uint32_t values = source.field_value_count(field);
  const std::uint32_t index =
      destination.append_field(source.field_name(field), until_nul, source.field_value(field, 0), until_nul);
  for (std::uint32_t v = 1; v < values; ++v) destination.add_field_value(index, source.field_value(field, v));
}

void track_info::add_fields_not_held(const track_info& source) {
  for (std::uint32_t field = 0; field < source.field_count(); ++field)
    if (find_field(source.field_name(field)) == not_found) copy_field_values_from(*this, source, field);
}

void track_info::get_field_joined(std::uint32_t field, const char* separator, qiv::string_object& out) const {
  out.set_string("");
  const std::uint32_t values = field_value_count(field);
  for (std::uint32_t v = 0; v < values; ++v) {
    if (v > 0) out.add_string(separator);
    out.add_string(field_value(field, v));
  }
}

bool track_info::get_field_text(const char* name, qiv::string_object& out) const {
  out.set_string("");
  const std::uint32_t index = find_field(name);
  if (index == not_found) return false;
  get_field_joined(index, ", ", out);
  return true;
}

std::optional<const char*> track_info::tech_value_by_name(const char* name) const {
  const std::uint32_t index = find_tech(name);
  if (index == not_found) return std::nullopt;
  return tech_value(index);
}

std::int64_t track_info::get_tech_int(const char* name) const {
  const auto text = tech_value_by_name(name);
  if (!text) return 0;
  const char* p = *text;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Saturates rather than wrapping, so a corrupt huge number never turns into
  // a plausible small or negative one.
  const std::uint64_t limit = negative ? std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1
                                       : std::uint64_t(std::numeric_limits<std::int64_t>::max());
  std::uint64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const unsigned digit = unsigned(*p - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (!negative) return std::int64_t(magnitude);
  return magnitude == limit ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(magnitude);
}

void track_info::set_tech_int(const char* name, std::int64_t value) {
  const std::string text = std::to_string(static_cast<long long>(value));
  set_tech(name, until_nul, text.c_str(), text.size());
}

std::uint32_t track_info::get_decoded_bits_per_sample() const {
  for (const char* name : {"decoded_bitspersample", "bitspersample"}) {
    const std::int64_t bits = get_tech_int(name);
    if (bits >= 1 && bits <= 256) return std::uint32_t(bits);
  }
  return 0;
}

void track_info::set_bitrate(std::int64_t kilobits_per_second) { set_tech_int("bitrate", kilobits_per_second); }

void track_info::set_bitrate_from_size(std::uint64_t bytes, double seconds) {
  if (!(seconds > 0.0)) return;  // no rate without a length (NaN included)
  const double rate = std::floor(double(bytes) * 8.0 / (seconds * 1000.0) + 0.5);
  // A length of a few nanoseconds would give a rate no number holds.
  if (!(rate < 9.2e18)) return;
  set_bitrate(std::int64_t(rate));
}

bool track_info::is_valid_field_name(const char* name) {
  if (name == nullptr || *name == 0) return false;
  for (const char* p = name; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    // These bytes delimit names in the tag text forms and title scripts.
    if (c < 32 || c > 126 || c == '=' || c == '%' || c == '<' || c == '>') return false;
  }
  return true;
}

void track_info::clear_replaygain() { set_replaygain(replaygain_info{}); }

bool track_info::try_set_replaygain(const char* name, const char* value, std::size_t length) {
  replaygain_info record = get_replaygain();
  if (!record.set_from_field(name, value, length)) return false;
  set_replaygain(record);
  return true;
}

void track_info::set_tech_unless_replaygain(const char* name, const char* value, std::size_t length) {
  if (!try_set_replaygain(name, value, length)) set_tech(name, until_nul, value, length);
}

std::uint32_t track_info::value_count(const char* name) const {
  const std::uint32_t index = find_field(name);
  return index == not_found ? 0 : field_value_count(index);
}

const char* track_info::value(const char* name, std::uint32_t index) const {
  return field_value(find_field(name), index);
}
