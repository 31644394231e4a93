#include "metadata/tags/apev2_zero_runs.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace apev2 {

namespace {

constexpr std::size_t item_header_size = 8;
constexpr std::size_t longest_key = 255;

bool is_zero(std::uint8_t byte) { return byte == 0; }

// A search over where each run of zeros ends: the bytes an item's size and
// flags begin with may be zeros too, so any of the 8 places before the
// run's first nonzero byte, or that byte, can start the next item; the
// reading must then still come out at the area's end with the count.
// Every place is tried at most once for each number of items left, and the
// tries are bounded. No byte of a run is scanned twice, however many tries
// meet the run: a hostile area costs time linear in its size.
class zero_run_reader {
public:
  zero_run_reader(const std::uint8_t* area, std::size_t size, unsigned version)
      : area_(area), size_(size), version_(version), zeros_from_(size) {
    while (zeros_from_ > 0 && area_[zeros_from_ - 1] == 0) --zeros_from_;
    examined_ = size_ - zeros_from_ + 1;
  }

  bool read(std::uint32_t count, item_list& items) {
    std::vector<step> path{{0, count}};
    std::set<std::pair<std::size_t, std::uint32_t>> dead;
    for (std::size_t tries = 0; !path.empty() && !ends_reading(path.back()); ++tries) {
      if (tries == max_tries) return false;
      const std::optional<step> next = next_choice(path.back());
      if (!next) {
        dead.insert({path.back().pos, path.back().left});
        path.pop_back();
      } else if (dead.count({next->pos, next->left}) == 0) {
        path.push_back(*next);
      }
    }
    if (path.empty()) return false;
    item_list read;
    for (std::size_t n = 0; n + 1 < path.size(); ++n)
      if (path[n + 1].left != path[n].left) item_end(path[n].pos, &read.emplace_back());
    items = std::move(read);
    return true;
  }

  std::size_t examined() const { return examined_; }

private:
  static constexpr std::size_t max_tries = 1 << 16;

  // Where a reading stands: the items left and the next of its choices, 0
  // the item at `pos`, k > 0 the k-th place a run of zeros at `pos` may end.
  struct step {
    std::size_t pos;
    std::uint32_t left;
    std::size_t choice = 0;
  };

  bool ends_reading(const step& at) const { return at.left == 0 && at.pos >= zeros_from_; }

  // The step the next untried choice at `at` leads to; none when every
  // choice is tried.
  std::optional<step> next_choice(step& at) {
    if (at.left == 0) return std::nullopt;
    if (at.choice == 0) {
      ++at.choice;
      if (const std::size_t end = item_end(at.pos, nullptr)) return step{end, at.left - 1};
    }
    if (at.pos >= zeros_from_ || area_[at.pos] != 0) return std::nullopt;
    const std::size_t end = run_end(at.pos);
    const std::size_t first = std::max(at.pos + 1, end >= item_header_size ? end - item_header_size : 0);
    const std::size_t pos = first + at.choice++ - 1;
    if (pos > end) return std::nullopt;
    return step{pos, at.left};
  }

  // The first nonzero byte from `pos` (a zero byte before zeros_from_) on.
  // The runs found are kept by where their scans began: a scan stops where
  // a known run begins and takes its end.
  std::size_t run_end(std::size_t pos) {
    auto next = runs_.upper_bound(pos);
    if (next != runs_.begin() && pos < std::prev(next)->second) return std::prev(next)->second;
    const std::size_t limit = next == runs_.end() ? size_ : next->first;
    std::size_t end = std::size_t(std::find_if_not(area_ + pos, area_ + limit, is_zero) - area_);
    examined_ += end - pos + 1;
    if (end == limit && next != runs_.end()) end = next->second;
    runs_.emplace(pos, end);
    return end;
  }

  // Where the item at `pos` ends when it is whole and its key is one every
  // reader accepts; else 0. The key is looked for among the bytes a key
  // may take, so that no try reads far.
  std::size_t item_end(std::size_t pos, item* out) {
    if (pos > size_ || size_ - pos < item_header_size) return 0;
    const std::size_t key_room = std::min(size_ - pos - item_header_size, longest_key + 1);
    examined_ += item_header_size + key_room;
    if (std::memchr(area_ + pos + item_header_size, 0, key_room) == nullptr) return 0;
    const std::size_t end = parse_item(area_, size_, pos, version_, out);
    if (end == 0 || !is_storable_key(reinterpret_cast<const char*>(area_ + pos + item_header_size))) return 0;
    return end;
  }

  const std::uint8_t* area_;
  std::size_t size_;
  unsigned version_;
  // The area holds only zeros from here to its end.
  std::size_t zeros_from_;
  std::map<std::size_t, std::size_t> runs_;
  std::size_t examined_ = 0;
};

}  // namespace

bool parse_items_across_zero_runs(const std::uint8_t* area, std::size_t size, unsigned version, std::uint32_t count,
                                  item_list& items, std::size_t* bytes_examined) {
  zero_run_reader reader(area, size, version);
  const bool read = reader.read(count, items);
  if (bytes_examined != nullptr) *bytes_examined = reader.examined();
  return read;
}

}  // namespace apev2
