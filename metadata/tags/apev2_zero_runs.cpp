#include "metadata/tags/apev2_zero_runs.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace apev2 {

namespace {

// A search over where each run of zeros ends: the bytes an item's size and
// flags begin with may be zeros too, so up to 8 places behind a run's first
// byte can start the next item; the reading must then still come out at the
// area's end with the count. Every place is tried at most once for each
// number of items left, and the tries are bounded, so that a hostile area
// costs no more than a few passes over it.
class zero_run_reader {
public:
  zero_run_reader(const std::uint8_t* area, std::size_t size, unsigned version)
      : area_(area), size_(size), version_(version) {}

  bool read(std::uint32_t count, item_list& items) {
    // Each step is where a reading stands: the items left and the next of
    // its choices, 0 the item at `pos`, k > 0 the k-th place a run of zeros
    // starting at `pos` may end.
    struct step {
      std::size_t pos;
      std::uint32_t left;
      std::size_t choice;
    };
    std::vector<step> path{{0, count, 0}};
    std::set<std::pair<std::size_t, std::uint32_t>> dead;
    while (!path.empty()) {
      if (++tries_ > max_tries) return false;
      step& at = path.back();
      if (at.left == 0) {
        if (std::all_of(area_ + at.pos, area_ + size_, [](std::uint8_t byte) { return byte == 0; })) break;
        dead.insert({at.pos, at.left});
        path.pop_back();
        continue;
      }
      std::size_t next = 0;
      std::uint32_t left = at.left;
      const std::size_t choice = at.choice++;
      if (choice == 0) {
        next = item_end(at.pos, nullptr);
        --left;
      } else if (area_[at.pos] == 0) {
        const std::size_t run_end = std::size_t(std::find_if(area_ + at.pos, area_ + size_,
                                                             [](std::uint8_t byte) { return byte != 0; }) - area_);
        const std::size_t first = std::max(at.pos + 1, run_end >= 8 ? run_end - 8 : 0);
        if (run_end == size_ || first + choice - 1 > run_end) {
          dead.insert({at.pos, at.left});
          path.pop_back();
          continue;
        }
        next = first + choice - 1;
      } else {
        dead.insert({at.pos, at.left});
        path.pop_back();
        continue;
      }
      if (next != 0 && dead.count({next, left}) == 0) path.push_back({next, left, 0});
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

  // Where the item at `pos` ends when it is whole and its key is one every
  // reader accepts; else 0.
  std::size_t item_end(std::size_t pos, item* out) const {
    item parsed;
    const std::size_t end = parse_item(area_, size_, pos, version_, parsed);
    if (end == 0 || !is_storable_key(parsed.key)) return 0;
    if (out != nullptr) *out = std::move(parsed);
    return end;
  }

  const std::uint8_t* area_;
  std::size_t size_;
  unsigned version_;
  std::size_t tries_ = 0;
};

}  // namespace

bool parse_items_across_zero_runs(const std::uint8_t* area, std::size_t size, unsigned version, std::uint32_t count,
                                  item_list& items) {
  return zero_run_reader(area, size, version).read(count, items);
}

}  // namespace apev2
