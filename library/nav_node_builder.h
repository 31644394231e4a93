// Library views of a large library and file-system folders are built on a
// thread of their own, so the window goes on answering while it waits, and
// the nodes they replace are freed there too. One thread serves the builds in
// turn; only the newest build is wanted: one that a later start or a cancel
// overtook is dropped, unbuilt when it had not begun, and never reaches the
// window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "library/nav_node.h"

// A node built on the worker, handed to the window's thread.
struct built_nav_node {
  std::unique_ptr<nav_node> node;
  // A copy of the node's entries, made on the worker for the list to take.
  wide_text_list entries;
  // The entry of the track that was playing when the build began, -1 when
  // none; `playing` says which track that was.
  track_handle_ptr playing;
  std::int32_t playing_entry = -1;
};

class nav_node_builder {
public:
  // Window's thread: the wanted build is done. Not called for a build that a
  // later start, a cancel or the builder's end overtook.
  using landing = std::function<void(built_nav_node)>;
  // Window's thread: the wanted build failed; its exception is thrown next.
  using failing = std::function<void()>;
  // Worker: builds the node handed over; nothing else touches it meanwhile.
  using build_step = std::function<void(nav_node&)>;

  nav_node_builder(landing land, failing fail);
  // Drops a build not begun and waits for the one running; nothing lands.
  ~nav_node_builder();
  nav_node_builder(const nav_node_builder&) = delete;
  nav_node_builder& operator=(const nav_node_builder&) = delete;

  // Window's thread. Builds the unbuilt node with `build`, which is freed
  // on the worker (with what it holds) once it ran, and looks for the entry
  // of `playing` (may be null). Throws qiv::thread::exception_creation when
  // the worker cannot start.
  void start(std::unique_ptr<nav_node> node, build_step build, track_handle_ptr playing);
  // Window's thread: no build is wanted any more.
  void cancel() noexcept;
  bool is_building() const noexcept { return wanted_.load() != 0; }

  // Window's thread: the node, already detached from the library or its
  // folder, is freed on the worker.
  void dispose(std::unique_ptr<nav_node> node);
  // Window's thread: texts a list no longer shows are freed on the worker.
  void dispose(wide_text_list texts);

  // Window's thread: cancels, then waits until the worker has freed what it
  // was given and ended. A later start or dispose starts it again.
  void shut_down() noexcept;

private:
  class worker;
  struct job;
  // What a queued landing reaches; cleared when the builder ends.
  struct channel {
    nav_node_builder* owner;
  };

  void arrive(std::unique_ptr<job> done);
  worker& running_worker();

  landing land_;
  failing fail_;
  std::shared_ptr<channel> channel_;
  std::unique_ptr<worker> worker_;
  std::uint64_t last_number_ = 0;
  // The number of the build the window waits for, 0 for none.
  std::atomic<std::uint64_t> wanted_{0};
};
