// Stores that load right after the registry is built and save at shutdown
// (the configuration store, the media library).
#pragma once

#include "core/service_object.h"

class persistent_store : public service_object {
public:
  static constexpr GUID class_guid = {0x74497D81, 0x6158, 0x48BA, {0x96, 0x57, 0x38, 0x6A, 0x55, 0x20, 0xD0, 0xFF}};
  using service_parent = service_object;

  virtual void load() = 0;
  // `reset_config`: a restart that resets the configuration is under way.
  virtual void save(bool reset_config) = 0;
};

// Extension of a store that can write itself at once, outside shutdown.
class persistent_store_flush : public persistent_store {
public:
  static constexpr GUID class_guid = {0xFE784BF0, 0x9504, 0x4E35, {0x85, 0xE4, 0x72, 0x53, 0x82, 0x62, 0xA1, 0x99}};
  using service_parent = persistent_store;
  static constexpr bool service_is_extension = true;

  virtual void save_now() = 0;
};
