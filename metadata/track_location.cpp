#include "metadata/track_location.h"

#include <utility>

#include "foundation/string_small.h"
#include "io/path_schemes.h"

// A moved location hands over its text only when it owns it: a borrowed text
// lives as long as its track handle, which the new location may outlive. Only
// handles borrow, and their locations are const, so the copy below is never
// made in practice; it is there so a move can never leave a dangling text.
track_location::track_location(track_location&& other) noexcept : subsong_(other.subsong_) {
  if (other.owns_path_) {
    path_ = std::exchange(other.path_, nullptr);
    owns_path_ = std::exchange(other.owns_path_, false);
  } else {
    set_path(other.path_);
  }
}

track_location& track_location::operator=(const track_location& other) {
  if (this != &other) {
    set_path(other.path_);
    subsong_ = other.subsong_;
  }
  return *this;
}

track_location& track_location::operator=(track_location&& other) noexcept {
  if (this == &other) return *this;
  if (other.owns_path_) {
    release();
    path_ = std::exchange(other.path_, nullptr);
    owns_path_ = std::exchange(other.owns_path_, false);
  } else {
    set_path(other.path_);
  }
  subsong_ = other.subsong_;
  return *this;
}

void track_location::release() noexcept {
  if (owns_path_) delete[] path_;
  path_ = nullptr;
  owns_path_ = false;
}

void track_location::set_path(const char* path) {
  const std::size_t length = path != nullptr ? std::strlen(path) : 0;
  if (length == 0) {
    release();
    return;
  }
  // Copied before the old text goes: `path` may point into it.
  char* copy = new char[length + 1];
  std::memcpy(copy, path, length + 1);
  release();
  path_ = copy;
  owns_path_ = true;
}

void track_location::format_for_display(qiv::string_object& out) const {
  if (get_path()[0] == '\0') {
    out.set_string("[invalid location]");
    return;
  }
  qiv::string_small shown;
  vantrel_io::get_display_path(shown, get_path());
  out.set_string("\"");
  out.add_string(shown.get_ptr());
  out.add_string("\"");
  if (subsong_ != 0) {
    out.add_string(" / index: ");
    out.add_uint(subsong_);
  }
}
