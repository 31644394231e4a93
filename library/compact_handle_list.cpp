#include "library/compact_handle_list.h"

#include <memory>
#include <new>
#include <utility>

compact_handle_list& compact_handle_list::operator=(compact_handle_list&& other) noexcept {
  if (this != &other) {
    clear();
    take(other);
  }
  return *this;
}

void compact_handle_list::clear() noexcept {
  if (count_ == 1) {
    one_.~track_handle_ptr();
    many_ = nullptr;
  } else {
    delete[] many_;
    many_ = nullptr;
  }
  count_ = 0;
}

void compact_handle_list::take(compact_handle_list& other) noexcept {
  if (other.count_ == 1) {
    many_ = nullptr;
    new (&one_) track_handle_ptr(std::move(other.one_));
    other.one_.~track_handle_ptr();
    other.many_ = nullptr;
  } else {
    many_ = std::exchange(other.many_, nullptr);
  }
  count_ = std::exchange(other.count_, 0);
}

void compact_handle_list::assign(track_handle_list&& handles) {
  const std::size_t count = handles.size();
  if (count > 1) {
    auto block = std::make_unique<track_handle_ptr[]>(count);
    for (std::size_t i = 0; i < count; ++i) block[i] = std::move(handles[i]);
    clear();
    many_ = block.release();
  } else {
    clear();
    if (count == 1) new (&one_) track_handle_ptr(std::move(handles[0]));
  }
  count_ = static_cast<std::uint32_t>(count);
  handles.clear();
}
