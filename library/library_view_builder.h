// Library views of a large library are built on a thread of their own, so
// the window goes on answering while it waits, and the views they replace
// are freed there too. One thread serves the builds in turn; only the newest
// build is wanted: one that a later start or a cancel overtook is dropped,
// unbuilt when it had not begun, and never reaches the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "library/library_view_node.h"

// A view built on the worker, handed to the window's thread.
struct built_library_view {
  std::unique_ptr<library_view_node> node;
  // A copy of the node's entries, made on the worker for the list to take.
  wide_text_list entries;
  // The entry of the track that was playing when the build began, -1 when
  // none; `playing` says which track that was.
  track_handle_ptr playing;
  std::int32_t playing_entry = -1;
};

class library_view_builder {
public:
  // Window's thread: the wanted build is done. Not called for a build that a
  // later start, a cancel or the builder's end overtook.
  using landing = std::function<void(built_library_view)>;

  explicit library_view_builder(landing land);
  // Drops a build not begun and waits for the one running; nothing lands.
  ~library_view_builder();
  library_view_builder(const library_view_builder&) = delete;
  library_view_builder& operator=(const library_view_builder&) = delete;

  // Window's thread. Builds the unbuilt node at the path from the tracks
  // (taken from the library on the window's thread) and looks for the entry
  // of `playing` (may be null). Throws qiv::thread::exception_creation when
  // the worker cannot start.
  void start(std::unique_ptr<library_view_node> node, const nav_path& path, track_handle_list tracks,
             track_handle_ptr playing);
  // Window's thread: no build is wanted any more.
  void cancel() noexcept;
  bool is_building() const noexcept { return wanted_.load() != 0; }

  // Window's thread: the node, already detached from the library, is freed
  // on the worker.
  void dispose(std::unique_ptr<library_view_node> node);

  // Window's thread: cancels, then waits until the worker has freed what it
  // was given and ended. A later start or dispose starts it again.
  void shut_down() noexcept;

private:
  class worker;
  struct job;
  // What a queued landing reaches; cleared when the builder ends.
  struct channel {
    library_view_builder* owner;
  };

  void arrive(std::unique_ptr<job> done);
  worker& running_worker();

  landing land_;
  std::shared_ptr<channel> channel_;
  std::unique_ptr<worker> worker_;
  std::uint64_t last_number_ = 0;
  // The number of the build the window waits for, 0 for none.
  std::atomic<std::uint64_t> wanted_{0};
};
