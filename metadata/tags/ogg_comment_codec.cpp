#include "metadata/tags/ogg_comment_codec.h"

#include <cstring>

#include "core/abort_signal.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "metadata/tags/comment_block.h"

namespace ogg_codec {

void find_for_stream(service_ptr<ogg_comment_handler>& out, const void* first_packet, std::uint32_t size,
                     const service_registry_table& table) {
  for (auto& codec : service_list_t<ogg_comment_codec>(table)) {
    if (codec->accepts(first_packet, size)) {
      codec->create(out);
      return;
    }
  }
  vantrel_io::throw_io_data();
}

}  // namespace ogg_codec

unsigned comment_packet_rebuild(ogg_comment_handler& handler, const void* packet, std::uint32_t size,
                                const track_info& info, qiv::array<std::uint8_t>& rebuilt) {
  rebuilt.set_size(0);
  const unsigned answer = handler.feed_header(packet, size);
  if (answer & ogg_comment_handler::is_comment_packet) {
    const void* prefix = nullptr;
    std::uint32_t prefix_size = 0;
    bool framing = false;
    handler.comment_layout(prefix, prefix_size, framing);
    vantrel_io::memory_writer writer;
    comment_block_rebuild(packet, size, info, prefix, prefix_size, framing, writer,
                          never_raised_abort_signal());
    rebuilt.set_size(writer.get_size());
    if (writer.get_size()) std::memcpy(rebuilt.data(), writer.get_ptr(), writer.get_size());
    const std::uint32_t unpadded_size = rebuilt.get_count();
    comment_pad(rebuilt, size);
    handler.finish_comment(rebuilt, unpadded_size);
  }
  return answer & (ogg_comment_handler::headers_complete | ogg_comment_handler::flush_after_packet);
}
