// The configuration store: loads every configuration item (core/config_item.h)
// from "config.dat" in the profile folder when the service registry is
// built, and writes them back at shutdown and whenever the preferences ask.
//
// "config.dat", little-endian:
//   0   16  file GUID {B2223DD1-15C4-46F5-8031-96E692BC1E20}, field by field
//   16  16  MD5 of a fixed 16-byte salt followed by the payload
//   32   4  payload length
//   36   -  payload: one record per item, in item-list order:
//           item GUID (16), u32 data size, the item's value
//
// The file is rewritten only when the payload's digest differs from the one
// last read or written, so an unchanged configuration costs no disk write.
#pragma once

#include <cstdint>

#include "core/byte_stream.h"
#include "core/config_item.h"
#include "core/persistent_store.h"
#include "foundation/string_buffer.h"
#include "io/md5_hasher.h"
#include "io/memory_reader.h"

namespace vantrel_io {

class config_store : public persistent_store_flush {
public:
  static constexpr GUID file_guid = {0xB2223DD1, 0x15C4, 0x46F5, {0x80, 0x31, 0x96, 0xE6, 0x92, 0xBC, 0x1E, 0x20}};
  static constexpr std::uint32_t header_size = 36;

  // `items`: the process's item list unless a test gives its own.
  explicit config_store(config_item** items = &config_item::global_list_head) noexcept : items_(items) {}

  // The profile folder + "\config.dat" (no second backslash when the folder
  // already ends in one).
  static qiv::string_buffer get_path();

  // Reads and checks the whole file, then applies its payload. Any damage
  // before the payload is applied leaves every item untouched.
  void read_file(const char* path, const abort_signal& abort);
  // Applies the records in any order; unknown GUIDs are skipped and an item
  // that rejects its record as damaged keeps what it had while the others
  // go on.
  void read_payload(memory_reader& payload, const abort_signal& abort);
  void write_payload(byte_stream_writer& target, const abort_signal& abort);
  // Serialises and digests; writes (through a ".tmp" file) only when the
  // digest changed. A payload of at most four zero bytes deletes the file
  // instead.
  void write_file(const abort_signal& abort);

  // Start-up: a missing file leaves the defaults; any other failure asks the
  // user whether to continue (unless "/quiet"), and Cancel ends start-up.
  void load() override;
  // Shutdown: writes, or deletes the file for a reset. A file that another
  // program holds is retried every second, ten times in all; other failures
  // leave the file as it was, silently.
  void save(bool reset_config) override;
  // The preferences dialog's immediate save; failures are swallowed.
  void save_now() override;

  static md5_digest digest_of(const void* payload, std::uint32_t size);

private:
  void remove_file(const abort_signal& abort);

  config_item** items_;
  md5_digest last_digest_;  // all zero until the first read or write
};

}  // namespace vantrel_io
