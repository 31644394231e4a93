#include "metadata/track_display_info.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "foundation/ascii_digit.h"
#include "io/io_exceptions.h"

namespace {

std::size_t bounded_length(const char* text, std::size_t length) {
  if (text == nullptr) return 0;
  const void* nul = std::memchr(text, 0, length == static_cast<std::size_t>(-1) ? std::strlen(text) + 1 : length);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : length;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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
      while (start > 0 && qiv::is_ascii_digit(text[start - 1])) --start;
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
std::unique_ptr<char[]> read_block(vantrel_io::reader& source, std::uint32_t length, const abort_signal& abort) {
  constexpr std::uint32_t first_step = 65536;
  if (length <= first_step) {
    // The usual record: one allocation, the one the record keeps.
    auto block = std::make_unique_for_overwrite<char[]>(length);
    source.read_exact(block.get(), length, abort);
    return block;
  }
  std::vector<char> grown;
  std::uint32_t done = 0;
  std::uint32_t step = first_step;
  while (done < length) {
    const std::uint32_t now = std::min(step, length - done);
    grown.resize(done + now);
    source.read_exact(grown.data() + done, now, abort);
    done += now;
    if (step < 0x40000000u) step *= 2;
  }
  auto block = std::make_unique_for_overwrite<char[]>(length);
  std::memcpy(block.get(), grown.data(), length);
  return block;
}

} // namespace

track_display_info::track_display_info(const track_display_info& other) : length_(other.length_) {
  if (other.block_) assign_texts(other.texts(), other.texts_size());
}

track_display_info& track_display_info::operator=(const track_display_info& other) {
  if (this == &other) return *this;
  if (other.block_)
    assign_texts(other.texts(), other.texts_size());
  else
    block_.reset();
  length_ = other.length_;
  return *this;
}

bool operator==(const track_display_info& a, const track_display_info& b) noexcept {
  return a.length_ == b.length_ && a.texts_size() == b.texts_size() &&
         std::memcmp(a.texts(), b.texts(), a.texts_size()) == 0;
}

const char* track_display_info::texts() const noexcept {
  static constexpr char all_empty[field_name_set::field_count] = {};
  return block_ ? block_.get() : all_empty;
}

// The texts are short: a loop of our own beats a library call per text.
static const char* past_nul(const char* at) noexcept {
  while (*at != '\0') ++at;
  return at + 1;
}

std::uint32_t track_display_info::end_of(std::uint32_t index) const noexcept {
  if (!block_) return index + 1;  // within the eight NULs
  const char* at = block_.get();
  for (std::uint32_t i = 0; i <= index; ++i) at = past_nul(at);
  return static_cast<std::uint32_t>(at - block_.get());
}

void track_display_info::get_all(std::string_view (&out)[field_name_set::field_count]) const noexcept {
  if (!block_) {
    for (std::string_view& text : out) text = {};
    return;
  }
  const char* at = block_.get();
  for (std::string_view& text : out) {
    const char* const end = past_nul(at);
    text = std::string_view(at, static_cast<std::size_t>(end - at - 1));
    at = end;
  }
}

std::uint32_t track_display_info::texts_size() const noexcept { return end_of(field_name_set::field_count - 1); }

void track_display_info::assign_texts(const char* data, std::size_t size) {
  if (size == field_name_set::field_count) {  // eight empty texts
    block_.reset();
    return;
  }
  auto block = std::make_unique_for_overwrite<char[]>(size);
  std::memcpy(block.get(), data, size);
  block_ = std::move(block);
}

const char* track_display_info::get(std::uint32_t index) const noexcept {
  if (index >= field_name_set::field_count) return "";
  return texts() + (index == 0 ? 0 : end_of(index - 1));
}

void track_display_info::set(std::uint32_t index, const char* text, std::size_t length) {
  if (index >= field_name_set::field_count) return;
  const std::size_t kept = bounded_length(text, length);
  const char* old = texts();
  const std::size_t start = index == 0 ? 0 : end_of(index - 1);
  const std::size_t end = end_of(index);
  std::string joined;
  joined.reserve(texts_size() - (end - start) + kept + 1);
  joined.append(old, start);
  joined.append(text ? text : "", kept);
  joined += '\0';
  joined.append(old + end, texts_size() - end);
  assign_texts(joined.data(), joined.size());
}

void track_display_info::append(std::uint32_t index, const char* text, std::size_t length) {
  if (index >= field_name_set::field_count) return;
  std::string field = get(index);
  if (!field.empty()) field += value_separator;
  field.append(text ? text : "", bounded_length(text, length));
  set(index, field.data(), field.size());
}

void track_display_info::clear() { block_.reset(); }

void track_display_info::fill_from(const display_field_source& source) {
  using namespace field_name_set;
  std::string fields[field_count];
  bool filled[field_count] = {};
  length_ = static_cast<float>(source.get_length());

  if (source.value_count("album") > 0) {
    const std::string album = source.value("album", 0);
    for (const char* pattern : disc_suffixes) {
      std::size_t prefix_length = 0;
      std::uint32_t disc = 0;
      if (!match_disc_suffix(album, pattern, prefix_length, disc)) continue;
      while (prefix_length > 0 && album[prefix_length - 1] == ' ') --prefix_length;
      fields[field_name_set::album].assign(album, 0, prefix_length);
      fields[disc_number] = std::to_string(disc);
      filled[field_name_set::album] = filled[disc_number] = true;
      break;
    }
  }

  if (source.value_count("tracknumber") > 0) {
    const char* number = source.value("tracknumber", 0);
    std::size_t digits = 0;
    while (qiv::is_ascii_digit(number[digits])) ++digits;
    // "3/12" shows as "3"; a plain "7" is taken as written below.
    if (digits > 0 && number[digits] != '\0') {
      fields[track_number].assign(number, digits);
      filled[track_number] = true;
    }
  }

  std::string joined;
  for (std::uint32_t i = 0; i < field_count; ++i) {
    if (!filled[i]) {
      const char* name = name_of(i);
      const std::uint32_t count = source.value_count(name);
      for (std::uint32_t v = 0; v < count; ++v) {
        const char* value = source.value(name, v);
        if (!fields[i].empty()) fields[i] += value_separator;
        fields[i].append(value, bounded_length(value, static_cast<std::size_t>(-1)));
      }
    }
    joined += fields[i];
    joined += '\0';
  }
  assign_texts(joined.data(), joined.size());
}

void track_display_info::write(vantrel_io::writer& target, const abort_signal& abort) const {
  std::uint32_t head[2];
  std::memcpy(&head[0], &length_, sizeof(float));
  head[1] = texts_size();
  // x86 is little-endian, the stream form's order.
  target.write(head, sizeof(head), abort);
  target.write(texts(), head[1], abort);
}

void track_display_info::read(vantrel_io::reader& source, const abort_signal& abort) {
  std::uint32_t head[2];
  source.read_exact(head, sizeof(head), abort);
  // Eight NULs at the least; anything shorter cannot be a record.
  if (head[1] < field_name_set::field_count) throw vantrel_io::exception_io_data();
  std::unique_ptr<char[]> block = read_block(source, head[1], abort);
  const char* data = block.get();
  if (data[head[1] - 1] != '\0') throw vantrel_io::exception_io_data();
  std::uint32_t texts = 0;
  for (const char* at = data; at < data + head[1]; ++at) {
    at = static_cast<const char*>(std::memchr(at, 0, static_cast<std::size_t>(data + head[1] - at)));
    ++texts;
  }
  if (texts != field_name_set::field_count) throw vantrel_io::exception_io_data();
  std::memcpy(&length_, &head[0], sizeof(float));
  if (head[1] == field_name_set::field_count)
    block_.reset();
  else
    block_ = std::move(block);
}
