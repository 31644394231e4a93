#include "library/subsong_file_order.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

void keep_subsongs_in_file_order(std::span<std::uint32_t> items,
                                 const std::function<const track_handle*(std::uint32_t)>& track_of) {
  struct file_places {
    std::vector<std::size_t> places;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> subsongs;  // subsong, item
  };
  std::unordered_map<std::string_view, file_places> files;
  for (std::size_t place = 0; place < items.size(); ++place) {
    const track_handle* track = track_of(items[place]);
    if (track == nullptr || track->get_location().get_subsong() == 0) continue;
    file_places& file = files[track->get_location().get_path()];
    file.places.push_back(place);
    file.subsongs.emplace_back(track->get_location().get_subsong(), items[place]);
  }
  for (auto& [path, file] : files) {
    if (file.places.size() < 2) continue;
    std::stable_sort(file.subsongs.begin(), file.subsongs.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < file.places.size(); ++i) items[file.places[i]] = file.subsongs[i].second;
  }
}
