#include "metadata/track_display_info.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "io/io_exceptions.h"

namespace {

std::size_t bounded_length(const char* text, std::size_t length) {
  if (text == nullptr) return 0;
  const void* nul = std::memchr(text, 0, length == static_cast<std::size_t>(-1) ? std::strlen(text) + 1 : length);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : length;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Matches `pattern` against the end of `text`, backwards; "%" takes a run of
// one or more digits. At least one character must stay before the match, so
// an album named only " Disc 2" keeps its name.
bool match_disc_suffix(const std::string& text, const char* pattern, std::size_t& prefix_length, std::uint32_t& number) {
  std::size_t t = text.size();
  std::size_t p = std::strlen(pattern);
  bool have_number = false;
  std::uint32_t value = 0;
  while (p > 0) {
    const char want = pattern[--p];
    if (want == '%') {
      std::size_t start = t;
      while (start > 0 && is_digit(text[start - 1])) --start;
      if (start == t) return false;
      std::uint64_t parsed = 0;
      for (std::size_t i = start; i < t; ++i) {
        parsed = parsed * 10 + static_cast<std::uint64_t>(text[i] - '0');
        // A run too long for a disc number is part of the title, not a disc.
        if (parsed > 0xFFFFFFFFu) return false;
      }
      value = static_cast<std::uint32_t>(parsed);
      have_number = true;
      t = start;
      continue;
    }
    if (t == 0 || ascii_lower(text[t - 1]) != ascii_lower(want)) return false;
    --t;
  }
  if (t == 0 || !have_number) return false;
  prefix_length = t;
  number = value;
  return true;
}

constexpr const char* disc_suffixes[] = {
    " Disc %", " Disc%", " CD %", " CD%", " (Disc %)", " (Disc%)", " (CD %)", " (CD%)",
};

// Reads `length` bytes in steps that grow with what actually arrived, so that
// a corrupt length fails at the end of the data rather than by one huge
// allocation.
std::vector<char> read_block(vantrel_io::reader& source, std::uint32_t length, const abort_signal& abort) {
  constexpr std::uint32_t first_step = 65536;
  std::vector<char> block;
  std::uint32_t done = 0;
  std::uint32_t step = first_step;
  while (done < length) {
    const std::uint32_t now = std::min(step, length - done);
    block.resize(done + now);
    source.read_exact(block.data() + done, now, abort);
    done += now;
    if (step < 0x40000000u) step *= 2;
  }
  return block;
}

} // namespace

const char* track_display_info::get(std::uint32_t index) const noexcept {
  return index < field_name_set::field_count ? fields_[index].c_str() : "";
}

void track_display_info::set(std::uint32_t index, const char* text, std::size_t length) {
  if (index >= field_name_set::field_count) return;
  fields_[index].assign(text ? text : "", bounded_length(text, length));
}

void track_display_info::append(std::uint32_t index, const char* text, std::size_t length) {
  if (index >= field_name_set::field_count) return;
  std::string& field = fields_[index];
  if (!field.empty()) field += value_separator;
  field.append(text ? text : "", bounded_length(text, length));
}

void track_display_info::clear() {
  for (std::string& field : fields_) field.clear();
}

void track_display_info::fill_from(const display_field_source& source) {
  using namespace field_name_set;
  bool filled[field_count] = {};
  length_ = static_cast<float>(source.get_length());

  if (source.value_count("album") > 0) {
    const std::string album = source.value("album", 0);
    for (const char* pattern : disc_suffixes) {
      std::size_t prefix_length = 0;
      std::uint32_t disc = 0;
      if (!match_disc_suffix(album, pattern, prefix_length, disc)) continue;
      while (prefix_length > 0 && album[prefix_length - 1] == ' ') --prefix_length;
      fields_[field_name_set::album].assign(album, 0, prefix_length);
      fields_[disc_number] = std::to_string(disc);
      filled[field_name_set::album] = filled[disc_number] = true;
      break;
    }
  }

  if (source.value_count("tracknumber") > 0) {
    const char* number = source.value("tracknumber", 0);
    std::size_t digits = 0;
    while (is_digit(number[digits])) ++digits;
    // "3/12" shows as "3"; a plain "7" is taken as written below.
    if (digits > 0 && number[digits] != '\0') {
      fields_[track_number].assign(number, digits);
      filled[track_number] = true;
    }
  }

  for (std::uint32_t i = 0; i < field_count; ++i) {
    if (filled[i]) continue;
    fields_[i].clear();
    const char* name = name_of(i);
    const std::uint32_t count = source.value_count(name);
    for (std::uint32_t v = 0; v < count; ++v) append(i, source.value(name, v));
  }
}

void track_display_info::write(vantrel_io::writer& target, const abort_signal& abort) const {
  std::string block;
  for (const std::string& field : fields_) {
    block += field;
    block += '\0';
  }
  if (block.size() > 0xFFFFFFFFu) throw vantrel_io::exception_io_data();
  std::uint32_t head[2];
  std::memcpy(&head[0], &length_, sizeof(float));
  head[1] = static_cast<std::uint32_t>(block.size());
  // x86 is little-endian, the stream form's order.
  target.write(head, sizeof(head), abort);
  target.write(block.data(), static_cast<std::uint32_t>(block.size()), abort);
}

void track_display_info::read(vantrel_io::reader& source, const abort_signal& abort) {
  std::uint32_t head[2];
  source.read_exact(head, sizeof(head), abort);
  // Eight NULs at the least; anything shorter cannot be a record.
  if (head[1] < field_name_set::field_count) throw vantrel_io::exception_io_data();
  const std::vector<char> block = read_block(source, head[1], abort);
  if (block.back() != '\0') throw vantrel_io::exception_io_data();

  track_display_info result;
  std::memcpy(&result.length_, &head[0], sizeof(float));
  std::size_t start = 0;
  std::uint32_t index = 0;
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (block[i] != '\0') continue;
    if (index == field_name_set::field_count) throw vantrel_io::exception_io_data();
    result.fields_[index++].assign(block.data() + start, i - start);
    start = i + 1;
  }
  if (index != field_name_set::field_count) throw vantrel_io::exception_io_data();
  *this = std::move(result);
}
