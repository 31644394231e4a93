// The properties tab's rows over a selection: what is summed, averaged,
// listed with shares or left out when the tracks differ.
#include "properties/technical_info_rows.h"

#include <gtest/gtest.h>

#include <map>

#include "core/localized_text.h"
#include "core/service_registry.h"
#include "io/file_scheme.h"
#include "metadata/track_handle_registry.h"
#include "properties/info_row_collector.h"

namespace {

struct track_case {
  const char* path;
  std::uint32_t subsong;
  double length;
  std::map<std::string, std::string> techs;
  std::uint64_t size = 1000;
  replaygain_info gain = {};
};

class technical_rows : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    // Display paths come from the "file://" handler, as in the player.
    vantrel_io::file_scheme_handler();
    service_registry::table().build(service_factory::global_list_head);
    for (const auto& [id, text] : std::map<std::string, std::string>{
             {"properties_group_location", "Location"},     {"properties_group_general", "General"},
             {"properties_group_replaygain", "ReplayGain"}, {"properties_info_format", "Format"},
             {"properties_info_filepath", "File path"},      {"properties_info_subsong", "Subsong index"},
             {"properties_info_filename", "File name"},      {"properties_info_filenames", "File names"},
             {"properties_info_filesize", "File size"},      {"properties_info_totalfilesize", "Total size"},
             {"properties_info_bytes_suffix", "({bytes} bytes)"},
             {"properties_info_replaygain_track", "Track"},  {"properties_info_replaygain_album", "Album"},
             {"properties_info_duration", "Duration"},
             {"properties_info_duration_samples_suffix", "({samples} samples)"}})
      localized_text::set(id.c_str(), text.c_str());
  }

  // The rows as "group|name" -> value.
  std::map<std::string, std::string> rows(const std::vector<track_case>& cases) {
    track_handle_list tracks;
    service_ptr<info_cache> cache = info_cache::create();
    for (const track_case& track : cases) {
      tracks.push_back(track_handle_registry::get_handle(track_location(track.path, track.subsong)));
      track_info_impl info;
      info.set_length(track.length);
      info.set_replaygain(track.gain);
      for (const auto& [name, value] : track.techs)
        info.set_tech(name.c_str(), track_info::until_nul, value.c_str(), track_info::until_nul);
      vantrel_io::file_stats stats;
      stats.size = track.size;
      cache->on_info(tracks.back(), info, stats);
    }
    info_row_collector collector;
    provider()->list_rows(tracks, *cache, collector);
    std::map<std::string, std::string> out;
    for (const std::string& group : collector.ordered_groups({}))
      for (const auto& row : collector.rows_of(group)) out[group + "|" + row.name] = row.value;
    return out;
  }

  static service_ptr<properties_info_provider> provider() {
    return service_list_t<properties_info_provider>()[0];
  }
};

TEST_F(technical_rows, AnEmptySelectionGivesOnlyAnEmptyFormatRow) {
  const auto out = rows({});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out.at("General|Format"), "");
}

TEST_F(technical_rows, SubsongsOfOneFileShowThePathTheIndicesAndTheFileOnce) {
  const auto single = rows({{"file://C:\\m\\a.flac", 0, 10, {}}});
  EXPECT_EQ(single.count("Location|Subsong index"), 0u);
  EXPECT_EQ(single.at("Location|File size"), "1000 B");

  const auto two = rows({{"file://C:\\m\\a.flac", 0, 10, {}, 2048}, {"file://C:\\m\\a.flac", 1, 10, {}, 2048}});
  EXPECT_EQ(two.at("Location|Subsong index"), "0, 1");
  EXPECT_EQ(two.at("Location|File path"), "C:\\m\\a.flac");
  EXPECT_EQ(two.at("Location|Total size"), "2 KB (2 048 bytes)");
  EXPECT_EQ(two.at("Location|File name"), "a.flac");

  const auto apart = rows({{"file://C:\\m\\a.flac", 0, 10, {}}, {"file://C:\\n\\b?x.flac", 0, 10, {}}});
  EXPECT_EQ(apart.count("Location|File path"), 0u);
  EXPECT_EQ(apart.at("Location|File names"), "a.flac, b") << "a name is cut at '?'";
}

TEST_F(technical_rows, DifferingValuesAreListedWithTheirShareOfTheSelection) {
  const auto codecs = rows({{"file://C:\\a.mp3", 0, 60, {{"codec", "MP3"}}},
                            {"file://C:\\b.mp3", 0, 60, {{"codec", "MP3"}}},
                            {"file://C:\\c.flac", 0, 60, {{"codec", "FLAC"}}}});
  EXPECT_EQ(codecs.at("General|Format"), "MP3 (66.7%); FLAC (33.3%)");

  const auto missing = rows({{"file://C:\\a.mp3", 0, 60, {{"codec", "MP3"}}},
                             {"file://C:\\b.mp3", 0, 60, {{"codec", "MP3"}}},
                             {"file://C:\\c.x", 0, 60, {}}});
  EXPECT_EQ(missing.at("General|Format"), "MP3 (66.7%)");

  // No lengths: counted per track; equal shares in letter order; values
  // that differ only in case are both kept.
  const auto counted = rows({{"file://C:\\a", 0, 0, {{"codec", "b"}}},
                             {"file://C:\\b", 0, 0, {{"codec", "A"}}},
                             {"file://C:\\c", 0, 0, {{"codec", "a"}}}});
  EXPECT_EQ(counted.at("General|Format"), "A (33.3%); a (33.3%); b (33.3%)");
}

TEST_F(technical_rows, TheFormatLineNamesChannelsAndAveragesBitrates) {
  const auto stereo = rows({{"file://C:\\a", 0, 60, {{"channels", "2"}, {"samplerate", "44100"}}},
                            {"file://C:\\b", 0, 30, {{"channels", "2"}, {"samplerate", "44100"}}}});
  EXPECT_EQ(stereo.at("General|Format"), "stereo / 44100 Hz");
  EXPECT_EQ(stereo.at("General|Duration"), "1:30.000 (3969000 samples)");

  const auto mixed = rows({{"file://C:\\a", 0, 60, {{"bitrate", "128"}, {"channels", "2"}}},
                           {"file://C:\\b", 0, 30, {{"bitrate", "320"}, {"channels", "6"}}}});
  EXPECT_EQ(mixed.at("General|Format"), "~192 kbps / 2 (66.7%); 6 (33.3%) ch");

  const auto cue = rows({{"file://C:\\a", 0, 1, {{"cue_embedded", "YES"}, {"bitrate", "900"}}}});
  EXPECT_EQ(cue.at("General|Format"), "900 kbps / CUE");
}

TEST_F(technical_rows, ReplayGainRowsKeepOnlyWhatAllTracksShare) {
  replaygain_info first;
  first.track_gain = -3.5f;
  first.album_gain = -4.0f;
  replaygain_info second = first;
  second.album_gain = -6.0f;
  const auto out = rows({{"file://C:\\a", 0, 1, {}, 1, first}, {"file://C:\\b", 0, 1, {}, 1, second}});
  EXPECT_EQ(out.at("ReplayGain|Track"), "-3.50 dB");
  EXPECT_EQ(out.count("ReplayGain|Album"), 0u);
}

TEST_F(technical_rows, TheProviderClaimsItsTechnicalFieldsInAnyCase) {
  EXPECT_TRUE(provider()->claims_field("BitRate"));
  EXPECT_TRUE(provider()->claims_field("md5"));
  EXPECT_FALSE(provider()->claims_field("subsong_md5"));
  EXPECT_FALSE(provider()->claims_field("encoder"));
}

TEST(technical_info_text, FolderAndFileNamesOfDisplayPaths) {
  EXPECT_EQ(technical_info::folder_name("C:\\a.flac"), "C:\\");
  EXPECT_EQ(technical_info::folder_name("\\\\srv\\share\\a.flac"), "\\\\srv\\share");
  EXPECT_EQ(technical_info::folder_name("a.flac"), "");
  EXPECT_EQ(technical_info::file_name("C:\\m\\a.flac"), "a.flac");
  EXPECT_EQ(technical_info::group_thousands(4730880), "4 730 880");
  EXPECT_EQ(technical_info::group_thousands(999), "999");
}

}  // namespace
