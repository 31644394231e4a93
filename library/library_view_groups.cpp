#include "library/library_view_groups.h"

#include <algorithm>
#include <numeric>


namespace {

// A byte's place in the order below: lead bytes F0 to F4 before EE and EF,
// every other byte as it is. A permutation, so texts still order totally.
unsigned utf16_rank(char byte) {
  const unsigned value = static_cast<unsigned char>(byte);
  if (value >= 0xF0 && value <= 0xF4) return value - 2;
  if (value == 0xEE || value == 0xEF) return value + 5;
  return value;
}

// Whether UTF-8 text `a` comes before `b` in the UTF-16 code-unit order the
// wide keys are kept in. That is byte order except between characters from
// U+E000 (lead bytes EE, EF), which UTF-16 puts after those beyond U+FFFF
// (lead bytes F0 to F4, surrogates in UTF-16).
bool before_in_utf16(std::string_view a, std::string_view b) {
  const auto [at_a, at_b] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  if (at_b == b.end()) return false;
  if (at_a == a.end()) return true;
  return utf16_rank(*at_a) < utf16_rank(*at_b);
}

bool is_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::size_t library_view_groups::find(std::wstring_view key) const {
  std::size_t low = 0, high = size();
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (this->key(middle) < key) low = middle + 1;
    else high = middle;
  }
  return low < size() && this->key(low) == key ? low : npos;
}

std::vector<std::uint32_t> library_view_groups::natural_order() const {
  std::vector<const wchar_t*> texts(size());
  for (std::size_t group = 0; group < texts.size(); ++group) texts[group] = key(group).data();
  return nav_natural_order_of(texts);
}

void library_view_groups::append_key(std::wstring_view key) {
  key_text_.append(key);
  end_key();
}

void library_view_groups::end_key() {
  key_ends_.push_back(static_cast<std::uint32_t>(key_text_.size()));
  key_text_.push_back(L'\0');
}

void library_view_groups::clear() {
  key_text_.clear();
  key_ends_.clear();
  starts_.clear();
  tracks_.clear();
}

std::uint32_t library_view_grouper::add_key(std::string_view text) {
  key_spans_.emplace_back(static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(text.size()));
  text_.append(text);
  return static_cast<std::uint32_t>(key_spans_.size() - 1);
}

void library_view_grouper::finish(track_handle_list&& tracks, library_view_groups& out) {
  out.clear();
  const auto text_of = [&](std::uint32_t key) {
    return std::string_view(text_).substr(key_spans_[key].first, key_spans_[key].second);
  };
  // Most texts part within their first bytes, so those, ranked into two
  // numbers, settle most comparisons without reaching into the texts (song
  // titles often share their first eight).
  struct sort_item {
    std::uint64_t head[2];
    std::uint32_t key;
  };
  std::vector<sort_item> items(key_spans_.size());
  for (std::uint32_t key = 0; key < items.size(); ++key) {
    const std::string_view text = text_of(key);
    sort_item& item = items[key];
    for (std::size_t half = 0; half < 2; ++half) {
      std::uint64_t head = 0;
      for (std::size_t i = half * 8; i < half * 8 + 8; ++i) head = head << 8 | (i < text.size() ? utf16_rank(text[i]) : 0);
      item.head[half] = head;
    }
    item.key = key;
  }
  std::sort(items.begin(), items.end(), [&](const sort_item& a, const sort_item& b) {
    if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
    if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
    return before_in_utf16(text_of(a.key), text_of(b.key));
  });
  std::vector<std::uint32_t> by_text(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) by_text[i] = items[i].key;

  // Runs of equal texts make one group each, named by the wide form of the
  // text, made once per group.
  std::vector<std::uint32_t> group_of_key(key_spans_.size());
  out.key_text_.reserve(text_.size() + key_spans_.size());
  for (std::size_t i = 0; i < by_text.size(); ++i) {
    const std::string_view text = text_of(by_text[i]);
    if (i == 0 || text != text_of(by_text[i - 1])) {
      // Plain ASCII widens unit by unit, without a string of its own (an
      // append of a range of another character type makes one).
      if (is_ascii(text)) {
        const std::size_t at = out.key_text_.size();
        out.key_text_.resize(at + text.size());
        std::copy(text.begin(), text.end(), out.key_text_.begin() + static_cast<std::ptrdiff_t>(at));
      } else {
        out.key_text_.append(nav_wide(text));
      }
      out.end_key();
    }
    group_of_key[by_text[i]] = static_cast<std::uint32_t>(out.size() - 1);
  }
  // Text that is not UTF-8 can widen out of order or to the wide form of
  // another text: the wide forms decide, as they are what the list shows.
  bool in_order = true;
  for (std::size_t group = 1; group < out.size() && in_order; ++group) in_order = out.key(group - 1) < out.key(group);
  if (!in_order) {
    std::vector<std::uint32_t> by_wide(out.size());
    std::iota(by_wide.begin(), by_wide.end(), 0u);
    std::stable_sort(by_wide.begin(), by_wide.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return out.key(a) < out.key(b); });
    std::vector<std::uint32_t> merged(out.size());
    library_view_groups keys;
    for (const std::uint32_t group : by_wide) {
      if (keys.size() == 0 || keys.key(keys.size() - 1) != out.key(group)) keys.append_key(out.key(group));
      merged[group] = static_cast<std::uint32_t>(keys.size() - 1);
    }
    out.key_text_ = std::move(keys.key_text_);
    out.key_ends_ = std::move(keys.key_ends_);
    for (std::uint32_t& group : group_of_key) group = merged[group];
  }

  // The tracks, group after group, each group's in the order filed.
  out.starts_.assign(out.size() + 1, 0);
  for (const auto& [key, track] : filed_) ++out.starts_[group_of_key[key] + 1];
  std::partial_sum(out.starts_.begin(), out.starts_.end(), out.starts_.begin());
  std::vector<std::uint32_t> next(out.starts_.begin(), out.starts_.end() - 1);
  std::vector<std::uint32_t> placed(filed_.size());
  for (const auto& [key, track] : filed_) placed[next[group_of_key[key]]++] = track;
  // A track filed once moves into its group; one filed under several keys is
  // copied into all but its last. Moving spares a count up and down per track.
  std::vector<std::uint32_t> filings_left(tracks.size());
  for (const auto& [key, track] : filed_) ++filings_left[track];
  out.tracks_.reserve(placed.size());
  for (const std::uint32_t track : placed) {
    if (--filings_left[track] == 0) out.tracks_.push_back(std::move(tracks[track]));
    else out.tracks_.push_back(tracks[track]);
  }

  text_.clear();
  key_spans_.clear();
  filed_.clear();
}
