// zorvtool decode PATH OUT.wav [--subsong N] [--seek SECONDS] [--bits 16|24|32] [--check]:
// decodes PATH through the input dispatch, as the playback engine opens an
// item, and writes what the decoder gives to a WAV file: 32-bit float by
// default, 16 or 24-bit integer PCM when asked. With --check the decoder runs
// its integrity check as well, and reports what it finds.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "core/abort_signal.h"
#include "foundation/byte_order.h"
#include "core/service_factory.h"
#include "io/path_schemes.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/input_dispatch.h"
#include "playback/audio_block.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

// Damage the decoder steps over goes to the error output, one line each.
class print_messages : public decoder_message_sink {
public:
  void on_message(const char* text, bool is_error) override {
    zorvtool::print_error(std::string(is_error ? "error: " : "warning: ") + text + "\n");
  }
};

// What the playback engine passes when it opens an item to play, and the
// integrity check's bit.
constexpr std::uint32_t playback_open_flags = 4;
constexpr std::uint32_t integrity_check_flag = 8;

struct decode_options {
  std::string path;
  std::string out_path;
  std::uint32_t subsong = 0;
  double seek_seconds = -1.0;
  unsigned bits = 32;
  bool check = false;
};

decode_options parse_options(const zorvtool::arguments& args) {
  decode_options options;
  std::size_t positional = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool has_value = i + 1 < args.size();
    if ((arg == "--subsong" || arg == "--seek" || arg == "--bits") && !has_value)
      throw std::runtime_error(arg + " needs a value");
    if (arg == "--check") {
      options.check = true;
    } else if (arg == "--subsong") {
      options.subsong = static_cast<std::uint32_t>(std::strtoul(args[++i].c_str(), nullptr, 10));
    } else if (arg == "--seek") {
      options.seek_seconds = std::strtod(args[++i].c_str(), nullptr);
      if (!(options.seek_seconds >= 0.0)) throw std::runtime_error("--seek takes seconds from 0 up");
    } else if (arg == "--bits") {
      options.bits = static_cast<unsigned>(std::strtoul(args[++i].c_str(), nullptr, 10));
      if (options.bits != 16 && options.bits != 24 && options.bits != 32)
        throw std::runtime_error("--bits takes 16, 24 or 32");
    } else if (positional == 0) {
      options.path = zorvtool::system_path(arg);
      ++positional;
    } else if (positional == 1) {
      options.out_path = zorvtool::system_path(arg);
      ++positional;
    } else {
      throw std::runtime_error("unexpected argument \"" + arg + "\"");
    }
  }
  if (positional != 2)
    throw std::runtime_error(
        "usage: zorvtool decode PATH OUT.wav [--subsong N] [--seek SECONDS] [--bits 16|24|32] [--check]");
  return options;
}

void put_le(std::string& out, std::uint32_t value, int count) {
  std::uint8_t bytes[4];
  qiv::store_le(bytes, value, count);
  out.append(reinterpret_cast<const char*>(bytes), count);
}
void put16(std::string& out, std::uint16_t value) { put_le(out, value, 2); }
void put32(std::string& out, std::uint32_t value) { put_le(out, value, 4); }

// A WAVE header for `data_bytes` of sample data. More than two channels use
// the extensible form so the speaker mask travels with the samples. Every
// format but plain PCM carries the size of its extension, 0 for float: readers
// that follow the format record's rules warn about a float record without it.
std::string wave_header(const audio_block& format, unsigned bits, std::uint32_t data_bytes) {
  const bool is_float = bits == 32;
  const bool extensible = format.get_channels() > 2;
  const std::uint16_t block_align = static_cast<std::uint16_t>(format.get_channels() * (bits / 8));
  std::string fmt;
  put16(fmt, extensible ? 0xFFFE : (is_float ? 3 : 1));
  put16(fmt, static_cast<std::uint16_t>(format.get_channels()));
  put32(fmt, format.get_sample_rate());
  put32(fmt, format.get_sample_rate() * block_align);
  put16(fmt, block_align);
  put16(fmt, static_cast<std::uint16_t>(bits));
  if (extensible) {
    put16(fmt, 22);
    put16(fmt, static_cast<std::uint16_t>(bits));
    put32(fmt, format.get_channel_config());
    // KSDATAFORMAT_SUBTYPE_PCM or _IEEE_FLOAT: the format tag in the first two bytes.
    put32(fmt, is_float ? 3 : 1);
    fmt.append("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
  } else if (is_float) {
    put16(fmt, 0);
  }
  std::string header = "RIFF";
  put32(header, static_cast<std::uint32_t>(4 + 8 + fmt.size() + 8 + data_bytes));
  header += "WAVEfmt ";
  put32(header, static_cast<std::uint32_t>(fmt.size()));
  header += fmt;
  header += "data";
  put32(header, data_bytes);
  return header;
}

// Collects the decoded bytes and writes them in large pieces: every write is
// a request to the system (several round trips under Wine), and decoders
// hand out blocks of a few milliseconds.
class buffered_output {
public:
  static constexpr std::size_t capacity = 1 << 20;

  buffered_output(vantrel_io::file_ptr file, const abort_signal& abort) : file_(std::move(file)), abort_(abort) {
    pending_.reserve(capacity);
  }

  void write(const void* bytes, std::size_t count) {
    const auto* source = static_cast<const char*>(bytes);
    while (count > 0) {
      const std::size_t piece = std::min(count, capacity - pending_.size());
      pending_.append(source, piece);
      source += piece;
      count -= piece;
      if (pending_.size() == capacity) flush();
    }
  }

  void flush() {
    if (pending_.empty()) return;
    file_->write(pending_.data(), static_cast<std::uint32_t>(pending_.size()), abort_);
    pending_.clear();
  }

private:
  vantrel_io::file_ptr file_;
  const abort_signal& abort_;
  std::string pending_;
};

int run_decode(const zorvtool::arguments& args) {
  const decode_options options = parse_options(args);
  raisable_abort_signal abort;

  // The decoder keeps a reference to the sink until it is released, so the
  // sink is made first and goes last.
  service_single_instance<print_messages> messages;
  decoder_instance_ptr decoder;
  input_dispatch::open_for_decoding(decoder, vantrel_io::file_ptr(), options.path.c_str(), abort);
  service_ptr<decoder_instance_ext> extended;
  if (service_handle handle; decoder->query(handle, decoder_instance_ext::class_guid)) {
    extended = static_cast<decoder_instance_ext*>(handle.get());
    extended->set_message_sink(&messages);
  }
  decoder->initialize(options.subsong, playback_open_flags | (options.check ? integrity_check_flag : 0), abort);
  if (options.seek_seconds >= 0.0) {
    if (!decoder->can_seek()) throw std::runtime_error("the decoder cannot seek in this file");
    decoder->seek(options.seek_seconds, abort);
  }

  vantrel_io::file_ptr out;
  vantrel_io::open(out, options.out_path.c_str(), vantrel_io::open_mode::write_new, abort);
  buffered_output writer(out, abort);

  audio_block block;
  audio_block format;  // the first block's rate, channels and mask
  std::uint64_t data_bytes = 0;
  std::uint64_t frames = 0;
  qiv::byte_array pcm;
  bool header_written = false;
  while (decoder->run(block, abort)) {
    if (block.get_sample_count() == 0) continue;
    if (!header_written) {
      format.set_data(nullptr, 0, block.get_channels(), block.get_sample_rate(), block.get_channel_config());
      const std::string header = wave_header(format, options.bits, 0);
      writer.write(header.data(), header.size());
      header_written = true;
    } else if (block.get_channels() != format.get_channels() || block.get_sample_rate() != format.get_sample_rate()) {
      throw std::runtime_error("the stream changes its format at frame " + std::to_string(frames) +
                               "; a WAV file holds one format");
    }
    const void* bytes = block.get_data();
    std::uint32_t byte_count = block.get_sample_count() * block.get_channels() * 4;
    if (options.bits != 32) {
      if (!block.to_int_pcm(pcm, options.bits, options.bits, false)) throw std::runtime_error("cannot convert to integer PCM");
      bytes = pcm.data();
      byte_count = pcm.get_count();
    }
    writer.write(bytes, byte_count);
    data_bytes += byte_count;
    frames += block.get_sample_count();
    if (data_bytes > 0xFFFFFFFFull - 64) throw std::runtime_error("the decoded audio does not fit a WAV file (4 GiB)");
  }
  if (!header_written) throw std::runtime_error("the decoder gave no audio");
  writer.flush();
  const std::string header = wave_header(format, options.bits, static_cast<std::uint32_t>(data_bytes));
  out->seek(0, abort);
  out->write(header.data(), static_cast<std::uint32_t>(header.size()), abort);

  zorvtool::print(std::to_string(frames) + " frames, " + std::to_string(format.get_sample_rate()) + " Hz, " +
                  std::to_string(format.get_channels()) + " channels\n");
  return 0;
}

const zorvtool::command_registration registration(
    {"decode",
     "decode PATH OUT.wav [--subsong N] [--seek SECONDS] [--bits 16|24|32] [--check]  decode PATH to a WAV file",
     run_decode});

}  // namespace
