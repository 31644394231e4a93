#include "metadata/tags/apev2_zero_runs.h"

#include <algorithm>
#include <cstring>
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
// tries are bounded, so that a hostile area costs little.
class zero_run_reader {
public:
  zero_run_reader(const std::uint8_t* area, std::size_t size, unsigned version)
      : area_(area), size_(size), version_(version) {}

  bool read(std::uint32_t count, item_list& items) const {
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

private:
  static constexpr std::size_t max_tries = 1 << 16;

  // Where a reading stands: the items left and the next of its choices, 0
  // the item at `pos`, k > 0 the k-th place a run of zeros at `pos` may end.
  struct step {
    std::size_t pos;
    std::uint32_t left;
    std::size_t choice = 0;
  };

  bool ends_reading(const step& at) const {
    return at.left == 0 && std::all_of(area_ + at.pos, area_ + size_, is_zero);
  }

  // The step the next untried choice at `at` leads to; none when every
  // choice is tried.
  std::optional<step> next_choice(step& at) const {
    if (at.left == 0) return std::nullopt;
    if (at.choice == 0) {
      ++at.choice;
      if (const std::size_t end = item_end(at.pos, nullptr)) return step{end, at.left - 1};
    }
    if (at.pos >= size_ || area_[at.pos] != 0) return std::nullopt;
    const std::size_t run_end = std::size_t(std::find_if_not(area_ + at.pos, area_ + size_, is_zero) - area_);
    if (run_end == size_) return std::nullopt;
    const std::size_t first = std::max(at.pos + 1, run_end >= item_header_size ? run_end - item_header_size : 0);
    const std::size_t pos = first + at.choice++ - 1;
    if (pos > run_end) return std::nullopt;
    return step{pos, at.left};
  }

  // Where the item at `pos` ends when it is whole and its key is one every
  // reader accepts; else 0. The key is looked for among the bytes a key
  // may take, so that no try reads far.
  std::size_t item_end(std::size_t pos, item* out) const {
    if (pos > size_ || size_ - pos < item_header_size) return 0;
    const std::size_t key_room = std::min(size_ - pos - item_header_size, longest_key + 1);
    if (std::memchr(area_ + pos + item_header_size, 0, key_room) == nullptr) return 0;
    const std::size_t end = parse_item(area_, size_, pos, version_, out);
    if (end == 0 || !is_storable_key(reinterpret_cast<const char*>(area_ + pos + item_header_size))) return 0;
    return end;
  }

  const std::uint8_t* area_;
  std::size_t size_;
  unsigned version_;
};

}  // namespace

bool parse_items_across_zero_runs(const std::uint8_t* area, std::size_t size, unsigned version, std::uint32_t count,
                                  item_list& items) {
  return zero_run_reader(area, size, version).read(count, items);
}

}  // namespace apev2
