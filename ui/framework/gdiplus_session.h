// GDI+ for the user interface: its start-up and shut-down, and the error of
// a failing GDI+ call.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>

namespace Gdiplus {
class GpPen;
}

// "Gdiplus error (" + the status in decimal + ")".
class exception_gdiplus : public std::runtime_error {
public:
  explicit exception_gdiplus(int status);
  int status() const noexcept { return status_; }

private:
  int status_;
};

// Throws exception_gdiplus for any status but Ok (0).
void gdiplus_check(int status);

// GDI+ is usable while a session lives; sessions may nest.
class gdiplus_session {
public:
  gdiplus_session();  // throws exception_gdiplus
  ~gdiplus_session();
  gdiplus_session(const gdiplus_session&) = delete;
  gdiplus_session& operator=(const gdiplus_session&) = delete;

private:
  ULONG_PTR token_ = 0;
};

// Releases a GDI+ pen; null does nothing.
void delete_pen(Gdiplus::GpPen* pen) noexcept;
