#include "metadata/tags/ogg_comment_codec.h"

#include <string>

#include <gtest/gtest.h>

#include "core/service_factory.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "tests/support/single_factory.h"

namespace {

// A stream whose packets start with one signature byte; its second header
// packet is the comment packet, as in Vorbis.
class signature_handler : public ogg_comment_handler {
public:
  char signature = 0;
  int packets = 0;
  unsigned feed_header(const void*, std::uint32_t) override {
    return ++packets == 2 ? is_comment_packet | headers_complete : 0;
  }
  void comment_layout(const void*& prefix, std::uint32_t& size, bool& framing) override {
    prefix = &signature;
    size = 1;
    framing = false;
  }
};

template <char Signature>
class signature_codec : public ogg_comment_codec {
public:
  bool accepts(const void* packet, std::uint32_t size) override {
    return size > 0 && *static_cast<const char*>(packet) == Signature;
  }
  void create(service_ptr<ogg_comment_handler>& out) override {
    auto* handler = new service_counted<signature_handler>();
    handler->signature = Signature;
    out = handler;
  }
};

std::string u32_le(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

TEST(OggCommentCodec, FindsTheMappingOfAStreamAndRebuildsOnlyItsCommentPacket) {
  service_factory* list = nullptr;
  single_factory<signature_codec<'a'>> a(&list);
  single_factory<signature_codec<'b'>> b(&list);
  service_registry_table table;
  table.build(list);

  service_ptr<ogg_comment_handler> handler;
  EXPECT_THROW(ogg_codec::find_for_stream(handler, "zzz", 3, table), vantrel_io::exception_io_data);
  ogg_codec::find_for_stream(handler, "b-stream", 8, table);
  ASSERT_TRUE(handler);

  track_info_impl info;
  info.set_field("TITLE", 5, "t", 1);
  qiv::array<std::uint8_t> rebuilt;
  EXPECT_EQ(comment_packet_rebuild(*handler, "bident", 6, info, rebuilt), 0u);
  EXPECT_EQ(rebuilt.get_count(), 0u);

  const std::string old_packet = "b" + u32_le(1) + "v" + u32_le(1) + u32_le(40) + "TITLE=a much longer title than before...";
  EXPECT_EQ(comment_packet_rebuild(*handler, old_packet.data(), std::uint32_t(old_packet.size()), info, rebuilt),
            ogg_comment_handler::headers_complete);
  const std::string expected = "b" + u32_le(1) + "v" + u32_le(1) + u32_le(7) + "TITLE=t";
  ASSERT_EQ(rebuilt.get_count(), old_packet.size());  // padded to the old size
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(rebuilt.data()), expected.size()), expected);
}

}  // namespace
