#include "metadata/tags/id3v2_v22_frames.h"

#include <cstring>

using id3parser::frame_id;

namespace {

struct v22_mapping {
  const char* v22;
  std::uint32_t id;
};

// Every frame of version 2.2 that later versions kept, and those that
// taggers added to version 2.2 tags beside them (the compilation flag, the
// sort orders, grouping and movement).
constexpr v22_mapping v22_table[] = {
    {"BUF", frame_id("RBUF")}, {"CNT", frame_id("PCNT")}, {"COM", frame_id("COMM")}, {"CRA", frame_id("AENC")},
    {"EQU", frame_id("EQUA")}, {"ETC", frame_id("ETCO")}, {"GEO", frame_id("GEOB")}, {"GP1", frame_id("GRP1")},
    {"IPL", frame_id("IPLS")}, {"LNK", frame_id("LINK")}, {"MCI", frame_id("MCDI")}, {"MLL", frame_id("MLLT")},
    {"MVI", frame_id("MVIN")}, {"MVN", frame_id("MVNM")}, {"PIC", frame_id("APIC")}, {"POP", frame_id("POPM")},
    {"REV", frame_id("RVRB")}, {"RVA", frame_id("RVAD")}, {"SLT", frame_id("SYLT")}, {"STC", frame_id("SYTC")},
    {"TAL", frame_id("TALB")}, {"TBP", frame_id("TBPM")}, {"TCM", frame_id("TCOM")}, {"TCO", frame_id("TCON")},
    {"TCP", frame_id("TCMP")}, {"TCR", frame_id("TCOP")}, {"TDA", frame_id("TDAT")}, {"TDY", frame_id("TDLY")},
    {"TEN", frame_id("TENC")}, {"TFT", frame_id("TFLT")}, {"TIM", frame_id("TIME")}, {"TKE", frame_id("TKEY")},
    {"TLA", frame_id("TLAN")}, {"TLE", frame_id("TLEN")}, {"TMT", frame_id("TMED")}, {"TOA", frame_id("TOPE")},
    {"TOF", frame_id("TOFN")}, {"TOL", frame_id("TOLY")}, {"TOR", frame_id("TORY")}, {"TOT", frame_id("TOAL")},
    {"TP1", frame_id("TPE1")}, {"TP2", frame_id("TPE2")}, {"TP3", frame_id("TPE3")}, {"TP4", frame_id("TPE4")},
    {"TPA", frame_id("TPOS")}, {"TPB", frame_id("TPUB")}, {"TRC", frame_id("TSRC")}, {"TRD", frame_id("TRDA")},
    {"TRK", frame_id("TRCK")}, {"TS2", frame_id("TSO2")}, {"TSA", frame_id("TSOA")}, {"TSC", frame_id("TSOC")},
    {"TSI", frame_id("TSIZ")}, {"TSP", frame_id("TSOP")}, {"TSS", frame_id("TSSE")}, {"TST", frame_id("TSOT")},
    {"TT1", frame_id("TIT1")}, {"TT2", frame_id("TIT2")}, {"TT3", frame_id("TIT3")}, {"TXT", frame_id("TEXT")},
    {"TXX", frame_id("TXXX")}, {"TYE", frame_id("TYER")}, {"UFI", frame_id("UFID")}, {"ULT", frame_id("USLT")},
    {"WAF", frame_id("WOAF")}, {"WAR", frame_id("WOAR")}, {"WAS", frame_id("WOAS")}, {"WCM", frame_id("WCOM")},
    {"WCP", frame_id("WCOP")}, {"WPB", frame_id("WPUB")}, {"WXX", frame_id("WXXX")},
};

bool has_later_form(std::uint32_t id) { return (id & 0xFF) != 0; }

}  // namespace

std::uint32_t id3v2_frame_id_from_v22(const char* text) {
  for (const v22_mapping& row : v22_table)
    if (std::strcmp(row.v22, text) == 0) return row.id;
  return 0;
}

std::uint32_t id3v2_three_letter_id(const std::uint8_t* letters) {
  return (std::uint32_t(letters[0]) << 24) | (std::uint32_t(letters[1]) << 16) | (std::uint32_t(letters[2]) << 8);
}

bool id3v2_link_from_v22(id3parser::frame& f) {
  if (f.data.size() < 3) return false;
  const char linked[4] = {char(f.data[0]), char(f.data[1]), char(f.data[2]), 0};
  const std::uint32_t id = id3v2_frame_id_from_v22(linked);
  if (id == 0) return false;
  f.data.insert(f.data.begin() + 3, std::uint8_t(id));
  for (int i = 0; i < 3; ++i) f.data[std::size_t(i)] = std::uint8_t(id >> (24 - 8 * i));
  return true;
}

void id3v2_refuse_v22_frames_without_later_form(const id3parser::tag& t) {
  if (t.version != 2) return;
  for (const id3parser::frame& f : t.frames) {
    if (has_later_form(f.id)) continue;
    char letters[4] = {char(f.id >> 24), char(f.id >> 16), char(f.id >> 8), 0};
    for (char& c : letters)
      if (c != 0 && (c < 0x20 || c > 0x7E)) c = '?';
    throw exception_id3v22_frame_not_kept(letters);
  }
}
