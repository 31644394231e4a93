// Numbers distinct texts in the order they first come, keeping each text once
// in one buffer: telling texts apart costs a hash lookup and no heap block
// per text, which matters where tens of thousands of them are sorted out on
// a thread while others use the heap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qiv {

class text_numbering {
public:
  // The number of the text (0, 1, 2 ... in order of first coming) and
  // whether it came now for the first time.
  std::pair<std::uint32_t, bool> add(std::string_view text);
  std::string_view text(std::uint32_t number) const {
    const std::uint32_t start = number == 0 ? 0 : ends_[number - 1];
    return std::string_view(buffer_).substr(start, ends_[number] - start);
  }
  std::uint32_t size() const { return static_cast<std::uint32_t>(ends_.size()); }
  void clear();

private:
  void grow();

  std::string buffer_;                // every text, one after another
  std::vector<std::uint32_t> ends_;   // where each text ends in buffer_
  std::vector<std::uint32_t> hashes_;  // of each text
  std::vector<std::uint32_t> slots_;  // open addressing: number + 1, 0 for free
};

}  // namespace qiv
