// Where an input reports a problem that does not stop it (a damaged frame, an
// embedded cue sheet it had to ignore). The owner of the input sets one; the
// input reports each problem once, not once per block.
#pragma once

#include <windows.h>

#include "core/service_object.h"

class decoder_message_sink : public service_object {
public:
  static constexpr GUID class_guid = {0x5B1E7C2A, 0x4D93, 0x4F0E, {0x9A, 0x61, 0x2C, 0x8E, 0x73, 0xD4, 0x0B, 0x95}};
  using service_parent = service_object;

  // `is_error` false marks a warning: the file still plays.
  virtual void on_message(const char* text, bool is_error) = 0;

protected:
  ~decoder_message_sink() = default;
};
