// Failures to reach the configured output.
#pragma once

#include "foundation/exceptions.h"

// The device is gone or was never there.
class exception_output_device_not_found : public qiv::exception_with_message {
public:
  exception_output_device_not_found() noexcept : exception_with_message("Audio device not found") {}

protected:
  explicit exception_output_device_not_found(const char* static_text) noexcept
      : exception_with_message(static_text) {}
};

// No installed output module has the configured GUID.
class exception_output_module_not_found : public exception_output_device_not_found {
public:
  exception_output_module_not_found() noexcept : exception_output_device_not_found("Output module not found") {}
};
