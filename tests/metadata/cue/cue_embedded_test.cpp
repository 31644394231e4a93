#include "metadata/cue/cue_embedded.h"

#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/service_factory.h"
#include "foundation/byte_compare.h"
#include "io/io_exceptions.h"
#include "metadata/cue/cue_value_not_stored.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/replaygain_text.h"
#include "tests/metadata/cue/cue_fixtures.h"

namespace {

using cue_test::field;

using namespace cue_embedded;

constexpr char three_tracks[] =
    "PERFORMER \"Sheet Band\"\nTITLE \"Sheet Album\"\nFILE \"disc.wav\" WAVE\n"
    "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 00 01:58:00\n    INDEX 01 02:00:00\n"
    "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 05:00:00\n";

track_info_impl file_with_sheet(const char* sheet, double length = 600.0) {
  track_info_impl file;
  file.set_field("ALBUM", 5, "Tag Album", track_info::until_nul);
  file.set_field("ARTIST", 6, "Tag Band", track_info::until_nul);
  file.set_field("cuesheet", 8, sheet, track_info::until_nul);
  file.set_tech("samplerate", 10, "44100", 5);
  file.set_length(length);
  return file;
}

std::string subsong_field(const cue_track_map& map, std::uint32_t subsong, const char* name) {
  track_info_impl info;
  track_info_from_cue(map, subsong, info);
  return field(info, name);
}

class recording_sink : public decoder_message_sink {
public:
  std::vector<std::string> messages;
  void on_message(const char* text, bool) override { messages.push_back(text); }
};

TEST(CueEmbedded, EachCueTrackIsASubsongWithItsOwnInfoAndRange) {
  track_info_impl file = file_with_sheet(three_tracks);
  file.set_field("CUE_TRACK02_TITLE", track_info::until_nul, "Override", track_info::until_nul);
  file.set_field("cue_track00_title", track_info::until_nul, "ignored", track_info::until_nul);
  file.set_field("cue_track07_title", track_info::until_nul, "ignored", track_info::until_nul);
  cue_track_map map;
  read_track_info(map, file);

  ASSERT_EQ(map.size(), 4u);
  EXPECT_EQ(subsong_at(map, 0), 1u);
  EXPECT_EQ(subsong_at(map, 2), 3u);
  EXPECT_EQ(subsong_at(map, 3), 0u);
  const char* titles[] = {"One", "Override", "Three"};
  const double ranges[][2] = {{0, 120}, {120, 180}, {300, 300}};  // gaps play at the end of the track before
  for (std::uint32_t n = 1; n <= 3; ++n) {
    EXPECT_EQ(subsong_field(map, n, "title"), titles[n - 1]);
    EXPECT_EQ(subsong_field(map, n, "album"), "Tag Album");  // the file's tags win over the sheet
    EXPECT_EQ(subsong_field(map, n, "artist"), "Tag Band");
    EXPECT_EQ(subsong_field(map, n, "tracknumber"), std::to_string(n));
    EXPECT_EQ(subsong_field(map, n, "totaltracks"), "3");
    track_info_impl info;
    track_info_from_cue(map, n, info);
    EXPECT_STREQ(*info.tech_value_by_name("cue_embedded"), "yes");
    EXPECT_STREQ(*info.tech_value_by_name("samplerate"), "44100");
    const track_range range = get_track_range(map, n);
    EXPECT_DOUBLE_EQ(range.start, ranges[n - 1][0]);
    EXPECT_DOUBLE_EQ(range.length, ranges[n - 1][1]);
  }
  EXPECT_EQ(subsong_field(map, 0, "title"), "<absent>");
  EXPECT_THROW(get_track_range(map, 4), vantrel_io::exception_io_data);
}

TEST(CueEmbedded, UnusableSheetLeavesOneSubsongKeepsTheTextAndWarns) {
  const std::string bad_time = "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00:00\n";
  const std::string postgap = "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 0\nPOSTGAP 00:02:00\n";
  const std::string no_tracks = "REM just a comment\n";
  struct sheet_case {
    std::string sheet;
    double length;
    bool warns;
  } cases[] = {
      {bad_time, 600, true},
      {postgap, 600, true},
      {"FILE a.wav WAVE\nTRACK 01 AUDIO\nTITLE x\n", 600, true},  // no INDEX 01
      // A sheet for a longer file: track 3 would end before it starts.
      {three_tracks, 200, true},
      {no_tracks, 600, false},
  };
  for (const auto& c : cases) {
    const track_info_impl file = file_with_sheet(c.sheet.c_str(), c.length);
    cue_track_map map;
    service_single_instance<recording_sink> sink;
    ASSERT_NO_THROW(read_track_info(map, file, &sink)) << c.sheet;
    EXPECT_EQ(map.size(), 1u) << c.sheet;
    EXPECT_EQ(sink.messages.size(), c.warns ? 1u : 0u) << c.sheet;
    // A tag edit of the whole file writes the sheet back untouched.
    track_info_impl edited(file);
    edited.set_field("ARTIST", 6, "Edited", 6);
    apply_track_info(map, 0, edited);
    track_info_impl written;
    write_track_info(map, written);
    EXPECT_EQ(field(written, "cuesheet"), c.sheet);
    EXPECT_EQ(field(written, "artist"), "Edited");
  }
}

TEST(CueEmbedded, WritingWithoutCueTrackEditsKeepsTheFilesTagsAsTheyAre) {
  // The ripper's sheet carries REM lines and file types a regenerated sheet would drop.
  track_info_impl file = file_with_sheet(cue_test::ripper_sheet);
  file.set_field("cue_track09_title", track_info::until_nul, "for a track the sheet lacks", track_info::until_nul);
  cue_track_map map;
  read_track_info(map, file);
  ASSERT_EQ(map.size(), 4u);
  track_info_impl unchanged;
  track_info_from_cue(map, 2, unchanged);
  apply_track_info(map, 2, unchanged);
  track_info_impl written;
  write_track_info(map, written);
  EXPECT_EQ(field(written, "cuesheet"), cue_test::ripper_sheet);
  EXPECT_EQ(written.field_count(), file.field_count());
}

TEST(CueEmbedded, EditingOneSubsongWritesItsOverridesAndItsSheetLines) {
  track_info_impl file = file_with_sheet(three_tracks);
  file.set_field("cue_track09_title", track_info::until_nul, "kept", 4);
  cue_track_map map;
  read_track_info(map, file);
  track_info_impl info;
  track_info_from_cue(map, 2, info);
  info.set_field("ARTIST", 6, "Guest", 5);
  replaygain_info gain;
  gain.track_gain = -3.0f;
  info.set_replaygain(gain);
  apply_track_info(map, 2, info);

  track_info_impl written;
  write_track_info(map, written);
  EXPECT_EQ(field(written, "album"), "Tag Album");  // the file's tags stay
  EXPECT_EQ(field(written, "artist"), "Tag Band");
  EXPECT_EQ(field(written, "cue_track01_artist"), "<absent>");
  EXPECT_EQ(field(written, "cue_track02_artist"), "Guest");  // the file's ARTIST would hide the sheet's
  EXPECT_EQ(field(written, "cue_track02_title"), "<absent>");        // the sheet reproduces it
  EXPECT_EQ(field(written, "cue_track02_tracknumber"), "<absent>");  // likewise
  EXPECT_EQ(field(written, "cue_track09_title"), "kept");            // matches no track: the user's
  EXPECT_NE(field(written, "cuesheet").find("PERFORMER \"Guest\"\n    REM REPLAYGAIN_TRACK_GAIN -3.00 dB\n"),
            std::string::npos);

  // Reading what was written shows the edit, and only on that track.
  cue_track_map again;
  read_track_info(again, written);
  EXPECT_EQ(subsong_field(again, 1, "artist"), "Tag Band");
  EXPECT_EQ(subsong_field(again, 2, "artist"), "Guest");
  EXPECT_EQ(subsong_field(again, 2, "title"), "Two");
  track_info_impl second;
  track_info_from_cue(again, 2, second);
  EXPECT_FLOAT_EQ(second.get_replaygain().track_gain, -3.0f);
  EXPECT_THROW(apply_track_info(again, 5, second), vantrel_io::exception_io_data);
}

// Sheet tracks of their own performers, hidden behind the file's ARTIST.
constexpr char own_performers[] =
    "PERFORMER \"Sheet Band\"\nTITLE \"Sheet Album\"\nREM GENRE Jazz\nFILE \"disc.wav\" WAVE\n"
    "  TRACK 01 AUDIO\n    TITLE \"One\"\n    PERFORMER \"First Guest\"\n    SONGWRITER \"Writer\"\n"
    "    REM DATE 1990\n    REM COMPOSER \"Someone\"\n    FLAGS DCP\n    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PERFORMER \"Second Guest\"\n    ISRC USXX19900002\n"
    "    REM REPLAYGAIN_TRACK_GAIN -2.00 dB\n    INDEX 00 01:58:00\n    INDEX 01 02:00:00\n"
    "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    PERFORMER \"Third Guest\"\n    REM GENRE Blues\n"
    "    INDEX 01 05:00:00\n";

// The file written after the edits, each {subsong, field, values} made on the track as shown.
struct edit {
  std::uint32_t subsong;
  const char* name;
  std::vector<const char*> values;
};
track_info_impl written_after(const track_info& file, const std::vector<edit>& edits) {
  cue_track_map map;
  read_track_info(map, file);
  for (const edit& e : edits) {
    track_info_impl info;
    track_info_from_cue(map, e.subsong, info);
    const std::uint32_t old = info.find_field(e.name);
    if (old != track_info::not_found) {
      qiv::bit_array selection(info.field_count());
      selection.set(old, true);
      info.remove_fields(selection);
    }
    for (const char* value : e.values) info.add_value(e.name, track_info::until_nul, value, track_info::until_nul);
    // As the inputs hand an edit of the file as a whole on.
    if (e.subsong == 0) apply_file_info(map, info);
    else apply_track_info(map, e.subsong, info);
  }
  track_info_impl written;
  write_track_info(map, written);
  return written;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  return at == std::string::npos ? "<" + from + " not found>" : text.replace(at, from.size(), to);
}

TEST(CueEmbedded, AnEditChangesOnlyItsValuesInTheSheetAndTheFilesTags) {
  const track_info_impl file = file_with_sheet(own_performers);

  // A title: only that line of the sheet; the file's ARTIST and every
  // PERFORMER stay, and nothing the sheet numbers becomes a tag.
  const track_info_impl titled = written_after(file, {{2, "title", {"Zwei"}}});
  EXPECT_EQ(field(titled, "cuesheet"), replaced(own_performers, "TITLE \"Two\"", "TITLE \"Zwei\""));
  EXPECT_EQ(titled.field_count(), file.field_count());
  EXPECT_EQ(field(titled, "artist"), "Tag Band");
  EXPECT_EQ(field(titled, "album"), "Tag Album");
  cue_track_map again;
  read_track_info(again, titled);
  EXPECT_EQ(subsong_field(again, 2, "title"), "Zwei");
  EXPECT_EQ(subsong_field(again, 1, "songwriter"), "Writer");

  // A value the file's tag shows: the track's override carries it, the
  // sheet's line follows, the other tracks keep theirs and the file its tag.
  const track_info_impl guest = written_after(file, {{3, "artist", {"New Guest"}}, {1, "title", {"Eins"}}});
  EXPECT_EQ(field(guest, "cuesheet"), replaced(replaced(own_performers, "Third Guest", "New Guest"), "\"One\"",
                                               "\"Eins\""));
  EXPECT_EQ(field(guest, "artist"), "Tag Band");
  EXPECT_EQ(field(guest, "cue_track03_artist"), "New Guest");
  EXPECT_EQ(guest.field_count(), file.field_count() + 1);

  // A change made alike on every track is the file's tag, and the sheet's lines of it follow.
  const track_info_impl genre =
      written_after(file, {{1, "genre", {"Rock"}}, {2, "genre", {"Rock"}}, {3, "genre", {"Rock"}}});
  EXPECT_EQ(field(genre, "genre"), "Rock");
  EXPECT_EQ(field(genre, "cuesheet"),
            replaced(replaced(own_performers, "REM GENRE Jazz", "REM GENRE Rock"), "    REM GENRE Blues\n", ""));
  EXPECT_EQ(field(genre, "cue_track03_genre"), "<absent>");

  // What neither the sheet nor the file's tags can give goes into overrides.
  const track_info_impl album = written_after(file, {{2, "album", {"Other"}}, {2, "mood", {"calm"}}});
  EXPECT_EQ(field(album, "cuesheet"), own_performers);
  EXPECT_EQ(field(album, "cue_track02_album"), "Other");
  EXPECT_EQ(field(album, "cue_track02_mood"), "calm");
  EXPECT_EQ(album.field_count(), file.field_count() + 2);
}

// Fields in the order a reader that sorts names gives them: the overrides before the sheet.
track_info_impl file_with_fields(std::vector<std::pair<const char*, const char*>> fields) {
  track_info_impl file;
  for (const auto& [name, value] : fields) file.append_field(name, track_info::until_nul, value, track_info::until_nul);
  file.set_length(600.0);
  return file;
}

std::vector<edit> on_every_track(const char* name, std::vector<const char*> values) {
  return {{1, name, values}, {2, name, values}, {3, name, values}};
}

TEST(CueEmbedded, ARemovalFromEveryTrackRemovesThatFieldAndItsSheetLinesAlone) {
  const std::string sheet = std::string("REM COMMENT \"Ripped\"\n") + own_performers;
  // The sheet last, in the middle, first: each removal leaves every other field where it was.
  const std::vector<std::vector<std::pair<const char*, const char*>>> orders = {
      {{"ALBUM", "Tag Album"}, {"ARTIST", "Tag Band"}, {"COMMENT", "Tag note"}, {"BPM", "120"},
       {"cuesheet", sheet.c_str()}},
      {{"ALBUM", "Tag Album"}, {"cuesheet", sheet.c_str()}, {"ARTIST", "Tag Band"}, {"COMMENT", "Tag note"},
       {"BPM", "120"}},
      {{"cuesheet", sheet.c_str()}, {"ALBUM", "Tag Album"}, {"ARTIST", "Tag Band"}, {"COMMENT", "Tag note"},
       {"BPM", "120"}}};
  // {field, the sheet after its removal}: its header line goes. (The artist
  // takes every PERFORMER: AFieldRemovedFromEveryTrackOrTheWholeFileShowsOnNoTrack...)
  const std::vector<std::pair<const char*, std::string>> removals = {
      {"comment", replaced(sheet, "REM COMMENT \"Ripped\"\n", "")},
      {"album", replaced(sheet, "TITLE \"Sheet Album\"\n", "")},
      {"bpm", sheet}};
  for (const auto& fields : orders) {
    const track_info_impl file = file_with_fields(fields);
    for (const auto& [name, sheet_after] : removals) {
      SCOPED_TRACE(name);
      const track_info_impl written = written_after(file, on_every_track(name, {}));
      ASSERT_EQ(written.field_count(), file.field_count() - 1);
      for (std::uint32_t f = 0, w = 0; f < file.field_count(); ++f) {
        if (qiv::stricmp_ascii_equal(file.field_name(f), name)) continue;
        EXPECT_STREQ(written.field_name(w), file.field_name(f));
        const bool is_sheet = std::string(file.field_name(f)) == "cuesheet";
        EXPECT_EQ(written.field_value(w++, 0), is_sheet ? sheet_after : std::string(file.field_value(f, 0)));
      }
    }
  }
  // A value the tracks showed from their own lines goes with those lines.
  const track_info_impl genre = written_after(file_with_sheet(own_performers), on_every_track("genre", {}));
  EXPECT_EQ(field(genre, "cuesheet"),
            replaced(replaced(own_performers, "REM GENRE Jazz\n", ""), "    REM GENRE Blues\n", ""));
}

TEST(CueEmbedded, TheHeaderPerformerGoesWithTheArtistOrAlbumArtistItAloneGives) {
  // Every track has its own PERFORMER: the header one is the album artist alone.
  const track_info_impl album_artist = written_after(
      file_with_fields({{"ALBUM ARTIST", "Tag Various"}, {"cuesheet", own_performers}}), on_every_track("album artist", {}));
  EXPECT_EQ(field(album_artist, "cuesheet"), replaced(own_performers, "PERFORMER \"Sheet Band\"\n", ""));
  EXPECT_EQ(field(album_artist, "album artist"), "<absent>");
  cue_track_map again;
  read_track_info(again, album_artist);
  EXPECT_EQ(subsong_field(again, 1, "album artist"), "<absent>");
  EXPECT_EQ(subsong_field(again, 3, "artist"), "Third Guest");

  // No track has one: the header PERFORMER is every track's artist, with or without a tag over it.
  for (const track_info_impl& file : {file_with_sheet(three_tracks), file_with_fields({{"cuesheet", three_tracks}})}) {
    const track_info_impl no_artist = written_after(file, on_every_track("artist", {}));
    EXPECT_EQ(field(no_artist, "cuesheet"), replaced(three_tracks, "PERFORMER \"Sheet Band\"\n", ""));
    EXPECT_EQ(field(no_artist, "artist"), "<absent>");
    read_track_info(again, no_artist);
    EXPECT_EQ(subsong_field(again, 2, "artist"), "<absent>");
    EXPECT_EQ(subsong_field(again, 2, "album"), file.field_count() > 1 ? "Tag Album" : "Sheet Album");
  }
}

TEST(CueEmbedded, ARemovalTheTrackWouldStillReadIsRefused) {
  track_info_impl file = file_with_sheet(own_performers);
  file.set_field("GENRE", 5, "Tag Genre", track_info::until_nul);
  // The file's tag gives every track its genre, and its artist over the track's hidden PERFORMER.
  EXPECT_THROW(written_after(file, {{2, "genre", {}}}), exception_cue_value_not_stored);
  EXPECT_THROW(written_after(file, {{2, "artist", {}}}), exception_cue_value_not_stored);
  // The header PERFORMER also gives track 2 its artist: the album artist
  // goes with it, and track 2 keeps its artist on a line of its own.
  const std::string one_without = replaced(own_performers, "    PERFORMER \"Second Guest\"\n", "");
  EXPECT_EQ(field(written_after(file_with_fields({{"cuesheet", one_without.c_str()}}),
                                on_every_track("album artist", {})), "cuesheet"),
            replaced(replaced(one_without, "PERFORMER \"Sheet Band\"\n", ""), "    INDEX 00 01:58:00\n",
                     "    PERFORMER \"Sheet Band\"\n    INDEX 00 01:58:00\n"));
  // Removed, the track's override would show the file's tag it hid.
  track_info_impl overridden = file_with_sheet(own_performers);
  overridden.set_field("CUE_TRACK03_ARTIST", 18, "Own Artist", track_info::until_nul);
  EXPECT_THROW(written_after(overridden, {{3, "artist", {}}}), exception_cue_value_not_stored);
  // Its own line, when it shows it, can go.
  EXPECT_EQ(field(written_after(file, {{2, "title", {}}}), "cuesheet"),
            replaced(own_performers, "    TITLE \"Two\"\n", ""));
}

// The file written after every cue track's ReplayGain was changed alike.
template <class Change>
track_info_impl written_with_gain_everywhere(const track_info& file, Change change) {
  cue_track_map map;
  read_track_info(map, file);
  for (std::uint32_t subsong = 1; subsong <= 3; ++subsong) {
    track_info_impl info;
    track_info_from_cue(map, subsong, info);
    replaygain_info gain = info.get_replaygain();
    change(gain);
    info.set_replaygain(gain);
    apply_track_info(map, subsong, info);
  }
  track_info_impl written;
  write_track_info(map, written);
  return written;
}

TEST(CueEmbedded, TheFilesReplayGainStandsForWhatTheSheetDoesNotGive) {
  track_info_impl file = file_with_sheet(own_performers);
  replaygain_info gain;
  gain.album_gain = -7.5f;
  gain.track_gain = -6.0f;
  file.set_replaygain(gain);
  cue_track_map map;
  read_track_info(map, file);
  track_info_impl second, third;
  track_info_from_cue(map, 2, second);
  track_info_from_cue(map, 3, third);
  EXPECT_FLOAT_EQ(second.get_replaygain().track_gain, -2.0f);
  EXPECT_FLOAT_EQ(second.get_replaygain().album_gain, -7.5f);
  EXPECT_FLOAT_EQ(third.get_replaygain().track_gain, -6.0f);

  // Changed alike on every track, the file's value changes; a sheet without one stays as it is.
  auto album_gain_everywhere = [&](float album_gain) {
    const track_info_impl written =
        written_with_gain_everywhere(file, [album_gain](replaygain_info& gain) { gain.album_gain = album_gain; });
    EXPECT_EQ(field(written, "cuesheet"), own_performers);
    EXPECT_FLOAT_EQ(written.get_replaygain().track_gain, -6.0f);
    return written.get_replaygain().album_gain;
  };
  EXPECT_FLOAT_EQ(album_gain_everywhere(-5.0f), -5.0f);
  EXPECT_FALSE(replaygain_info::gain_present(album_gain_everywhere(replaygain_info::gain_absent)));
}

TEST(CueEmbedded, AnEditOfTheWholeFileChangesItsTagsAndARemovalTakesTheSheetsLinesOfIt) {
  const std::string sheet = std::string("REM COMMENT \"Ripped\"\n") + own_performers;
  const track_info_impl file = file_with_fields(
      {{"ALBUM", "Tag Album"}, {"COMMENT", "Tag note"}, {"GENRE", "Tag Genre"}, {"cuesheet", sheet.c_str()}});
  // Removed from the file, a field leaves the sheet's header and the tracks'
  // own lines that the file's tag hid, as after a removal from every track.
  const track_info_impl removed = written_after(file, {{0, "comment", {}}, {0, "genre", {}}});
  EXPECT_EQ(field(removed, "comment"), "<absent>");
  EXPECT_EQ(field(removed, "genre"), "<absent>");
  EXPECT_EQ(field(removed, "album"), "Tag Album");
  EXPECT_EQ(field(removed, "cuesheet"), replaced(replaced(replaced(sheet, "REM COMMENT \"Ripped\"\n", ""),
                                                          "REM GENRE Jazz\n", ""),
                                                 "    REM GENRE Blues\n", ""));
  cue_track_map again;
  read_track_info(again, removed);
  for (std::uint32_t track = 1; track <= 3; ++track) {
    EXPECT_EQ(subsong_field(again, track, "comment"), "<absent>");
    EXPECT_EQ(subsong_field(again, track, "genre"), "<absent>");
  }
  // A value set for the file is its tag, which every track shows, and the sheet's header line follows.
  const track_info_impl set = written_after(file, {{0, "album", {"New Album"}}});
  EXPECT_EQ(field(set, "album"), "New Album");
  EXPECT_EQ(field(set, "cuesheet"), replaced(sheet, "TITLE \"Sheet Album\"", "TITLE \"New Album\""));
  EXPECT_EQ(set.field_count(), file.field_count());
}

// Every field with its values and the four gains, one per line.
std::string everything_of(const track_info& info) {
  std::string text;
  for (std::uint32_t f = 0; f < info.field_count(); ++f)
    text += std::string(info.field_name(f)) + "=" + field(info, info.field_name(f)) + "\n";
  const replaygain_info gain = info.get_replaygain();
  for (float value : {gain.album_gain, gain.album_peak, gain.track_gain, gain.track_peak})
    text += std::to_string(value) + " ";
  return text;
}

// The file written after the change was made on those subsongs, each as it showed.
track_info_impl written_with(const track_info& file, std::vector<std::uint32_t> subsongs,
                             const std::function<void(track_info&)>& change) {
  cue_track_map map;
  read_track_info(map, file);
  for (std::uint32_t subsong : subsongs) {
    track_info_impl info;
    track_info_from_cue(map, subsong, info);
    change(info);
    if (subsong == 0) apply_file_info(map, info);
    else apply_track_info(map, subsong, info);
  }
  track_info_impl written;
  write_track_info(map, written);
  return written;
}

TEST(CueEmbedded, AnEditOfTheWholeFileWritesWhatTheSameEditOnEveryTrackWrites) {
  const std::string sheet = "REM COMMENT \"Ripped\"\nREM REPLAYGAIN_ALBUM_GAIN -3.00 dB\n" +
                            replaced(own_performers, "    REM GENRE Blues\n", "");
  const track_info_impl file = file_with_sheet(sheet.c_str());
  // What the sheet's header alone gives every track shows on the file as a whole.
  cue_track_map map;
  read_track_info(map, file);
  EXPECT_EQ(subsong_field(map, 0, "genre"), "Jazz");
  EXPECT_EQ(subsong_field(map, 0, "comment"), "Ripped");
  EXPECT_EQ(subsong_field(map, 0, "album"), "Tag Album");
  EXPECT_EQ(subsong_field(map, 0, "date"), "<absent>");  // track 1's own
  track_info_impl whole;
  track_info_from_cue(map, 0, whole);
  EXPECT_FLOAT_EQ(whole.get_replaygain().album_gain, -3.0f);

  auto without = [](const char* name) {
    return [name](track_info& info) {
      qiv::bit_array selection(info.field_count());
      selection.set(info.find_field(name), true);
      info.remove_fields(selection);
    };
  };
  auto album_gain = [](track_info& info) {
    replaygain_info gain = info.get_replaygain();
    gain.album_gain = -6.5f;
    info.set_replaygain(gain);
  };
  const std::string absent = "<absent>";
  struct whole_edit {
    const char* name;
    std::function<void(track_info&)> change;
    std::vector<std::string> shown;  // by tracks 1 to 3 after the write
  } edits[] = {
      {"genre", without("genre"), {absent, absent, absent}},
      {"comment", without("comment"), {absent, absent, absent}},
      // The tracks' own PERFORMER lines, which the file's ARTIST hid, go with it.
      {"artist", without("artist"), {absent, absent, absent}},
      {"replaygain_album_gain", album_gain, {"-6.50 dB", "-6.50 dB", "-6.50 dB"}},
  };
  for (const whole_edit& edit : edits) {
    SCOPED_TRACE(edit.name);
    const track_info_impl as_whole = written_with(file, {0}, edit.change);
    EXPECT_EQ(everything_of(as_whole), everything_of(written_with(file, {1, 2, 3}, edit.change)));
    cue_track_map again;
    read_track_info(again, as_whole);
    std::vector<std::string> shown;
    for (std::uint32_t track = 1; track <= 3; ++track) {
      track_info_impl info;
      track_info_from_cue(again, track, info);
      std::string gain;
      if (const replaygain_field* named = replaygain_find_field(edit.name))
        shown.push_back(replaygain_format_field(gain, info.get_replaygain(), *named) ? gain : absent);
      else
        shown.push_back(field(info, edit.name));
    }
    EXPECT_EQ(shown, edit.shown);
  }
}

// Header lines of every kind, tracks 1 and 2 with lines of their own, track 3 with none.
constexpr char header_and_own_lines[] =
    "REM GENRE Jazz\nREM DATE 1998\nREM COMMENT \"Ripped\"\nPERFORMER \"Sheet Artist\"\nTITLE \"Sheet Album\"\n"
    "FILE \"disc.wav\" WAVE\n"
    "  TRACK 01 AUDIO\n    TITLE \"One\"\n    PERFORMER \"Performer One\"\n    REM GENRE Blues\n"
    "    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PERFORMER \"Performer Two\"\n    REM DATE 2001\n"
    "    REM COMMENT \"Live\"\n    INDEX 01 02:00:00\n"
    "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 05:00:00\n";

TEST(CueEmbedded, AFieldRemovedFromEveryTrackOrTheWholeFileShowsOnNoTrackAndTheRestStays) {
  // With the file's tags over every line, and with the sheet alone, whose
  // tracks differ: the file as a whole then shows the header's value.
  const track_info_impl tagged = file_with_fields({{"ARTIST", "File Artist"}, {"COMMENT", "File note"},
                                                   {"DATE", "2020"}, {"GENRE", "File Genre"},
                                                   {"cuesheet", header_and_own_lines}});
  const track_info_impl sheet_alone = file_with_fields({{"cuesheet", header_and_own_lines}});
  // The header PERFORMER on tracks 1 and 3, track 2's own between them.
  const std::string second_own = replaced(header_and_own_lines, "    PERFORMER \"Performer One\"\n", "");
  const track_info_impl second_differs = file_with_fields({{"cuesheet", second_own.c_str()}});
  cue_track_map map;
  read_track_info(map, sheet_alone);
  EXPECT_EQ(subsong_field(map, 0, "artist"), "Sheet Artist");
  EXPECT_EQ(subsong_field(map, 0, "genre"), "Jazz");
  EXPECT_EQ(subsong_field(map, 0, "comment"), "Ripped");

  auto removal = [](const char* name) {
    return [name](track_info& info) {
      const std::uint32_t found = info.find_field(name);
      if (found == track_info::not_found) return;
      qiv::bit_array selection(info.field_count());
      selection.set(found, true);
      info.remove_fields(selection);
    };
  };
  // A track's other fields by name, whichever tag or line gives them.
  auto shown_without = [&removal](const track_info& file, std::uint32_t track, const char* name) {
    cue_track_map read;
    read_track_info(read, file);
    track_info_impl info;
    track_info_from_cue(read, track, info);
    removal(name)(info);
    std::map<std::string, std::string> fields;
    for (std::uint32_t f = 0; f < info.field_count(); ++f) {
      std::string key = info.field_name(f);
      for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
      fields[key] = field(info, info.field_name(f));
    }
    return fields;
  };
  for (const track_info_impl* file : {&tagged, &sheet_alone, &second_differs}) {
    for (const char* name : {"artist", "album artist", "genre", "date", "comment"}) {
      SCOPED_TRACE(std::string(name) + (file == &tagged ? ", tagged" : file == &sheet_alone ? ", alone" : ", 2nd"));
      const track_info_impl as_whole = written_with(*file, {0}, removal(name));
      const track_info_impl every_track = written_with(*file, {1, 2, 3}, removal(name));
      EXPECT_EQ(everything_of(as_whole), everything_of(every_track));
      EXPECT_EQ(everything_of(written_with(as_whole, {0}, removal(name))), everything_of(as_whole));
      for (std::uint32_t track = 1; track <= 3; ++track) {
        cue_track_map again;
        read_track_info(again, as_whole);
        EXPECT_EQ(subsong_field(again, track, name), "<absent>") << "track " << track;
        EXPECT_EQ(shown_without(as_whole, track, name), shown_without(*file, track, name)) << "track " << track;
      }
    }
  }
  // The header PERFORMER goes with the artist; the album artist it gave becomes the file's tag.
  const track_info_impl no_artist = written_with(sheet_alone, {0}, removal("artist"));
  EXPECT_EQ(field(no_artist, "cuesheet"),
            replaced(replaced(replaced(header_and_own_lines, "PERFORMER \"Sheet Artist\"\n", ""),
                              "    PERFORMER \"Performer One\"\n", ""),
                     "    PERFORMER \"Performer Two\"\n", ""));
  EXPECT_EQ(field(no_artist, "album artist"), "Sheet Artist");
  // With the album artist it goes too; track 3, which read its artist from it, keeps it on a line of its own.
  EXPECT_EQ(field(written_with(sheet_alone, {1, 2, 3}, removal("album artist")), "cuesheet"),
            replaced(replaced(header_and_own_lines, "PERFORMER \"Sheet Artist\"\n", ""),
                     "    TITLE \"Three\"\n", "    TITLE \"Three\"\n    PERFORMER \"Sheet Artist\"\n"));
}

TEST(CueEmbedded, AGainSetAlikeOnEveryTrackGoesIntoTheFilesOwnValueWhereTheSheetGivesNone) {
  const track_info_impl written = written_with_gain_everywhere(file_with_sheet(three_tracks), [](replaygain_info& gain) {
    gain.album_gain = -6.5f;
    gain.track_gain = -4.0f;
  });
  EXPECT_EQ(field(written, "cuesheet"), three_tracks);
  EXPECT_FLOAT_EQ(written.get_replaygain().album_gain, -6.5f);
  EXPECT_FLOAT_EQ(written.get_replaygain().track_gain, -4.0f);
}

TEST(CueEmbedded, EveryArtistEditOfATrackReachesItsSheetLine) {
  track_info_impl file = file_with_fields(
      {{"ALBUM", "Tag Album"}, {"ARTIST", "Tag Band"}, {"cuesheet", own_performers}});
  for (const char* artist : {"New Guest", "Newer Guest", "Last Guest"}) {
    SCOPED_TRACE(artist);
    track_info_impl written = written_after(file, {{3, "artist", {artist}}});
    EXPECT_EQ(field(written, "cuesheet"), replaced(own_performers, "Third Guest", artist));
    EXPECT_EQ(field(written, "cue_track03_artist"), artist);
    EXPECT_EQ(field(written, "artist"), "Tag Band");
    // Read back as a reader that sorts the names gives it: the override before the sheet.
    file = file_with_fields({{"ALBUM", "Tag Album"}, {"ARTIST", "Tag Band"}, {"CUE_TRACK03_ARTIST", artist},
                             {"cuesheet", field(written, "cuesheet").c_str()}});
  }
}

TEST(CueEmbedded, BesideASheetBlockTheTracksValuesGoIntoTagsOrTheWriteIsRefused) {
  // A sheet made from a FLAC CUESHEET block: times only, nothing to edit.
  constexpr char from_block[] =
      "FILE \"CDImage.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n    INDEX 01 02:00:00\n  TRACK 03 AUDIO\n    INDEX 01 05:00:00\n";
  const track_info_impl file = file_with_sheet(from_block);
  auto written_beside_block = [&](const std::vector<edit>& edits) {
    cue_track_map map;
    read_track_info(map, file, nullptr, cue_sheet_storage::block);
    for (const edit& e : edits) {
      track_info_impl info;
      track_info_from_cue(map, e.subsong, info);
      info.remove_all_fields();
      track_info_impl shown;
      track_info_from_cue(map, e.subsong, shown);
      for (std::uint32_t f = 0; f < shown.field_count(); ++f)
        if (!qiv::stricmp_ascii_equal(shown.field_name(f), e.name)) track_info::copy_field_values_from(info, shown, f);
      for (const char* value : e.values) info.add_value(e.name, track_info::until_nul, value, track_info::until_nul);
      apply_track_info(map, e.subsong, info);
    }
    track_info_impl written;
    write_track_info(map, written);
    return written;
  };

  const track_info_impl titled = written_beside_block({{2, "title", {"Zwei"}}});
  EXPECT_EQ(field(titled, "cuesheet"), from_block);
  EXPECT_EQ(field(titled, "cue_track02_title"), "Zwei");
  EXPECT_EQ(titled.field_count(), file.field_count() + 1);

  const track_info_impl no_album = written_beside_block(on_every_track("album", {}));
  EXPECT_EQ(field(no_album, "cuesheet"), from_block);
  EXPECT_EQ(field(no_album, "album"), "<absent>");
  EXPECT_EQ(no_album.field_count(), file.field_count() - 1);

  // The block numbers its tracks; no tag can take a number away.
  EXPECT_THROW(written_beside_block({{1, "tracknumber", {}}}), exception_cue_value_not_stored);
}

}  // namespace
