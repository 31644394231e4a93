// Configuration items: the persistent settings. Each is a static object of
// the module that owns the setting, identified by a GUID, that writes its
// value to a byte stream and reads it back. Items link themselves into one
// list during static initialisation; the configuration store
// (io/config_store.h) loads them all from "config.dat" at start-up and saves
// them at shutdown. The kinds of value are in core/config_item_kinds.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/abort_signal.h"
#include "core/byte_stream.h"

class config_item {
public:
  config_item(const config_item&) = delete;
  config_item& operator=(const config_item&) = delete;

  const GUID& guid() const noexcept { return guid_; }
  config_item* next() const noexcept { return next_; }

  // `size` is the byte count of the record, which `source` ends after. Damaged
  // data is reported with the stream's data error; the store then skips this
  // item and goes on with the next one.
  virtual void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) = 0;
  virtual void write(byte_stream_writer& target, const abort_signal& abort) = 0;

  // The items of the process, the last registered first.
  static config_item* global_list_head;

protected:
  // Links the item at the head of `list` (the process's list unless a test
  // gives its own). Items are never unlinked: they live until the process ends.
  explicit config_item(const GUID& guid, config_item** list = &global_list_head) noexcept;
  ~config_item() = default;

private:
  GUID guid_;
  config_item* next_;
};
