#include "metadata/title/title_text_search.h"

text_occurrences::text_occurrences(const char* text, std::size_t text_length, const char* pattern,
                                   std::size_t pattern_length)
    : text_(text), text_length_(text_length), pattern_(pattern), pattern_length_(pattern_length),
      border_(pattern_length) {
  std::size_t k = 0;
  for (std::size_t i = 1; i < pattern_length; ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = border_[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    border_[i] = k;
  }
  current_ = find_next();
}

std::size_t text_occurrences::first_from(std::size_t from) {
  while (current_ < from) current_ = find_next();
  return current_;
}

std::size_t text_occurrences::find_next() {
  while (scanned_ < text_length_) {
    const char c = text_[scanned_++];
    while (matched_ > 0 && c != pattern_[matched_]) matched_ = border_[matched_ - 1];
    if (c == pattern_[matched_]) ++matched_;
    if (matched_ == pattern_length_) {
      // Go on from the longest border, so overlapping occurrences are found.
      matched_ = border_[matched_ - 1];
      return scanned_ - pattern_length_;
    }
  }
  return text_length_;
}
