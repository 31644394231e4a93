#include "inputs/musepack/musepack_header_replaygain.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "inputs/musepack/musepack_packets.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "io/retag_through_temp_file.h"

namespace musepack {

namespace {

// Gains in the version 8 scale are offsets below this reference level.
constexpr double gain_reference = 64.82;

std::uint16_t clamp_to_16_bits(double value) {
  if (!(value > 0)) return 0;  // NaN included
  if (value >= 65535.0) return 65535;
  return static_cast<std::uint16_t>(value);
}

void put_le16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put_be16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}

// Version 7 gains are hundredths of a dB; 0 there means "no gain", so a
// gain of exactly 0.00 dB is stored as the nearest other value, -0.01 dB.
std::uint16_t v7_gain(float gain) {
  if (!replaygain_info::gain_present(gain) || !std::isfinite(gain)) return 0;
  const double scaled = std::floor(double(gain) * 100.0 + 0.5);
  const double limited = scaled < -32768.0 ? -32768.0 : scaled > 32767.0 ? 32767.0 : scaled;
  const auto value = static_cast<std::int16_t>(limited);
  return static_cast<std::uint16_t>(value == 0 ? -1 : value);
}

bool is_v7_header(const std::uint8_t* bytes) {
  return bytes[0] == 'M' && bytes[1] == 'P' && bytes[2] == '+' && (bytes[3] & 0x0F) == 7;
}

// Whether a value is to keep the bytes stored for it.
template <class Member>
bool unchanged(const replaygain_info& values, const replaygain_info* current, Member member) {
  return current && std::memcmp(&(values.*member), &(current->*member), sizeof(float)) == 0;
}

header_replaygain_write plan_v8(vantrel_io::file_object& file, std::uint64_t header_position,
                                const replaygain_info& values, const replaygain_info* current,
                                const abort_signal& abort) {
  packet_reader packets(file, header_position + 4);
  for (;;) {
    const packet_header packet = packets.next(abort);
    if (!packet.found || packet.is("AP") || packet.is("SE")) vantrel_io::throw_io_data();
    if (!packet.is("RG")) continue;
    // The packet keeps its length: the new values, then zeros to its end.
    constexpr std::size_t payload_size = 9;
    if (packet.payload_size < payload_size) vantrel_io::throw_io_data();
    header_replaygain_write write;
    write.found = true;
    write.position = packet.payload_position();
    std::vector<std::uint8_t> old(static_cast<std::size_t>(packet.payload_size));
    file.seek(write.position, abort);
    file.read_exact(old.data(), static_cast<std::uint32_t>(old.size()), abort);
    std::vector<std::uint8_t>& payload = write.bytes;
    payload.assign(old.size(), 0);
    payload[0] = 1;
    put_be16(&payload[1], gain_to_header(values.track_gain));
    put_be16(&payload[3], peak_to_header(values.track_peak));
    put_be16(&payload[5], gain_to_header(values.album_gain));
    put_be16(&payload[7], peak_to_header(values.album_peak));
    const bool keep[4] = {unchanged(values, current, &replaygain_info::track_gain),
                          unchanged(values, current, &replaygain_info::track_peak),
                          unchanged(values, current, &replaygain_info::album_gain),
                          unchanged(values, current, &replaygain_info::album_peak)};
    if (keep[0] && keep[1] && keep[2] && keep[3]) payload = old;
    for (std::size_t i = 0; i < 4; ++i)
      if (keep[i]) std::memcpy(&payload[1 + 2 * i], &old[1 + 2 * i], 2);
    write.changes = payload != old;
    return write;
  }
}

}  // namespace

float gain_from_header(std::uint16_t stored) {
  return static_cast<float>(gain_reference) - static_cast<float>(stored) / 256.0f;
}

float peak_from_header(std::uint16_t stored) { return static_cast<float>(std::pow(10.0, stored / 5120.0) / 32768.0); }

std::uint16_t gain_to_header(float gain) {
  if (!replaygain_info::gain_present(gain)) return 0;
  return clamp_to_16_bits(std::floor((gain_reference - gain) * 256.0 + 0.5));
}

std::uint16_t peak_to_header(float peak) {
  if (!replaygain_info::peak_present(peak) || !(peak > 0)) return 0;
  return clamp_to_16_bits(std::floor(std::log10(double(peak) * 32768.0) * 20.0 * 256.0 + 0.5));
}

void patch_v7_header(std::uint8_t (&header)[20], const replaygain_info& values, const replaygain_info* current) {
  const double track_peak = values.track_peak > 0 ? values.track_peak : 0.0;
  const double album_peak = values.album_peak > 0 ? values.album_peak : 0.0;
  if (!unchanged(values, current, &replaygain_info::track_peak)) {
    put_le16(header + 8, clamp_to_16_bits(std::floor(track_peak * 32768.0 / 1.18 + 0.5)));
    put_le16(header + 12, clamp_to_16_bits(std::floor(track_peak * 32768.0 + 0.5)));
  }
  if (!unchanged(values, current, &replaygain_info::track_gain)) put_le16(header + 14, v7_gain(values.track_gain));
  if (!unchanged(values, current, &replaygain_info::album_peak))
    put_le16(header + 16, clamp_to_16_bits(std::floor(album_peak * 32768.0 + 0.5)));
  if (!unchanged(values, current, &replaygain_info::album_gain)) put_le16(header + 18, v7_gain(values.album_gain));
}

header_replaygain_write plan_header_replaygain(vantrel_io::file_object& file, std::uint64_t header_position,
                                               const replaygain_info& values, const replaygain_info* current,
                                               const abort_signal& abort) {
  std::uint8_t header[20] = {};
  file.seek(header_position, abort);
  if (file.read(header, 4, abort) != 4) vantrel_io::throw_io_data();
  if (std::memcmp(header, "MPCK", 4) == 0) return plan_v8(file, header_position, values, current, abort);
  header_replaygain_write write;
  if (!is_v7_header(header)) return write;
  if (file.read(header + 4, 16, abort) != 16) vantrel_io::throw_io_data();
  std::uint8_t old[sizeof header];
  std::memcpy(old, header, sizeof header);
  patch_v7_header(header, values, current);
  write.found = true;
  write.changes = std::memcmp(old, header, sizeof header) != 0;
  write.position = header_position;
  write.bytes.assign(header, header + sizeof header);
  return write;
}

void apply_header_replaygain(vantrel_io::file_object& file, const header_replaygain_write& write,
                             const abort_signal& abort) {
  if (write.bytes.empty()) return;
  std::vector<std::uint8_t> old(write.bytes.size());
  file.seek(write.position, abort);
  file.read_exact(old.data(), static_cast<std::uint32_t>(old.size()), abort);
  if (!vantrel_io::change_fits_one_write(write.position, old.data(), write.bytes.data(), old.size()))
    throw exception_no_safe_rewrite();
  vantrel_io::overwrite_changed_bytes(file, write.position, old.data(), write.bytes.data(), old.size(), abort);
}

bool write_header_replaygain(vantrel_io::file_object& file, std::uint64_t header_position,
                             const replaygain_info& values, const abort_signal& abort,
                             const replaygain_info* current) {
  const header_replaygain_write write = plan_header_replaygain(file, header_position, values, current, abort);
  apply_header_replaygain(file, write, abort);
  return write.found;
}

}  // namespace musepack
