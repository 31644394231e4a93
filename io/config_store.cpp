#include "io/config_store.h"

#include <windows.h>

#include <cstring>

#include "core/app_exceptions.h"
#include "core/app_state.h"
#include "core/service_factory.h"
#include "foundation/array.h"
#include "foundation/avl_tree.h"
#include "foundation/win32_text.h"
#include "io/byte_stream_adapters.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "io/path_schemes.h"
#include "io/safe_save.h"

namespace vantrel_io {

namespace {

constexpr int save_attempts = 10;
constexpr DWORD sharing_retry_ms = 1000;

// A digest that matches is the only proof that the whole file was written by
// this program; the salt keeps a hand-edited file with a recomputed plain
// MD5 from passing.
void add_salt(md5_hasher& hasher) {
  const std::uint32_t salt_words[4] = {0x5A6F7276, 0x43666731, 0x9E3779B9, 0x7F4A7C15};
  std::uint8_t salt[16];
  for (int word = 0; word < 4; ++word)
    for (int b = 0; b < 4; ++b) salt[4 * word + b] = static_cast<std::uint8_t>(salt_words[word] >> (8 * b));
  hasher.update(salt, sizeof(salt));
}

class exception_config_corrupted : public exception_io_data {
public:
  exception_config_corrupted() : exception_io_data(io_message("config_file_corrupted", "Corrupted configuration file")) {}
};

bool is_all_zero_and_tiny(const std::uint8_t* bytes, std::uint32_t size) {
  if (size > 4) return false;
  for (std::uint32_t i = 0; i < size; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

}  // namespace

qiv::string_buffer config_store::get_path() {
  qiv::string_buffer path(profile::get_path());
  const std::size_t length = path.get_length();
  if (length == 0 || path.get_ptr()[length - 1] != '\\') path.add_string("\\");
  path.add_string("config.dat");
  return path;
}

md5_digest config_store::digest_of(const void* payload, std::uint32_t size) {
  md5_hasher hasher;
  add_salt(hasher);
  hasher.update(payload, size);
  return hasher.finish();
}

void config_store::read_file(const char* path, const abort_signal& abort) {
  file_ptr file;
  vantrel_io::open(file, path, open_mode::read, abort);
  const std::uint64_t size = file->get_size(abort);
  if (size == filesize_unknown || size <= 20) throw_io_data();

  std::uint8_t header[header_size];
  file->read_exact(header, header_size, abort);
  if (std::memcmp(header, &file_guid, sizeof(GUID)) != 0) throw_io_data();
  md5_digest stored;
  std::memcpy(stored.bytes, header + 16, 16);
  std::uint32_t length = 0;
  for (int b = 0; b < 4; ++b) length |= std::uint32_t(header[32 + b]) << (8 * b);
  if (length > size - header_size) throw_io_data();

  qiv::array<std::uint8_t> payload;
  payload.set_size(length);
  if (length != 0) file->read_exact(payload.data(), length, abort);
  file.reset();

  const md5_digest digest = digest_of(payload.data(), length);
  if (!(digest == stored)) throw exception_config_corrupted();
  last_digest_ = digest;

  memory_reader reader(payload.data(), length);
  read_payload(reader, abort);
}

void config_store::read_payload(memory_reader& payload, const abort_signal& abort) {
  // Walking the list front to back, a later node (an earlier registered item)
  // replaces an earlier one of the same GUID.
  qiv::avl_map<GUID, config_item*, qiv::guid_order> by_guid;
  for (config_item* item = *items_; item != nullptr; item = item->next()) by_guid.insert(item->guid()).node->value = item;

  for (;;) {
    GUID guid;
    if (payload.read_some(&guid, sizeof(guid)) < sizeof(guid)) break;
    std::uint8_t size_bytes[4];
    payload.read(size_bytes, 4);
    std::uint32_t size = 0;
    for (int b = 0; b < 4; ++b) size |= std::uint32_t(size_bytes[b]) << (8 * b);

    // A record cut off by the end of the file is damage: nothing of it is
    // handed to its item.
    if (size > payload.remaining()) throw_io_data();
    if (const auto* node = by_guid.find(guid)) {
      memory_reader record(payload.position_pointer(), size);
      try {
        node->value->read(record, size, abort);
      } catch (const exception_io_data&) {
        // The item keeps what it had set; the other items still load.
      }
    }
    payload.skip(size);
  }
}

void config_store::write_payload(byte_stream_writer& target, const abort_signal& abort) {
  memory_writer scratch;
  byte_stream_writer_adapter scratch_stream(scratch);
  for (config_item* item = *items_; item != nullptr; item = item->next()) {
    scratch.init();
    item->write(scratch_stream, abort);
    target.write_guid(item->guid(), abort);
    target.write_u32(scratch.get_size(), abort);
    if (scratch.get_size() != 0) target.write(scratch.get_ptr(), scratch.get_size(), abort);
  }
}

void config_store::remove_file(const abort_signal& abort) {
  try {
    vantrel_io::remove(get_path().get_ptr(), abort);
  } catch (const exception_io_not_found&) {
    // Already gone: the wanted state.
  }
}

void config_store::write_file(const abort_signal& abort) {
  const qiv::string_buffer path = get_path();
  memory_writer payload;
  byte_stream_writer_adapter payload_stream(payload);
  write_payload(payload_stream, abort);
  const std::uint32_t length = payload.get_size();
  const md5_digest digest = digest_of(payload.get_ptr(), length);
  if (digest == last_digest_) return;

  if (is_all_zero_and_tiny(payload.get_ptr(), length)) {
    remove_file(abort);
  } else {
    write_file_via_temp(
        path.get_ptr(),
        [&](file_object& file, const abort_signal& file_abort) {
          byte_stream_writer_adapter out(file);
          out.write_guid(file_guid, file_abort);
          out.write(digest.bytes, sizeof(digest.bytes), file_abort);
          out.write_u32(length, file_abort);
          if (length != 0) out.write(payload.get_ptr(), length, file_abort);
        },
        abort);
  }
  last_digest_ = digest;
}

void config_store::load() {
  try {
    read_file(get_path().get_ptr(), never_raised_abort_signal());
  } catch (const exception_io_not_found&) {
    // First start: every item keeps its default.
  } catch (const std::exception& e) {
    if (app::state().quiet) return;
    qiv::string_buffer text("Error reading configuration file (");
    text.add_string(e.what());
    text.add_string(").\nContinue?");
    if (message_box_utf8(nullptr, text.get_ptr(), nullptr, MB_OKCANCEL | MB_ICONERROR) == IDCANCEL)
      throw exception_shutdownrequest();
  }
}

void config_store::save(bool reset_config) {
  const abort_signal& abort = never_raised_abort_signal();
  for (int attempt = 1; attempt <= save_attempts; ++attempt) {
    try {
      if (reset_config)
        remove_file(abort);
      else
        write_file(abort);
      return;
    } catch (const exception_io_sharing_violation&) {
      if (attempt < save_attempts) Sleep(sharing_retry_ms);
    } catch (const std::exception&) {
      return;  // nothing better to do at shutdown; the old file stays intact
    }
  }
}

void config_store::save_now() {
  // A read-only profile is never written, whoever asks.
  if (app::state().profile_read_only) return;
  try {
    write_file(never_raised_abort_signal());
  } catch (const std::exception&) {
  }
}

namespace {
service_factory_single_t<config_store> config_store_registration;
}  // namespace

}  // namespace vantrel_io
