// The EBML element layer: headers, scopes, the child loop and typed values
// with their limits.
#include "inputs/matroska/ebml_elements.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/ebml_file_reader.h"
#include "io/io_exceptions.h"
#include "tests/inputs/matroska/ebml_test_bytes.h"

using namespace Matroska;
using namespace ebml_test;

namespace {

struct reading {
  explicit reading(const std::string& bytes) : reader(memory_file(bytes), never_raised_abort_signal()) {}
  ebml_file_reader reader;
};

// Records the children it is handed; `body` may read some of each.
class recording_handler : public ebml_element_handler {
public:
  std::vector<std::pair<std::uint32_t, std::uint64_t>> seen;
  std::vector<std::uint64_t> starts;
  std::function<void(std::uint32_t, std::uint64_t, ebml_reader&)> body;
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    seen.emplace_back(id, size);
    starts.push_back(element_start);
    if (body) body(id, size, reader);
  }
};

template <typename Value>
Value value_of(const std::string& content, Value (*read)(ebml_reader&, std::uint64_t)) {
  reading r(content);
  return read(r.reader, content.size());
}

template <typename Value>
bool value_fails(const std::string& content, Value (*read)(ebml_reader&, std::uint64_t)) {
  try {
    value_of(content, read);
    return false;
  } catch (const vantrel_io::exception_io_data&) {
    return true;
  }
}

}  // namespace

TEST(EbmlElements, IdsKeepTheirBytesWithoutTheLengthMarker) {
  reading r("\xEC\x1A\x45\xDF\xA3\x42\x82");
  EXPECT_EQ(ebml_read_id(r.reader), 0x6Cu);
  EXPECT_EQ(ebml_read_id(r.reader), 0x0A45DFA3u);
  EXPECT_EQ(ebml_read_id(r.reader), 0x0282u);
  reading five(std::string("\x08\x01\x02\x03\x04", 5));
  EXPECT_THROW(ebml_read_id(five.reader), vantrel_io::exception_io_data);
}

TEST(EbmlElements, SizesUpToEightBytesAndOnlyTheOneByteUnknownMarker) {
  reading r(cat({"\x81", "\x40\x02", std::string("\x01\x00\x00\x00\x00\x00\x01\x00", 8), "\xFF", "\x7F\xFF"}));
  EXPECT_EQ(ebml_read_size(r.reader), 1u);
  EXPECT_EQ(ebml_read_size(r.reader), 2u);
  EXPECT_EQ(ebml_read_size(r.reader), 256u);
  EXPECT_EQ(ebml_read_size(r.reader), ebml_unknown_size);
  EXPECT_EQ(ebml_read_size(r.reader), 0x3FFFu);
  reading ninth(std::string("\x00\x01", 2));
  EXPECT_THROW(ebml_read_size(ninth.reader), vantrel_io::exception_io_data);
}

TEST(EbmlElements, ChildLoopSkipsWhatHandlersLeaveAndRestoresTheScope) {
  // A master of two children, the first read halfway, then a sibling.
  const std::string file = el(0x1A45DFA3, el(0x4282, "abcd") + el(0x4285, "\x02")) + el(0xEC, "xy");
  reading r(file);
  recording_handler outer;
  recording_handler inner;
  inner.body = [](std::uint32_t, std::uint64_t, ebml_reader& reader) {
    char half[2];
    if (reader.remaining() == 4) reader.read(half, 2);
  };
  outer.body = [&](std::uint32_t id, std::uint64_t, ebml_reader& reader) {
    if (id == 0x0A45DFA3) ebml_read_children(reader, inner);
  };
  ebml_read_children(r.reader, outer);
  EXPECT_TRUE(outer.done && inner.done);
  EXPECT_EQ(outer.seen.size(), 2u);
  EXPECT_EQ(outer.starts, (std::vector<std::uint64_t>{0, file.size() - 4}));
  EXPECT_EQ(inner.seen, (std::vector<std::pair<std::uint32_t, std::uint64_t>>{{0x0282, 4}, {0x0285, 1}}));
  EXPECT_EQ(inner.starts, (std::vector<std::uint64_t>{5, 12}));
  EXPECT_TRUE(r.reader.at_end());
}

TEST(EbmlElements, ElementsLargerThanTheirParentFailAndTheScopeIsRestored) {
  // The unknown-size marker never fits what is left of a file.
  for (const std::string& file : {el(0x18538067, "") .substr(0, 4) + "\xFF" + "abc",
                                  el(0x1A45DFA3, el(0x4282, "abcd")).replace(7, 1, "\x86")}) {
    reading r(file);
    recording_handler inner;
    recording_handler outer;
    outer.body = [&](std::uint32_t, std::uint64_t, ebml_reader& reader) { ebml_read_children(reader, inner); };
    EXPECT_THROW(ebml_read_children(r.reader, outer), vantrel_io::exception_io_data);
  }
  reading r(el(0x1A45DFA3, "abc") + "12");
  recording_handler failing;
  failing.body = [](std::uint32_t, std::uint64_t, ebml_reader& reader) {
    char bytes[4];
    reader.read(bytes, 4);
  };
  EXPECT_THROW(ebml_read_children(r.reader, failing), vantrel_io::exception_io_data);
  EXPECT_EQ(r.reader.position() + r.reader.remaining(), 10u);
}

TEST(EbmlElements, OnceOnlyElementsAndExpectedIds) {
  const std::string header = el(0x1A45DFA3, el(0x4282, "webm"));
  reading r(header + header);
  recording_handler once;
  recording_handler top;
  top.body = [&](std::uint32_t, std::uint64_t, ebml_reader& reader) { ebml_read_children_once(reader, once); };
  EXPECT_THROW(ebml_read_children(r.reader, top), vantrel_io::exception_io_data);
  EXPECT_EQ(once.seen.size(), 1u);

  reading direct(header);
  recording_handler handler;
  EXPECT_THROW(ebml_read_element(direct.reader, handler, 0x08538067), vantrel_io::exception_io_data);
  direct.reader.seek(0);
  ebml_read_element(direct.reader, handler, 0x0A45DFA3);
  EXPECT_EQ(direct.reader.position(), header.size());
}

TEST(EbmlElements, HeaderSearchSkipsJunkWithoutTheMarkerByte) {
  reading junk(std::string(100, 'j') + el(0x1A45DFA3, ""));
  ebml_find_header(junk.reader);
  EXPECT_EQ(junk.reader.position(), 100u);
  reading distant(std::string(3000, '\0') + "\x1A");
  ebml_find_header(distant.reader);
  EXPECT_EQ(distant.reader.position(), 3000u);
  reading none(std::string(2500, 'j'));
  EXPECT_THROW(ebml_find_header(none.reader), vantrel_io::exception_io_data);
}

TEST(EbmlValues, IntegersNeedOneToEightBytesAndTheirRange) {
  EXPECT_EQ(value_of(be(5, 8), ebml_read_uint32), 5u);
  EXPECT_EQ(value_of(be(0x0102030405060708, 8), ebml_read_uint), 0x0102030405060708u);
  EXPECT_TRUE(value_fails(be(std::uint64_t{1} << 32, 8), ebml_read_uint32));
  EXPECT_TRUE(value_fails("", ebml_read_uint));
  EXPECT_TRUE(value_fails(std::string(9, '\1'), ebml_read_uint));
  EXPECT_TRUE(value_fails(be(0, 2), ebml_read_uint_nonzero));
  EXPECT_TRUE(value_of(be(0x100, 2), ebml_read_bool));
}

TEST(EbmlValues, FloatsAreSingleOrDouble) {
  EXPECT_EQ(value_of(be(0x3FC00000, 4), ebml_read_float), 1.5);
  EXPECT_EQ(value_of(be(0x40E5888000000000, 8), ebml_read_float), 44100.0);
  EXPECT_TRUE(value_fails(be(0x3FC0, 2), ebml_read_float));
}

TEST(EbmlValues, TextsEndAtNulAndMustBeClean) {
  EXPECT_EQ(value_of(std::string("matroska\0\0\0", 11), ebml_read_ascii), "matroska");
  EXPECT_TRUE(value_fails(std::string("matr\0oska", 9), ebml_read_ascii));
  EXPECT_TRUE(value_fails("tab\there", ebml_read_ascii));
  EXPECT_EQ(value_of("K\xC3\xA4se", ebml_read_utf8), "K\xC3\xA4se");
  EXPECT_TRUE(value_fails("K\xC3", ebml_read_utf8));
  EXPECT_TRUE(value_fails(std::string("a\0b", 3), ebml_read_utf8));
}

TEST(EbmlValues, ByteStringsAboveTheCapFailBeforeAnyRead) {
  reading r("abc");
  EXPECT_EQ(ebml_read_binary(r.reader, 3), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
  reading short_file("abc");
  EXPECT_THROW(ebml_read_binary(short_file.reader, 4), vantrel_io::exception_io_data);
  EXPECT_THROW(ebml_read_binary(short_file.reader, std::uint64_t{ebml_max_binary_size} + 1), vantrel_io::exception_io_data);
  EXPECT_THROW(ebml_read_utf8(short_file.reader, std::uint64_t{1} << 33), vantrel_io::exception_io_data);
  EXPECT_EQ(short_file.reader.position(), 0u);
}
