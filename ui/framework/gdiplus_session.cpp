#include "ui/framework/gdiplus_session.h"

#include <gdiplus.h>

#include <string>

exception_gdiplus::exception_gdiplus(int status)
    : std::runtime_error("Gdiplus error (" + std::to_string(status) + ")"), status_(status) {}

void gdiplus_check(int status) {
  if (status != Gdiplus::Ok) throw exception_gdiplus(status);
}

gdiplus_session::gdiplus_session() {
  Gdiplus::GdiplusStartupInput input;
  input.GdiplusVersion = 1;
  input.DebugEventCallback = nullptr;
  input.SuppressBackgroundThread = FALSE;
  input.SuppressExternalCodecs = FALSE;
  gdiplus_check(Gdiplus::GdiplusStartup(&token_, &input, nullptr));
}

gdiplus_session::~gdiplus_session() { Gdiplus::GdiplusShutdown(token_); }

void delete_pen(Gdiplus::GpPen* pen) noexcept {
  if (pen != nullptr) Gdiplus::DllExports::GdipDeletePen(pen);
}
