// The service every input is built on: each opening goes to its own object
// with its own reason, and the landed inputs claim by extension and MIME type
// exactly what they claim.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "metadata/input_dispatch.h"
#include "metadata/track_info.h"
#include "playback/inputs/input_service.h"
#include "tests/io/io_test_support.h"

namespace {

struct opening {
  std::string object;
  open_reason reason = open_reason::info_read;
  bool had_file = false;
  std::string path;
};
opening last_opening;

template <class Interface>
class recorded_object : public Interface {
public:
  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal&) {
    last_opening = {name(), reason, static_cast<bool>(file), path};
  }
  std::uint32_t get_subsong_count() override { return 1; }
  std::uint32_t get_subsong(std::uint32_t) override { return 0; }
  void get_info(std::uint32_t, track_info&, const abort_signal&) override {}
  vantrel_io::file_stats get_file_stats(const abort_signal&) override { return {}; }
  static std::string name() { return std::is_same_v<Interface, info_writer> ? "writer" : "reader"; }
};

class recorded_writer : public recorded_object<info_writer> {
public:
  void set_info(std::uint32_t, const track_info&, const abort_signal&) override {}
  void commit(const abort_signal&) override {}
};

class recorded_decoder : public recorded_object<decoder_instance> {
public:
  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal&) {
    last_opening = {"decoder", reason, static_cast<bool>(file), path};
  }
  void initialize(std::uint32_t, std::uint32_t, const abort_signal&) override {}
  bool run(audio_block&, const abort_signal&) override { return false; }
  void seek(double, const abort_signal&) override {}
  bool can_seek() override { return false; }
  bool hint_a(std::uint32_t, std::uint32_t) override { return false; }
  bool get_dynamic_info(track_info&, double&) override { return false; }
  void on_idle(const abort_signal&) override {}
};

constexpr const char* test_extensions[] = {"tst", "Tx2"};
constexpr const char* test_mime_types[] = {"audio/x-test"};

class test_service : public input_service<recorded_decoder, recorded_object<info_reader>, recorded_writer> {
public:
  test_service() : input_service(test_extensions, test_mime_types) {}
};

TEST(InputService, EachOpeningMakesItsOwnObjectWithItsOwnReason) {
  service_ptr<test_service> made(new service_counted<test_service>());
  test_service& service = *made;
  decoder_instance_ptr decoder;
  service.open_for_decoding(decoder, nullptr, "a.tst", io_test::no_abort());
  EXPECT_TRUE(decoder);
  EXPECT_EQ("decoder", last_opening.object);
  EXPECT_EQ(open_reason::decode, last_opening.reason);
  EXPECT_EQ("a.tst", last_opening.path);
  EXPECT_FALSE(last_opening.had_file);

  info_reader_ptr reader;
  service.open_for_info_read(reader, nullptr, "b.tst", io_test::no_abort());
  EXPECT_TRUE(reader);
  EXPECT_EQ("reader", last_opening.object);
  EXPECT_EQ(open_reason::info_read, last_opening.reason);

  info_writer_ptr writer;
  service.open_for_info_write(writer, nullptr, "c.tst", io_test::no_abort());
  EXPECT_TRUE(writer);
  EXPECT_EQ("writer", last_opening.object);
  EXPECT_EQ(open_reason::info_write, last_opening.reason);
  EXPECT_EQ("c.tst", last_opening.path);
}

TEST(InputService, ClaimsItsExtensionsAndMimeTypesIgnoringCaseAndParameters) {
  service_ptr<test_service> made(new service_counted<test_service>());
  test_service& service = *made;
  EXPECT_TRUE(service.is_our_path("x.TST", "TST"));
  EXPECT_TRUE(service.is_our_path("x.tx2", "tx2"));
  EXPECT_FALSE(service.is_our_path("x.tst2", "tst2"));
  EXPECT_FALSE(service.is_our_path("x", ""));
  EXPECT_TRUE(service.is_our_content_type("Audio/X-Test; rate=8000"));
  EXPECT_FALSE(service.is_our_content_type("audio/x-test2"));
  EXPECT_EQ(0u, service.get_flags());
}

// How many registered inputs claim the path, or the content type.
std::uint32_t path_claimants(const char* path) {
  claimant_list list;
  input_dispatch::collect_by_path(list, path, false);
  return list.get_count();
}
std::uint32_t content_type_claimants(const char* mime_type) {
  claimant_list list;
  input_dispatch::collect_by_content_type(list, mime_type, false);
  return list.get_count();
}

TEST(LandedInputs, EachClaimsItsOwnExtensionsAlone) {
  io_test::build_registry();
  for (const char* path : {"a.flac", "a.FLA", "a.ogg", "a.Opus", "a.spx", "a.oga", "a.ogx", "a.ogv", "a.wav",
                           "a.WAVE", "a.w64", "a.rf64", "a.bwf", "a.wv", "a.mp3", "a.MP2", "a.mp1"})
    EXPECT_EQ(1u, path_claimants(path)) << path;
  for (const char* path : {"a.wvc", "a.mp4", "a.txt", "a", "a.flac.part"}) EXPECT_EQ(0u, path_claimants(path)) << path;
  EXPECT_EQ(1u, path_claimants("http://radio.example/live")) << "a stream address without a file name is MPEG";
}

TEST(LandedInputs, EachClaimsItsOwnMimeTypesUnderItsOwnRule) {
  io_test::build_registry();
  for (const char* type : {"audio/flac", "application/X-FLAC", "audio/ogg; codecs=opus", "application/x-ogg",
                           "audio/vnd.wave", "audio/X-WAV", "audio/wav; codecs=1", "audio/mpeg", "audio/x-mpg"})
    EXPECT_EQ(1u, content_type_claimants(type)) << type;
  // MPEG types match byte for byte, and WavPack claims no content type.
  for (const char* type : {"audio/MPEG", "audio/mpeg; layer=3", "audio/x-wavpack", "audio/wavpack", "text/plain"})
    EXPECT_EQ(0u, content_type_claimants(type)) << type;
}

}  // namespace
