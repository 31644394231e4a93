// Packet decoders: how a container input (or the MPEG input, which frames
// its stream itself) gets an object that turns one compressed packet at a
// time into an audio block. The input names itself by an owner GUID and
// hands over the stream's set-up data; the first registered packet_codec that
// accepts the pair opens the decoder. Decoders learn what the set-up lacks
// through GUID-keyed control messages.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/abort_signal.h"
#include "core/service_object.h"

class audio_block;
class track_info;

// Where a decoder reports damage it steps over instead of failing.
class stream_receiver : public service_object {
public:
  static constexpr GUID class_guid = {0x5D336782, 0x69D6, 0x4225, {0x9E, 0xA8, 0xCC, 0x29, 0x35, 0x07, 0xF9, 0xFE}};
  using service_parent = service_object;

  enum severity : std::uint32_t { information = 0, structure_error = 1, warning = 2 };
  virtual void report(const char* text, std::uint32_t severity) = 0;

  // A static receiver that drops every message.
  static stream_receiver& discard();

protected:
  ~stream_receiver() = default;
};

class packet_decoder : public service_object {
public:
  static constexpr GUID class_guid = {0x015A6C0E, 0x1571, 0x49BD, {0xA3, 0x67, 0x30, 0xB4, 0xBD, 0x88, 0x9C, 0x34}};
  using service_parent = service_object;

  virtual std::uint32_t control(const GUID& message, std::uint32_t value, void* pointer, std::uint32_t size) = 0;
  // The stream's technical fields ("codec", "encoding", ...).
  virtual void get_info(track_info& out) = 0;
  // Packets to decode and drop before the first one at a seek target.
  virtual std::uint32_t seek_preroll_packets() = 0;
  virtual double seek_preroll_seconds() = 0;
  // Forgets the decoding history; called after every seek.
  virtual void reset() = 0;
  // A size of 0 drains what the decoder still holds at the end of the stream.
  virtual void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) = 0;
  virtual bool wants_first_frame() = 0;
  virtual void set_first_frame(const void* data, std::uint32_t size, const abort_signal& abort) = 0;

protected:
  ~packet_decoder() = default;
};

using packet_decoder_ptr = service_ptr<packet_decoder>;

class packet_codec : public service_object {
public:
  static constexpr GUID class_guid = {0x53006A71, 0xC03C, 0x4C38, {0x82, 0x2F, 0x9A, 0x34, 0xA5, 0x65, 0x50, 0x95}};
  using service_parent = service_object;

  // Never throws for a stream that is not its own.
  virtual bool accepts(const GUID& owner, std::uint32_t param, const void* setup, std::uint32_t setup_size) = 0;
  // Unusable set-up data: exception_io_data.
  virtual void open(packet_decoder_ptr& out, bool for_decoding, const GUID& owner, std::uint32_t param,
                    const void* setup, std::uint32_t setup_size, const abort_signal& abort) = 0;

  // Opens the stream with the first registered codec that accepts it; none:
  // exception_io_data.
  static void find_and_open(packet_decoder_ptr& out, bool for_decoding, const GUID& owner, std::uint32_t param,
                            const void* setup, std::uint32_t setup_size, const abort_signal& abort);

protected:
  ~packet_codec() = default;
};

// Owners and their set-up data.
inline constexpr GUID matroska_owner_guid = {0x5C2DE804, 0xEAEE, 0x4B8E, {0x8C, 0x14, 0x92, 0x07, 0xA2, 0x54, 0x9B, 0xBE}};
inline constexpr GUID mp4_owner_guid = {0x30F95BEB, 0xFDF4, 0x4A75, {0xB5, 0x97, 0x60, 0xCA, 0xF9, 0x3B, 0x39, 0xC4}};
// ALAC tracks of MP4 files; the set-up is the whole "alac" box payload.
inline constexpr GUID alac_owner_guid = {0x8F450CB3, 0xA083, 0x4B83, {0x8D, 0x85, 0xAD, 0xCE, 0x5E, 0xA6, 0xD5, 0x7F}};
inline constexpr GUID mpeg_layer1_owner_guid = {0x1C068E5E, 0xDD65, 0x4639, {0xBF, 0x85, 0x78, 0xB2, 0x97, 0xC8, 0xFF, 0xAC}};
inline constexpr GUID mpeg_layer2_owner_guid = {0x17B300A0, 0x3110, 0x4400, {0xA4, 0x34, 0xC1, 0x8F, 0xBE, 0xEA, 0xBA, 0x81}};
inline constexpr GUID mpeg_layer3_owner_guid = {0x7B741A69, 0x1AC7, 0x440D, {0xA0, 0x1D, 0x88, 0x53, 0x6D, 0xD4, 0xDE, 0x1C}};

// The Matroska set-up record: six 32-bit words (its two pointers are 64-bit
// words in a 64-bit build).
struct matroska_codec_setup {
  const char* codec_id;
  std::uint32_t sample_rate;
  std::uint32_t output_sample_rate;
  std::uint32_t channels;
  std::uint32_t private_size;
  const void* private_data;
};
static_assert(sizeof(matroska_codec_setup) == 16 + 2 * sizeof(void*), "the record is four 32-bit words and two pointers");

// The codec id of a Matroska set-up, or null for another owner or size.
const char* matroska_codec_id(const GUID& owner, const void* setup, std::uint32_t setup_size);

// Control messages.
inline constexpr GUID packet_control_set_sample_rate = {0xBC73F9FC, 0x0107, 0x480E, {0xBF, 0x0E, 0xBE, 0x58, 0xAF, 0x7A, 0xF3, 0x28}};
inline constexpr GUID packet_control_set_channels = {0x1AFA1145, 0xE774, 0x4C26, {0x91, 0xD6, 0x3F, 0x5D, 0xD6, 0x1E, 0x26, 0x0E}};
inline constexpr GUID packet_control_set_bits_per_sample = {0xE5D19AAD, 0x931B, 0x48AC, {0xAA, 0x6E, 0x95, 0xE2, 0xC2, 0x3B, 0xEC, 0x37}};
inline constexpr GUID packet_control_set_little_endian = {0x29C556DA, 0x065A, 0x4D24, {0x8A, 0x11, 0x0F, 0x9D, 0xBC, 0x05, 0xA8, 0x17}};
inline constexpr GUID packet_control_set_signed = {0x0759C32F, 0xE78E, 0x4479, {0xB0, 0xC0, 0xB6, 0x53, 0xDF, 0xA0, 0x14, 0xD8}};

// The Ogg input hands every codec the first packet of a stream, then each
// further header packet, as libogg's packet record (32 bytes on 32-bit
// Windows, 40 on 64-bit, where its pointer grows and its 64-bit fields align).
inline constexpr GUID ogg_owner_guid = {0x8FA27457, 0xA021, 0x43B9, {0xAD, 0x20, 0xA7, 0x96, 0xDB, 0x94, 0x7C, 0xD1}};
inline constexpr std::uint32_t ogg_packet_record_size = sizeof(void*) == 8 ? 40 : 32;

// Header packets after the first: answers 1 once decoding may begin.
inline constexpr GUID packet_control_next_header = {0xBEB22C78, 0xEB49, 0x4F9E, {0x9E, 0x37, 0x57, 0xD8, 0x87, 0x40, 0xFB, 0x4C}};
inline constexpr GUID packet_control_get_sample_rate = {0x6226BF73, 0x1C37, 0x4AA1, {0xAE, 0xB1, 0x18, 0x8B, 0x4A, 0xF3, 0xAE, 0xF7}};
// Frames to drop at the start of the stream.
inline constexpr GUID packet_control_get_start_skip = {0xFAE837D4, 0xC396, 0x4CCD, {0xA7, 0xA5, 0xEB, 0x1E, 0x7E, 0x86, 0x32, 0xFB}};
// The record of the packet about to be decoded, so that the codec sees its
// real number, granule position and end-of-stream flag.
inline constexpr GUID packet_control_current_packet = {0xADE740BE, 0x8E2E, 0x4D0B, {0xA4, 0x00, 0x3F, 0x6E, 0x8A, 0xF7, 0x71, 0xE4}};
inline constexpr GUID packet_control_set_receiver = {0x809A5B7F, 0x99D3, 0x4848, {0x8A, 0x33, 0x7E, 0x02, 0xB2, 0x87, 0xE3, 0x3F}};
inline constexpr GUID packet_control_set_flag = {0x61FD52AD, 0x5146, 0x417E, {0x86, 0x62, 0x36, 0x15, 0x2E, 0x60, 0xA7, 0xD0}};

class decoder_message_sink;

namespace packet_codec_controls {
void send_flag(packet_decoder& decoder, bool flag);
void send_receiver(packet_decoder& decoder, stream_receiver* receiver);
// The codec's reports reach the input owner's message sink (null: none).
void send_sink(packet_decoder& decoder, decoder_message_sink* sink);
}  // namespace packet_codec_controls
