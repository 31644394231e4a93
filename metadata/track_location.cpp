#include "metadata/track_location.h"

#include "foundation/string_small.h"
#include "io/path_schemes.h"

track_location& track_location::operator=(const track_location& other) {
  if (this != &other) {
    set_path(other.path_.get());
    subsong_ = other.subsong_;
  }
  return *this;
}

void track_location::set_path(const char* path) {
  const std::size_t length = path != nullptr ? std::strlen(path) : 0;
  if (length == 0) {
    path_.reset();
    return;
  }
  auto copy = std::make_unique_for_overwrite<char[]>(length + 1);
  std::memcpy(copy.get(), path, length + 1);
  path_ = std::move(copy);
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
