#include "library/nav_first_view.h"

#include <windows.h>

#include <vector>

#include "foundation/win32_handles.h"
#include "library/library_view_node.h"

namespace {

// The node is made before the window that listens to it: it tells whoever
// took it.
class listener_relay final : public nav_node_listener {
public:
  nav_node_listener* target = nullptr;
  void node_changed() override {
    if (target != nullptr) target->node_changed();
  }
  void scanning_changed(bool scanning) override {
    if (target != nullptr) target->scanning_changed(scanning);
  }
};

listener_relay& relay() {
  static listener_relay instance;
  return instance;
}

using track_order = std::vector<track_handle*>;

// Made for the build on the read-ahead thread, which owns it; the taker
// reaches it while the read-ahead lasts.
struct ahead_state {
  nav_path path;
  built_nav_node view;  // the node while unbuilt, then what was built
  track_order built_from;
  bool built = false;
  win32_event done;  // set once the build ended or will never run
};

class ahead_build final : public library_read_ahead_use {
public:
  explicit ahead_build(std::shared_ptr<ahead_state> state) : state_(std::move(state)) {}
  ~ahead_build() override { SetEvent(state_->done.get()); }

  void use(track_handle_list tracks) noexcept override {
    ahead_state& s = *state_;
    try {
      // Only the order stays, to be compared with the library's, never followed.
      track_order order;
      order.reserve(tracks.size());
      for (const track_handle_ptr& track : tracks) order.push_back(track.get());
      handed_over_tracks handed(std::move(tracks));
      static_cast<library_view_node&>(*s.view.node).build_from(s.path, handed);
      s.view.entries = s.view.node->copy_entries();
      s.built_from = std::move(order);
      s.built = handed.read_once();
    } catch (...) {
      // The window builds the view itself, and meets the failure there.
      s.built = false;
    }
    SetEvent(s.done.get());
  }

private:
  std::shared_ptr<ahead_state> state_;
};

bool same_tracks(const track_order& built_from, const track_handle_list& now) {
  if (built_from.size() != now.size()) return false;
  for (std::size_t i = 0; i < now.size(); ++i)
    if (built_from[i] != now[i].get()) return false;
  return true;
}

std::weak_ptr<ahead_state>& wanted() {
  static std::weak_ptr<ahead_state> state;
  return state;
}

}  // namespace

namespace nav_first_view {

std::unique_ptr<library_read_ahead_use> request(const nav_location& location) {
  wanted().reset();
  if (location.kind != nav_kind_library_view) return nullptr;
  auto state = std::make_shared<ahead_state>();
  state->path = location.path;
  state->view.node = std::make_unique<library_view_node>(&relay(), library_view_node::unbuilt);
  state->done.create();
  wanted() = state;
  return std::make_unique<ahead_build>(std::move(state));
}

std::optional<built_nav_node> take(const nav_location& location, const track_handle_list& tracks,
                                   nav_node_listener* listener) {
  const std::shared_ptr<ahead_state> state = wanted().lock();
  wanted().reset();
  if (!state || location.kind != nav_kind_library_view || location.path != state->path) return std::nullopt;
  WaitForSingleObject(state->done.get(), INFINITE);
  if (!state->built || !same_tracks(state->built_from, tracks)) return std::nullopt;
  state->built = false;
  state->built_from = {};
  relay().target = listener;
  return std::move(state->view);
}

}  // namespace nav_first_view
