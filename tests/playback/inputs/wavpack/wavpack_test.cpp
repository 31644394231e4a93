// The WavPack file decoder and packet decoder on a tiny file: packets cut
// from it decode as the file does, hostile packets and damaged blocks are
// data errors or reported, and the correction-file folders are read as a
// user would write them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "foundation/byte_order.h"
#include "io/io_exceptions.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/inputs/wavpack/wavpack_correction_search.h"
#include "playback/inputs/wavpack/wavpack_file.h"
#include "playback/decoders/wavpack_packet_decoder.h"
#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"
#include "wavpack_test_file.h"

namespace {

struct wv_block {
  std::size_t offset, size;  // the whole block, header included
};

std::vector<wv_block> blocks_of(const std::string& file) {
  std::vector<wv_block> blocks;
  for (std::size_t offset = 0; offset + 32 <= file.size();) {
    const std::size_t size = 8 + qiv::load_le(reinterpret_cast<const std::uint8_t*>(file.data() + offset + 4), 4);
    blocks.push_back({offset, size});
    offset += size;
  }
  return blocks;
}

// The Matroska packet of a block: everything after the first 20 header bytes.
std::string packet_of(const std::string& file, const wv_block& block) {
  return file.substr(block.offset + 20, block.size - 20);
}

class recording_sink : public decoder_message_sink {
public:
  std::vector<std::string> messages;
  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }
  void on_message(const char* text, bool) override { messages.push_back(text); }
};

class WavPack : public ::testing::Test {
protected:
  void SetUp() override {
    // Keeps the tag service's registration linked.
    static auto* volatile keep = &find_trailing_tags;
    (void)keep;
    io_test::build_registry();
  }
  std::vector<float> decode_file(const std::string& content, decoder_message_sink* sink = nullptr, bool strict = false) {
    wavpack_file file;
    file.open(vantrel_io::file_ptr(io_test::make_model_file(content).get()), "C:\\x\\tiny.wv", false,
              io_test::no_abort());
    file.set_message_sink(sink);
    file.set_strict(strict);
    std::vector<float> samples;
    audio_block block;
    while (file.decode(block, io_test::no_abort()))
      samples.insert(samples.end(), block.get_data(), block.get_data() + block.get_data_size());
    return samples;
  }
  std::vector<float> decode_packet(wavpack_packet_decoder& decoder, const std::string& packet) {
    audio_block block;
    decoder.decode(packet.data(), packet.size(), block, io_test::no_abort());
    return {block.get_data(), block.get_data() + block.get_data_size()};
  }
  const std::uint8_t version[2] = {0x10, 0x04};
};

TEST_F(WavPack, FileInfoAndSamples) {
  wavpack_file file;
  file.open(vantrel_io::file_ptr(io_test::make_model_file(tiny_wavpack_file).get()), "C:\\x\\tiny.wv", false,
            io_test::no_abort());
  track_info_impl info;
  file.read_info(info, io_test::no_abort());
  EXPECT_EQ(info.tech_value_by_name("md5").value_or(""), std::string("2365093D9F141616043037A67C13314D"));
  EXPECT_EQ(info.tech_value_by_name("codec_profile").value_or(""), std::string("normal"));
  EXPECT_DOUBLE_EQ(info.get_length(), 400.0 / 8000);
  EXPECT_EQ(decode_file(tiny_wavpack_file).size(), 400u);
}

TEST_F(WavPack, PacketsDecodeAsTheFileDoes) {
  const std::vector<float> whole = decode_file(tiny_wavpack_file);
  wavpack_packet_decoder decoder(version, 2);
  std::vector<float> joined;
  const auto blocks = blocks_of(tiny_wavpack_file);
  for (std::size_t i = 0; i < 4; ++i) {
    const std::vector<float> part = decode_packet(decoder, packet_of(tiny_wavpack_file, blocks[i]));
    joined.insert(joined.end(), part.begin(), part.end());
  }
  EXPECT_EQ(joined, whole);

  // After the container seeks, a fresh context starts at the packet given.
  decoder.reset();
  const std::vector<float> third = decode_packet(decoder, packet_of(tiny_wavpack_file, blocks[2]));
  EXPECT_EQ(third, std::vector<float>(whole.begin() + 256, whole.begin() + 328));
}

TEST_F(WavPack, PacketHeaderAndHostilePackets) {
  struct accept_row {
    std::vector<std::uint8_t> data;
    bool accepted;
  } accept_rows[] = {
      {{0x10, 0x04}, true}, {{0x00, 0x04}, true}, {{0xFF, 0x04}, true},
      {{0x10, 0x03}, false}, {{0x10, 0x04, 0x00}, false}, {{0x10}, false},
  };
  for (const accept_row& r : accept_rows)
    EXPECT_EQ(wavpack_packet_decoder::accepts_codec_private(r.data.data(), r.data.size()), r.accepted);

  wavpack_packet_decoder decoder(version, 2);
  const std::string twelve(12, '\0');
  audio_block block;
  EXPECT_THROW(decoder.decode(twelve.data(), 11, block, io_test::no_abort()), vantrel_io::exception_io_data);
  EXPECT_THROW(decoder.decode(twelve.data(), 12, block, io_test::no_abort()), vantrel_io::exception_io_data);
  ASSERT_EQ(decoder.block().size(), 32u);
  EXPECT_EQ(qiv::load_le(decoder.block().data() + 4, 4), 24u);

  // A packet that claims billions of samples must not size a buffer for them.
  const auto blocks = blocks_of(tiny_wavpack_file);
  std::string packet = packet_of(tiny_wavpack_file, blocks[0]);
  decode_packet(decoder, packet);
  std::memcpy(packet.data(), "\xFF\xFF\xFF\x7F", 4);
  EXPECT_THROW(decode_packet(decoder, packet), vantrel_io::exception_io_data);
}

TEST_F(WavPack, DamagedBlockIsReportedOrStrictlyRefused) {
  std::string damaged = tiny_wavpack_file;
  const auto blocks = blocks_of(damaged);
  damaged[blocks[1].offset + blocks[1].size - 5] ^= 0x5A;  // inside the second block's audio

  recording_sink sink;
  try {
    decode_file(damaged, &sink);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"CRC mismatch"});
  } catch (const vantrel_io::exception_io_data& e) {
    EXPECT_STREQ(e.what(), "File is corrupted");
  }
  try {
    decode_file(damaged, nullptr, true);
    ADD_FAILURE() << "strict decoding of a damaged block succeeded";
  } catch (const vantrel_io::exception_io_data& e) {
    EXPECT_EQ(std::string(e.what()).rfind("File is corrupted", 0), 0u) << e.what();
  }
  EXPECT_EQ(decode_file(damaged).size(), 400u);  // not strict: plays on
}

TEST(CorrectionFolders, SplitAsWritten) {
  struct row {
    std::string text;
    std::vector<std::string> folders;
  } rows[] = {
      {"D:\\wvc;;E:\\more\\", {"D:\\wvc", "E:\\more\\"}},
      {";a; b ;", {"a", " b "}},
      {"", {}},
      {"ok;\xC3\xA9t\xC3\xA9;x\xFFy;z", {"ok", "\xC3\xA9t\xC3\xA9", "x"}},  // stops at the invalid byte
  };
  for (const row& r : rows) EXPECT_EQ(split_correction_folders(r.text), r.folders) << r.text;
}

// Folders under the Windows temp folder, removed at the end.
class CorrectionSearch : public ::testing::Test {
protected:
  void SetUp() override {
    io_test::build_registry();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    root_ = std::string(temp) + "zorv-wvc-" + std::to_string(GetCurrentProcessId());
    for (const char* sub : {"", "\\main", "\\beside", "\\folder"}) CreateDirectoryA((root_ + sub).c_str(), nullptr);
  }
  void TearDown() override {
    for (const char* file : {"\\main\\song.wvc", "\\folder\\song.wvc"}) DeleteFileA((root_ + file).c_str());
    for (const char* sub : {"\\main", "\\beside", "\\folder", ""}) RemoveDirectoryA((root_ + sub).c_str());
  }
  void make(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
  }
  bool search(const std::vector<std::string>& folders) {
    vantrel_io::file_ptr found;
    return find_correction_file((root_ + "\\main\\song.wv").c_str(), folders, found, io_test::no_abort()) &&
           found;
  }
  std::string root_;
};

TEST_F(CorrectionSearch, BesideTheFileThenInTheFoldersInOrder) {
  EXPECT_FALSE(search({root_ + "\\beside", root_ + "\\folder\\"}));
  make(root_ + "\\folder\\song.wvc");
  EXPECT_TRUE(search({root_ + "\\beside", root_ + "\\folder\\"})) << "trailing separator not doubled";
  EXPECT_TRUE(search({root_ + "\\folder"})) << "separator added";
  make(root_ + "\\main\\song.wvc");
  EXPECT_TRUE(search({}));
}

TEST_F(CorrectionSearch, AFileThatCannotBeOpenedEndsTheSearch) {
  make(root_ + "\\main\\song.wvc");
  make(root_ + "\\folder\\song.wvc");
  HANDLE held = CreateFileA((root_ + "\\main\\song.wvc").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(search({root_ + "\\folder"}));
  CloseHandle(held);
}

}  // namespace
