// Reading a Matroska file's structure: the header check, the map of the
// Segment by scanning and SeekHeads, and the metadata elements.
#include "inputs/matroska/matroska_file_scan.h"

#include <gtest/gtest.h>

#include <limits>

#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"
#include "tests/inputs/matroska/matroska_test_files.h"
#include "tests/inputs/matroska/matroska_test_open.h"

using namespace Matroska;
using namespace matroska_test;

namespace {

struct opened {
  explicit opened(const std::string& bytes) : reader(memory_file(bytes), never_raised_abort_signal()) {
    chosen = read_file(state, reader);
  }
  ebml_file_reader reader;
  matroska_file_state state;
  matroska_track_ptr chosen;
};

std::string open_error(const std::string& bytes) {
  try {
    opened file(bytes);
    return "";
  } catch (const vantrel_io::exception_io_data& e) {
    return e.what();
  }
}

const std::string corrupted = "Unsupported format or corrupted file";

}  // namespace

TEST(MatroskaHeader, DocTypeAndReadVersionsAreChecked) {
  const std::string body = el(0x18538067, info() + tracks(), 8);
  EXPECT_EQ(open_error(header("matroska") + body), "");
  EXPECT_EQ(open_error(header("webm") + body), "");
  EXPECT_EQ(open_error(header("Matroska") + body), "Unsupported document type: \"Matroska\"");
  EXPECT_EQ(open_error(header("mkv") + body), "Unsupported document type: \"mkv\"");
  EXPECT_EQ(open_error(header("matroska", 2) + body), corrupted);
  EXPECT_EQ(open_error(header("matroska", 1, 3) + body), corrupted);
}

TEST(MatroskaHeader, TopLevelNeedsOneHeaderAndOneSegment) {
  const std::string segment = el(0x18538067, info() + tracks(), 8);
  EXPECT_EQ(open_error(std::string(100, 'j') + header() + segment), "");
  EXPECT_EQ(open_error(header() + segment + segment), corrupted);
  EXPECT_EQ(open_error(header() + header() + segment), corrupted);
  EXPECT_EQ(open_error(header()), corrupted);
  EXPECT_EQ(open_error(std::string(50, 'j')), corrupted);
  // The one-byte unknown size never fits what is left of the file.
  EXPECT_EQ(open_error(header() + "\x18\x53\x80\x67\xFF" + info() + tracks()), corrupted);
}

TEST(MatroskaScan, WithoutSeekHeadEveryElementIsMappedUntilTheFourAreSeen) {
  const std::string before = header() + el(0x18538067, "", 8);
  const std::string children = info() + tracks() + cluster(0) + cluster(1000) + el(0x1C53BB6B, cue(0, 1, 0)) +
                               el(0x1043A770, el(0x45B9, chapter(7, 0))) + el(0x1254C367, "");
  opened file(header() + el(0x18538067, children, 8));
  const auto& scan = file.state.scan;
  EXPECT_EQ(scan.segment_data_start, before.size());
  EXPECT_EQ(scan.segment_data_size, children.size());
  EXPECT_EQ(scan.positions_of(ids::cluster).size(), 2u);
  EXPECT_EQ(*scan.positions_of(ids::info).begin(), before.size());
  // Tags after the last of the four are never reached.
  EXPECT_FALSE(scan.knows(ids::tags));
  EXPECT_EQ(file.state.cues.size(), 1u);
  EXPECT_EQ(file.state.chapters.size(), 1u);
}

TEST(MatroskaScan, SeekHeadsAreFollowedOnceEachAndLoopsEnd) {
  // SeekHead 1 (first) -> Info, Tracks, SeekHead 2 (last) -> Tags, SeekHead 1.
  const std::string tags = el(0x1254C367, "");
  std::string middle = info() + tracks() + cluster(0) + tags;
  auto build = [&](std::uint64_t second_at, std::uint64_t info_at, std::uint64_t tags_at) {
    const std::string first = el(0x114D9B74, seek_entry(0x1549A966, info_at) + seek_entry(0x1654AE6B, info_at + info().size()) +
                                                 seek_entry(0x114D9B74, second_at));
    const std::string second = el(0x114D9B74, seek_entry(0x1254C367, tags_at) + seek_entry(0x114D9B74, 0));
    return first + middle + second;
  };
  const std::string probe = build(0, 0, 0);
  const std::uint64_t first_size = probe.size() - middle.size() - el(0x114D9B74, seek_entry(0x1254C367, 0) + seek_entry(0x114D9B74, 0)).size();
  const std::string content = build(first_size + middle.size(), first_size, first_size + middle.size() - tags.size());
  opened file(header() + el(0x18538067, content, 8));
  const auto& scan = file.state.scan;
  EXPECT_EQ(scan.positions_of(ids::seek_head).size(), 2u);
  EXPECT_EQ(scan.seekheads_read, scan.positions_of(ids::seek_head));
  EXPECT_TRUE(scan.knows(ids::tags));
  // The scan stopped at the first SeekHead: clusters stay unmapped.
  EXPECT_FALSE(scan.knows(ids::cluster));
}

TEST(MatroskaScan, SeekEntriesMustBeWholeAndInsideTheSegment) {
  auto with_seekhead = [](const std::string& entry) {
    return header() + el(0x18538067, el(0x114D9B74, entry) + info() + tracks(), 8);
  };
  EXPECT_EQ(open_error(with_seekhead(el(0x4DBB, el(0x53AB, id_bytes(0x1549A966))))), corrupted);
  EXPECT_EQ(open_error(with_seekhead(el(0x4DBB, el(0x53AB, id_bytes(0x1549A966) + "x") + el(0x53AC, be(0, 4))))),
            corrupted);
  EXPECT_EQ(open_error(with_seekhead(seek_entry(0x1549A966, 100000))), corrupted);
  // A listed position that holds another element fails when it is read.
  EXPECT_EQ(open_error(with_seekhead(seek_entry(0x1549A966, 0) + seek_entry(0x1654AE6B, 0))), corrupted);
}

TEST(MatroskaTracks, RecordsAndTheTrackChoice) {
  const std::string entries = track(1, 1) + track(2) + track(3, 2, uint_el(0x88, 1)) + track(4, 2, uint_el(0x55AA, 1)) +
                              track(5, 2, uint_el(0x55AA, 1));
  opened file(minimal_file(info() + tracks(entries)));
  ASSERT_EQ(file.state.tracks.size(), 5u);
  const auto& second = *file.state.tracks[1];
  EXPECT_EQ(second.uid, 1002u);
  EXPECT_EQ(second.codec_id, "A_FLAC");
  EXPECT_EQ(second.audio.sampling_frequency, 44100.0);
  EXPECT_EQ(second.audio.channels, 2u);
  EXPECT_EQ(second.audio.bit_depth, 16u);
  EXPECT_FALSE(second.enabled || second.is_default || second.forced);
  EXPECT_EQ(file.chosen->number, 4u);
  EXPECT_EQ(opened(minimal_file(info() + tracks(track(1) + track(2, 2, uint_el(0x88, 1))))).chosen->number, 2u);
  EXPECT_EQ(opened(minimal_file(info() + tracks(track(1, 1) + track(2)))).chosen->number, 2u);
  EXPECT_EQ(opened(minimal_file(info() + tracks(track(1, 1)))).chosen, nullptr);
}

TEST(MatroskaTracks, EntryChecks) {
  EXPECT_EQ(open_error(minimal_file(info() + tracks(""))), corrupted);
  EXPECT_EQ(open_error(minimal_file(info() + tracks(el(0xAE, uint_el(0xD7, 1) + uint_el(0x83, 2) + audio())))),
            corrupted);
  EXPECT_EQ(open_error(minimal_file(info() + tracks(el(0xAE, uint_el(0x73C5, 1) + uint_el(0x83, 2))))), corrupted);
  EXPECT_EQ(open_error(minimal_file(info() + tracks(track(1, 2, audio()))) ), corrupted);
  EXPECT_EQ(open_error(minimal_file(info(2000.0, 0) + tracks())), corrupted);
  // A crafted CodecPrivate may not ask for more than the cap.
  const std::string huge_private = id_bytes(0x63A2) + size_bytes(std::uint64_t{ebml_max_binary_size} + 1);
  EXPECT_EQ(open_error(minimal_file(info() + tracks(track(1, 2, huge_private)))), corrupted);
}

TEST(MatroskaTracks, ContentEncodingsDecodeThePrivateData) {
  auto encoding = [](std::uint64_t order, std::uint64_t scope, const std::string& settings, std::uint64_t type = 0,
                     std::uint64_t algorithm = 3) {
    return el(0x6240, uint_el(0x5031, order) + uint_el(0x5032, scope) + uint_el(0x5033, type) +
                          el(0x5034, uint_el(0x4254, algorithm) + el(0x4255, settings)));
  };
  const std::string encodings =
      el(0x6D80, encoding(0, 2, "A") + encoding(1, 3, "B") + encoding(1, 2, "lost") + encoding(2, 1, "frame-only") +
                     encoding(3, 2, "", 2));
  opened file(minimal_file(info() + tracks(track(1, 2, el(0x63A2, "priv") + encodings))));
  const auto& stripped = file.state.tracks[0]->codec_private;
  EXPECT_EQ(std::string(stripped.begin(), stripped.end()), "ABpriv");
  EXPECT_EQ(file.state.tracks[0]->encodings.size(), 4u);

  EXPECT_EQ(open_error(minimal_file(info() + tracks(track(1, 2, el(0x6D80, encoding(0, 4, "A")))))), corrupted);
  EXPECT_EQ(open_error(minimal_file(info() + tracks(track(1, 2, el(0x6D80, encoding(0, 2, "", 1)))))), corrupted);
  EXPECT_EQ(open_error(minimal_file(info() + tracks(track(1, 2, el(0x6D80, encoding(0, 2, "", 0, 0)))))), corrupted);
  // Compressed frames leave the private data, and so opening, alone.
  EXPECT_EQ(open_error(minimal_file(info() + tracks(track(1, 2, el(0x6D80, encoding(0, 1, "", 0, 0)))))), "");
}

TEST(MatroskaTracks, UnusableRatesAndDurationsBecomeUnknown) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  for (double rate : {nan, infinity, -44100.0, 0.5, 0x1p32}) {
    opened file(minimal_file(info() + tracks(el(0xAE, uint_el(0xD7, 1) + uint_el(0x73C5, 9) + uint_el(0x83, 2) +
                                                          audio(rate)))));
    EXPECT_EQ(file.state.tracks[0]->audio.sampling_frequency, 0.0) << rate;
  }
  for (double duration : {nan, infinity, -1.0, 1e300}) {
    opened file(minimal_file(info(duration) + tracks()));
    EXPECT_EQ(file.state.info.duration, 0.0) << duration;
  }
  EXPECT_EQ(opened(minimal_file(info(1234.5) + tracks())).state.info.duration, 1234.5);
}

TEST(MatroskaChapters, VisibleEditionsGiveTheChapterList) {
  const std::string editions =
      el(0x45B9, uint_el(0x45BC, 1) + chapter(11, 0, chapter_title("One") + chapter_title("ignored")) +
                     chapter(12, 1000, el(0x80, "") + chapter_title("ignored"))) +
      el(0x45B9, uint_el(0x45BD, 1) + chapter(21, 0)) + el(0x45B9, chapter(31, 5, uint_el(0x92, 6) + uint_el(0x98, 1)));
  opened file(minimal_file(info() + tracks() + el(0x1043A770, editions)));
  ASSERT_EQ(file.state.chapters.size(), 3u);
  EXPECT_EQ(file.state.editions.size(), 3u);
  EXPECT_EQ(file.state.chapters[0].title, "One");
  EXPECT_EQ(file.state.chapters[1].title, "");
  EXPECT_EQ(file.state.chapters[1].end, matroska_unset);
  EXPECT_EQ(file.state.chapters[2].uid, 31u);
  EXPECT_TRUE(file.state.chapters[2].hidden);

  auto chapters_error = [](const std::string& content) {
    return open_error(minimal_file(info() + tracks() + el(0x1043A770, content)));
  };
  EXPECT_EQ(chapters_error(el(0x45B9, chapter(1, 5, uint_el(0x92, 5)))), corrupted);
  EXPECT_EQ(chapters_error(el(0x45B9, el(0xB6, uint_el(0x91, 0)))), corrupted);
  EXPECT_EQ(chapters_error(el(0x45B9, uint_el(0x45BC, 1) + uint_el(0x45BC, 2))), corrupted);
  EXPECT_EQ(open_error(minimal_file(info() + tracks() + el(0x1043A770, "") + el(0x1043A770, ""))), corrupted);
}

TEST(MatroskaCues, OnlyTheChosenTracksPositionsAreKept) {
  const std::string cues = el(0x1C53BB6B, cue(0, 1, 100) + cue(0, 2, 200) + cue(50, 2, 300) + cue(50, 1, 400) +
                                               cue(50, 1, 500) + el(0xBB, uint_el(0xB3, 90)));
  opened file(minimal_file(info() + tracks(track(1, 1) + track(2)) + cues));
  EXPECT_EQ(file.state.cues, (matroska_cue_map{{0, 200}, {50, 300}}));
  EXPECT_EQ(open_error(minimal_file(info() + tracks() + el(0x1C53BB6B, el(0xBB, el(0xB7, uint_el(0xF7, 1)))))),
            corrupted);
}

TEST(MatroskaAttachments, NamesTypesAndWhereTheDataLies) {
  const std::string attached = el(0x61A7, el(0x466E, "cover.jpg") + el(0x4660, "image/jpeg") + el(0x465C, "JPEGDATA"));
  const std::string before = header() + el(0x18538067, "", 8) + info() + tracks();
  opened file(minimal_file(info() + tracks() + el(0x1941A469, attached) + el(0x1941A469, attached)));
  ASSERT_EQ(file.state.attachments.size(), 2u);
  const auto& first = file.state.attachments[0];
  EXPECT_EQ(first.file_name, "cover.jpg");
  EXPECT_EQ(first.mime_type, "image/jpeg");
  EXPECT_EQ(first.data_size, 8u);
  // Attachments and AttachedFile headers, FileName, FileMimeType, FileData header.
  EXPECT_EQ(first.data_position, before.size() + 5 + 3 + 12 + 13 + 3);

  const auto data = matroska_read_attachment_data(file.reader, first);
  EXPECT_EQ(std::string(data.begin(), data.end()), "JPEGDATA");

  auto attachment_error = [](const std::string& content) {
    return open_error(minimal_file(info() + tracks() + el(0x1941A469, el(0x61A7, content))));
  };
  EXPECT_EQ(attachment_error(el(0x466E, "a") + el(0x466E, "b") + el(0x465C, "x")), corrupted);
  EXPECT_EQ(attachment_error(el(0x466E, "a")), corrupted);
  EXPECT_EQ(attachment_error(el(0x4660, "image/png") + el(0x465C, "x")), corrupted);
  EXPECT_EQ(attachment_error(el(0x466E, "a") + el(0x465C, "x") + el(0x465C, "y")), corrupted);
  EXPECT_EQ(attachment_error(el(0x466E, "a") + el(0x4660, "") + el(0x465C, "x")), corrupted);
}

TEST(MatroskaAttachments, DataAboveTheCapIsADataError) {
  const std::string big(ebml_max_binary_size + 1, 'p');
  const std::string attached = el(0x61A7, el(0x466E, "poster.png") + el(0x4660, "image/png") + el(0x465C, big));
  opened file(minimal_file(info() + tracks() + el(0x1941A469, attached)));
  ASSERT_EQ(file.state.attachments.size(), 1u);
  EXPECT_THROW(matroska_read_attachment_data(file.reader, file.state.attachments[0]), vantrel_io::exception_io_data);
}
