// Finding the links of an Ogg file whose end is no whole page, as an
// interrupted copy leaves it.
#include "playback/inputs/ogg/ogg_page_reader.h"

#include <gtest/gtest.h>

#include <ogg/ogg.h>

#include <string>

#include "core/abort_signal.h"
#include "io/memory_file.h"

namespace {

// Two header pages, then one audio page of `audio` bytes.
std::string stream_with_audio_page(std::size_t audio) {
  ogg_stream_state stream;
  ogg_stream_init(&stream, 77);
  std::string out;
  std::int64_t number = 0;
  auto put = [&](std::string data, std::int64_t granule) {
    ogg_packet packet{};
    packet.packet = reinterpret_cast<unsigned char*>(data.data());
    packet.bytes = static_cast<long>(data.size());
    packet.b_o_s = number == 0;
    packet.packetno = number++;
    packet.granulepos = granule;
    ogg_stream_packetin(&stream, &packet);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) > 0) {
      out.append(reinterpret_cast<char*>(page.header), page.header_len);
      out.append(reinterpret_cast<char*>(page.body), page.body_len);
    }
  };
  put("head", 0);
  put(std::string(700, 'c'), 0);
  put(std::string(audio, '\xAB'), 48000);
  ogg_stream_clear(&stream);
  return out;
}

TEST(OggPageReader, AFileCutInsideItsFirstAudioPageIsOneLink) {
  const std::string whole = stream_with_audio_page(12000);
  const std::size_t audio_start = whole.size() - 12000 - 27 - 48;
  raisable_abort_signal abort;
  // Cut pieces of the audio page shorter and longer than one read.
  for (std::size_t kept : {100u, 3000u, 3500u, 5000u, 9000u}) {
    const std::string cut = whole.substr(0, audio_start + kept);
    vantrel_io::file_ptr file = vantrel_io::make_memory_file();
    file->write(cut.data(), static_cast<std::uint32_t>(cut.size()), abort);
    ogg_page_reader reader(file);
    EXPECT_EQ(reader.find_links(abort), std::vector<std::uint64_t>{0}) << kept << " bytes of the audio page";
  }
}

}  // namespace
