// The failures of the MP4 container library. Every structural error in a file
// is one of these, so that the input can report it as a data error with the
// text the parser chose.
#pragma once

#include <stdexcept>
#include <string>

namespace tarnex {

class exception : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The file ends, or a box ends, before the data it announces.
class exception_truncation : public exception {
public:
  exception_truncation() : exception("invalid or incomplete data") {}
};

// An index or a time outside the tables of a track.
class exception_out_of_range : public exception {
public:
  exception_out_of_range() : exception("array access out of range") {}
};

// A time scale of 0 would divide every time of the track by zero.
class exception_invalid_timescale : public exception {
public:
  exception_invalid_timescale() : exception("invalid time scale value") {}
};

// A tag write refused before any byte changed, because the file's layout
// cannot take a new movie box without losing data; `reason` says why.
class exception_write_refused : public exception {
public:
  explicit exception_write_refused(const std::string& why) : exception(why + "; not rewriting it"), reason_(why) {}
  const std::string& reason() const { return reason_; }

private:
  std::string reason_;
};

}  // namespace tarnex
