// Exceptions that end start-up in a chosen way: with a message box, silently,
// or because the installation is damaged.
#pragma once

#include "foundation/exceptions.h"

// Start-up stops and tells the user why in a message box (exit code -1).
class exception_messagebox : public qiv::exception_with_message {
public:
  explicit exception_messagebox(const char* static_text) noexcept : exception_with_message(static_text) {}
  exception_messagebox(qiv::copy_message_t tag, const char* text) : exception_with_message(tag, text) {}
};

// A required component is missing or duplicated.
class exception_installdamaged : public exception_messagebox {
public:
  exception_installdamaged() noexcept
      : exception_messagebox("Internal error - one or more of the installed components have been damaged.") {}
};

// The system ran out of memory or handles while starting.
class exception_out_of_resources : public exception_messagebox {
public:
  exception_out_of_resources() noexcept : exception_messagebox("Not enough system resources available.") {}
};

// Start-up ends quietly with exit code 0 (another instance took over, or the
// user declined to continue).
class exception_shutdownrequest : public qiv::exception_with_message {
public:
  exception_shutdownrequest() noexcept : exception_with_message("Shutdown Request") {}
  explicit exception_shutdownrequest(const char* static_text) noexcept : exception_with_message(static_text) {}
};
