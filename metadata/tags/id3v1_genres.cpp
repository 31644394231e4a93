#include "metadata/tags/id3v1_genres.h"

#include "foundation/byte_compare.h"

const char* const id3v1_genre_list[id3v1_genre_count] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal",
    "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel",
    "Noise", "Alternative Rock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk",
    "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk/Rock", "National Folk", "Swing", "Fast-Fusion", "Bebob", "Latin", "Revival", "Celtic", "Bluegrass",
    "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music",
    "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo",
    "A capella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Afro-Punk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal",
    "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime",
    "JPop", "SynthPop", "Abstract", "Art Rock", "Baroque", "Bhangra", "Big Beat", "Breakbeat", "Chillout",
    "Downtempo", "Dub", "EBM", "Eclectic", "Electro", "Electroclash", "Emo", "Experimental", "Garage", "Global",
    "IDM", "Illbient", "Industro-Goth", "Jam Band", "Krautrock", "Leftfield", "Lounge", "Math Rock",
    "New Romantic", "Nu-Breakz", "Post-Punk", "Post-Rock", "Psytrance", "Shoegaze", "Space Rock", "Trop Rock",
    "World Music", "Neoclassical", "Audiobook", "Audio Theatre", "Neue Deutsche Welle", "Podcast", "Indie Rock",
    "G-Funk", "Dubstep", "Garage Rock", "Psybient",
};

namespace {

// Where the other common taggers spell a genre otherwise; a reference
// followed by their spelling names that one genre.
struct other_spelling {
  std::uint32_t index;
  const char* name;
};
constexpr other_spelling other_spellings[] = {
    {40, "Alt. Rock"}, {59, "Gangsta Rap"}, {67, "Psychedelic"}, {81, "Folk-Rock"},
    {85, "Bebop"},     {123, "A Cappella"}, {147, "Synthpop"},
};

// The name the list had at 133 is a slur, so it is recognised by a 64-bit
// FNV-1a hash of its letters folded to lower case instead of being spelt
// out: files tagged with the old list still write and read as 133.
constexpr std::uint32_t replaced_index = 133;
constexpr std::uint64_t replaced_name_hash = 0x36f12807cb254b92ull;

std::uint64_t folded_name_hash(const char* name) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char* p = name; *p != 0; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    hash ^= c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

bool is_replaced_name(const char* name) { return folded_name_hash(name) == replaced_name_hash; }

}  // namespace

int id3v1_genre_index(const char* name) {
  for (std::uint32_t i = 0; i < id3v1_genre_count; ++i)
    if (qiv::stricmp_ascii(name, id3v1_genre_list[i]) == 0) return int(i);
  return is_replaced_name(name) ? int(replaced_index) : -1;
}

bool id3v1_genre_is_spelling_of(std::uint32_t index, const std::string& text) {
  if (index >= id3v1_genre_count) return false;
  if (text == id3v1_genre_list[index]) return true;
  for (const other_spelling& other : other_spellings)
    if (other.index == index && text == other.name) return true;
  return index == replaced_index && is_replaced_name(text.c_str());
}
