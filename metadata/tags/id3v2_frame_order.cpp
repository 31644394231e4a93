#include "metadata/tags/id3v2_frame_order.h"

#include <algorithm>
#include <limits>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "foundation/work_steps.h"
#include "metadata/tags/id3v2_text_encoding.h"

using id3parser::frame;
using id3parser::frame_id;

namespace {

// Frames of these kinds stand several times in one tag, told apart by
// their description.
bool has_description(const frame& f) {
  return f.id == frame_id("COMM") || f.id == frame_id("USLT") || f.id == frame_id("TXXX") ||
         f.id == frame_id("WXXX");
}

// Case folded: the writer spells some user-defined names (ReplayGain's)
// otherwise than other programs.
std::string description_of(const frame& f) {
  if (f.is_raw() || !has_description(f)) return {};
  std::string text;
  try {
    text = id3v2_text_value(f, 0, false);
  } catch (const id3parser::parseError&) {
    return {};
  }
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

// The same payload, stored the same way.
struct payload_equal {
  bool operator()(const frame* a, const frame* b) const {
    return a->id == b->id && a->raw_version == b->raw_version && a->raw_status_flags == b->raw_status_flags &&
           a->raw_format_flags == b->raw_format_flags && a->status_flags == b->status_flags && a->data == b->data;
  }
};

struct payload_hash {
  std::size_t operator()(const frame* f) const {
    const std::string_view bytes(reinterpret_cast<const char*>(f->data.data()), f->data.size());
    return std::hash<std::string_view>()(bytes) ^ f->id;
  }
};

bool is_large(const frame& f) { return f.id == frame_id("APIC") || f.data.size() > id3v2_large_frame_size; }

bool is_chapter(const frame& f) { return f.id == frame_id("CHAP") || f.id == frame_id("CTOC"); }

// Readers number chapters in the order their frames are stored, so chapter
// and table-of-contents frames move together: all of them count as large
// when one of them is (a chapter with its own picture, mostly).
auto large_in(const std::vector<frame>& frames) {
  const bool chapters_large =
      std::any_of(frames.begin(), frames.end(), [](const frame& f) { return is_chapter(f) && is_large(f); });
  return [chapters_large](const frame& f) { return is_chapter(f) ? chapters_large : is_large(f); };
}

}  // namespace

id3v2_frame_places::id3v2_frame_places(const std::vector<frame>& old_frames) {
  places_.reserve(old_frames.size());
  for (const frame& f : old_frames) places_.push_back({f, description_of(f)});
}

void id3v2_frame_places::put_in_place(std::vector<frame>& frames) const {
  constexpr std::size_t unplaced = std::numeric_limits<std::size_t>::max();
  std::size_t steps = 0;
  std::vector<bool> taken(places_.size(), false);
  std::vector<std::size_t> where(frames.size(), unplaced);
  // The old places a frame may claim, in order: those before `next` are all
  // taken, so each claim goes on from where the last one of its kind
  // stopped instead of from the first frame of the tag.
  struct candidates {
    std::vector<std::size_t> places;
    std::size_t next = 0;
  };
  const auto claim = [&](std::size_t i, candidates& c) {
    for (; c.next < c.places.size(); ++c.next) {
      ++steps;
      const std::size_t p = c.places[c.next];
      if (taken[p]) continue;
      taken[p] = true;
      where[i] = p;
      ++c.next;
      return;
    }
  };
  // Frames kept as they were claim their own places before any frame made
  // anew claims the place of one it replaces.
  std::unordered_map<const frame*, candidates, payload_hash, payload_equal> same;
  for (std::size_t p = 0; p < places_.size(); ++p) same[&places_[p].old].places.push_back(p);
  steps += places_.size();
  for (std::size_t i = 0; i < frames.size(); ++i) {
    ++steps;
    const auto found = same.find(&frames[i]);
    if (found != same.end()) claim(i, found->second);
  }
  std::map<std::pair<std::uint32_t, std::string>, candidates> replaced;
  for (std::size_t p = 0; p < places_.size(); ++p)
    replaced[{places_[p].old.id, places_[p].description}].places.push_back(p);
  steps += places_.size();
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (where[i] != unplaced) continue;
    ++steps;
    const auto found = replaced.find({frames[i].id, description_of(frames[i])});
    if (found != replaced.end()) claim(i, found->second);
  }
  std::vector<std::size_t> order(frames.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return where[a] < where[b]; });
  std::vector<frame> placed;
  placed.reserve(frames.size());
  for (std::size_t i : order) placed.push_back(std::move(frames[i]));
  frames = std::move(placed);
  qiv::count_work_steps(steps);
}

void id3v2_lay_out_for_rewrite(std::vector<frame>& frames) {
  std::stable_partition(frames.begin(), frames.end(), large_in(frames));
}

bool id3v2_laid_out_for_rewrite(const std::vector<frame>& frames) {
  return std::is_partitioned(frames.begin(), frames.end(), large_in(frames));
}
