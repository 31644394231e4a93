// The reading core on crafted bytes: box headers, bounded readers, the
// top-level scan and streams that cannot seek.
#include <gtest/gtest.h>

#include "inputs/mp4/box_header.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/mp4_atom_reader.h"
#include "inputs/mp4/mp4_stream_adapter.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "io/io_exceptions.h"
#include "tests/inputs/mp4/mp4_test_boxes.h"

using namespace mp4_test;

namespace {

// A file object over memory that, like a network stream, only reads forward.
class forward_only_file : public vantrel_io::file_object {
public:
  explicit forward_only_file(const bytes& data) : data_(data) {}
  std::uint32_t read(void* buffer, std::uint32_t n, const abort_signal&) override {
    const std::size_t left = data_.size() - at_;
    if (n > left) n = static_cast<std::uint32_t>(left);
    data_.copy(static_cast<char*>(buffer), n, at_);
    at_ += n;
    return n;
  }
  void write(const void*, std::uint32_t, const abort_signal&) override { qiv::throw_not_implemented(); }
  std::uint64_t get_size(const abort_signal&) override { return data_.size(); }
  std::uint64_t get_position(const abort_signal&) override { return at_; }
  void resize(std::uint64_t, const abort_signal&) override { qiv::throw_not_implemented(); }
  void seek(std::uint64_t, const abort_signal&) override { throw vantrel_io::exception_io_object_not_seekable(); }
  bool can_seek() override { return false; }
  bool get_mime_type(qiv::string_object&) override { return false; }
  bool is_memory_backed() override { return true; }
  void check_abort(const abort_signal&) override {}
  std::uint64_t get_timestamp(const abort_signal&) override { return 0; }
  bool is_remote() override { return true; }
  std::size_t consumed() const { return at_; }

private:
  bytes data_;
  std::size_t at_ = 0;
};

std::string open_forward_only(const bytes& data, std::size_t* consumed = nullptr) {
  auto* raw = new service_counted<forward_only_file>(data);
  vantrel_io::file_ptr file = raw;
  tarnex::mp4_stream_adapter in(file, never_raised_abort_signal());
  tarnex::mp4_file model;
  std::string error;
  try {
    tarnex::mp4_open_file(model, in, reading_options, false);
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (consumed) *consumed = raw->consumed();
  return error;
}

bool header_of(const bytes& data, tarnex::box_header& out) {
  tarnex::memory_stream in(data.data(), data.size());
  return tarnex::read_box_header(in, out);
}

}  // namespace

TEST(Mp4BoxHeader, SizeFormsAndEndsOfTheSequence) {
  tarnex::box_header header;
  ASSERT_TRUE(header_of(be32(1) + "free" + be64(16), header));
  EXPECT_EQ(header.content_size, 0u);
  EXPECT_EQ(header.header_size, 16u);
  ASSERT_TRUE(header_of(be32(12) + "free" + "abcd", header));
  EXPECT_EQ(header.type, tarnex::fourcc("free"));
  EXPECT_EQ(header.content_size, 4u);
  EXPECT_FALSE(header_of(be32(0) + "free", header)) << "size 0 ends the boxes";
  EXPECT_FALSE(header_of(be32(7) + "free", header)) << "a size below its own header";
  EXPECT_FALSE(header_of(be32(8) + bytes("fr\x1f" "e", 4), header)) << "a control byte in the type";
  EXPECT_FALSE(header_of(be32(8) + "fre", header)) << "fewer than 8 bytes";
  EXPECT_FALSE(header_of(be32(1) + "free" + be32(0), header)) << "a cut 64-bit size";
}

TEST(Mp4BoxHeader, ChildLargerThanItsParentIsRefused) {
  // The track box claims 4 bytes more than the movie box has left; one that
  // claims more than even its header could account for is no header.
  EXPECT_EQ(open_error(ftyp() + box("moov", mvhd(1000, 93) + be32(32) + "trak" + bytes(20, '\0'))),
            "invalid or incomplete data");
  EXPECT_EQ(open_error(ftyp() + box("moov", mvhd(1000, 93) + be32(12) + "tr")), "invalid box/atom header");
}

TEST(Mp4AtomReader, StaysInsideItsBox) {
  const bytes data = "0123456789";
  tarnex::memory_stream parent(data.data(), data.size());
  tarnex::mp4_atom_reader box(parent, 4);
  char buffer[8];
  EXPECT_EQ(box.read(buffer, 8), 4u);
  EXPECT_EQ(parent.position(), 4u);
  tarnex::mp4_atom_reader next(parent, 3);
  EXPECT_THROW(next.read_exact(buffer, 4), tarnex::exception);
  EXPECT_THROW(next.skip_exact(4), tarnex::exception);
  EXPECT_THROW(next.check_remaining(4), tarnex::exception_truncation);
  EXPECT_EQ(next.skip(10), 3u);
  EXPECT_EQ(parent.position(), 7u);
}

TEST(Mp4TopLevelScan, MovieBoxIsRequiredOnceAndEnoughAlone) {
  EXPECT_EQ(open_error(ftyp() + box("moov", mvhd(1000, 93) + simple_track())), "") << "ends right after moov";
  EXPECT_EQ(open_error(ftyp() + box("mdat", "xx")), "moov box not found");
  EXPECT_EQ(open_error(simple_file() + box("moov", mvhd(1000, 93))), "duplicate moov box");
  EXPECT_EQ(open_error(ftyp() + box("moov", simple_track())), "invalid or missing mvhd data");
  // An ID3v1 tag appended to the file is not a box.
  EXPECT_EQ(open_error(simple_file() + "TAG" + bytes(125, 'x')), "");
  tarnex::mp4_file file;
  open_bytes(file, simple_file());
  EXPECT_EQ(file.moov_offset, ftyp().size());
  EXPECT_EQ(file.moov_size, box("moov", mvhd(1000, 93) + simple_track()).size());
  EXPECT_EQ(file.total_size, simple_file().size());
}

TEST(Mp4TopLevelScan, StreamsReadOnlyUpToTheMediaData) {
  const bytes optimised = ftyp() + box("moov", mvhd(1000, 93) + simple_track()) + box("mdat", bytes(5000, 'x'));
  std::size_t consumed = 0;
  EXPECT_EQ(open_forward_only(optimised, &consumed), "");
  EXPECT_LT(consumed, optimised.size() - 4000) << "the media data is not read";
  EXPECT_EQ(open_forward_only(simple_file().substr(0, ftyp().size()) + box("mdat", "xx") +
                              box("moov", mvhd(1000, 93) + simple_track())),
            "attempting to stream a non-optimized file");
}

TEST(Mp4StreamAdapter, ForwardSeeksReadAndBackwardSeeksFail) {
  vantrel_io::file_ptr file = new service_counted<forward_only_file>(bytes(1000, 'x'));
  tarnex::mp4_stream_adapter in(file, never_raised_abort_signal());
  in.seek(300);
  EXPECT_EQ(in.position(), 300u);
  try {
    in.seek(100);
    FAIL() << "a backward seek must fail";
  } catch (const tarnex::exception& e) {
    EXPECT_STREQ(e.what(), "stream seeking error");
  }
  EXPECT_THROW(in.check_remaining(701), tarnex::exception_truncation);
  EXPECT_EQ(in.skip(5000), 700u);
}
