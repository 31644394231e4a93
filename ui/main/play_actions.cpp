#include "ui/main/play_actions.h"

#include "core/random_source.h"
#include "core/service_registry.h"
#include "library/nav_track_sources.h"
#include "playback/playback_front.h"

namespace {

std::int32_t last_start_kind = -1;

std::vector<std::uint32_t> random_words(std::size_t count) {
  auto source = service_lookup_unique_t<random_source>();
  std::vector<std::uint32_t> words(count);
  for (std::uint32_t& word : words) word = static_cast<std::uint32_t>(source->random(0x100000000ull));
  return words;
}

}  // namespace

play_request play_items_prepare(nav_node& node, const wide_text_list& selection, play_mode mode) {
  play_request request;
  switch (mode) {
  case play_mode::start_here:
    if (selection.size() > 1 || (selection.size() == 1 && node.is_container(selection[0]))) {
      request.playlist = node.source_for(selection);
      break;
    }
    request.playlist = node.source_for_all();
    if (!selection.empty()) {
      // The selected track's own handle object is found in the whole list:
      // the nodes hand out one handle per location.
      const track_source_ptr selected = node.source_for(selection);
      if (const service_ptr<playback_item> first = selected ? selected->first() : nullptr)
        request.start = request.playlist->find(first->get_handle().get());
    }
    break;
  case play_mode::play_this:
    request.playlist = node.source_for(selection);
    break;
  case play_mode::random_order:
    request.playlist = random_order(node, selection);
    break;
  }
  return request;
}

bool play_items(nav_node& node, const wide_text_list& selection, play_mode mode) {
  const play_request request = play_items_prepare(node, selection, mode);
  if (!request.playlist || !request.playlist->first()) {
    MessageBeep(0);
    return false;
  }
  last_start_kind = static_cast<std::int32_t>(node.kind());
  playback_order::get().set_source(request.playlist);
  playback_order::get().set_current(request.start);
  playback_front_get().start(command_play, false);
  return true;
}

void shuffle_names(wide_text_list& names, const std::vector<std::uint32_t>& words) {
  const std::size_t n = names.size();
  for (std::size_t i = 0; i + 1 < n && i < words.size(); ++i) {
    const std::size_t j = i + words[i] % (n - i);
    std::swap(names[i], names[j]);
  }
}

track_source_ptr random_order(nav_node& node, const wide_text_list& selection) {
  wide_text_list names = selection;
  shuffle_names(names, random_words(names.size()));
  concat_source_builder playlist;
  for (const std::wstring& name : names) playlist.append(node.source_for({name}));
  return playlist.get();
}

bool play_enabled(const nav_node* node, const wide_text_list& selection) {
  if (node == nullptr || !node->can_play()) return false;
  return !selection.empty() || node->has_tracks();
}

std::int32_t play_start_kind() { return last_start_kind; }
