#include "playback/item_opener.h"

#include "io/io_exceptions.h"
#include "metadata/input_dispatch.h"
#include "metadata/metadata_io_service.h"

namespace {

service_ptr<metadata_io_service> metadata_io_for_playback() {
  service_ptr<metadata_io_service> service = metadata_io_service::get();
  service_handle extension;
  if (!service || !service->query(extension, metadata_io_service::playback_guid))
    throw exception_service_extension_not_found();
  return service;
}

}  // namespace

bool open_decoder_for_path(decoder_holder& holder, const vantrel_io::file_ptr& file, const char* path,
                           const abort_signal& abort, bool skip_flagged_inputs, bool skip_info_refresh) {
  abort.check_and_throw();
  if (holder.get() != nullptr && holder.path() == path) return false;
  holder.release();
  // The new decoder stays local until everything succeeded, so no failure
  // leaves it in the holder.
  decoder_instance_ptr decoder;
  input_dispatch::open_for_decoding(decoder, file, path, abort, skip_flagged_inputs);
  if (!skip_info_refresh) {
    service_ptr<shared_info_batch> batch;
    metadata_io_for_playback()->create_info_batch(batch);
    try {
      batch->add_from_reader(path, *decoder, abort);
    } catch (const vantrel_io::exception_io_data&) {
      // The decoder may have been left part-way through its info; start over.
      decoder.reset();
      if (file) file->rewind(abort);
      input_dispatch::open_for_decoding(decoder, file, path, abort, skip_flagged_inputs);
    }
    batch->commit();
  }
  holder.set(std::move(decoder), path);
  return true;
}

void open_item_for_decoding(decoder_holder& holder, const vantrel_io::file_ptr& file, const track_handle& item,
                            std::uint32_t flags, const abort_signal& abort, bool skip_flagged_inputs,
                            bool skip_info_refresh) {
  const track_location& location = item.get_location();
  open_decoder_for_path(holder, file, location.get_path(), abort, skip_flagged_inputs, skip_info_refresh);
  try {
    holder.get()->initialize(location.get_subsong(), flags, abort);
  } catch (...) {
    // A decoder that failed half-way into a subsong is not trusted again.
    holder.release();
    throw;
  }
}

void decoder_set_pause_state(decoder_instance* decoder, bool paused) {
  if (service_ptr<decoder_pause_extension> extension = service_query<decoder_pause_extension>(decoder))
    extension->set_paused(paused);
}
