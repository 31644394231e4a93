#include "inputs/wma/wma_input.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "foundation/code_page_text.h"
#include "inputs/wma/file_stream.h"
#include "inputs/wma/header_attributes.h"
#include "inputs/wma/tag_writer.h"
#include "inputs/wma/wma_result.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "metadata/tags/tag_changes.h"
#include "playback/channel_mask.h"

namespace wma {

namespace {

constexpr GUID audio_major_type = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr HRESULT no_more_samples = static_cast<HRESULT>(0xC00D0BCF);
constexpr HRESULT seek_past_end = static_cast<HRESULT>(0xC00D002B);

struct codec_row {
  WORD format_tag;
  const char* codec;
  const char* profile;
  bool lossless;
};

constexpr codec_row codec_table[] = {
    {0x0055, "MP3", nullptr, false},  {0x0130, "ACELP", nullptr, false}, {0x0163, "WMA", "Lossless", true},
    {0x0161, "WMA", "V2", false},     {0x0162, "WMA", "V9", false},      {0x000A, "WMA", "Voice", false},
    {0x0001, "PCM", nullptr, true},
};

// A subtype of the standard form {tag-0000-0010-8000-00AA00389B71} names a
// WAVE format tag.
std::optional<WORD> format_tag_of(const GUID& subtype) {
  GUID base = subtype;
  base.Data1 = 0;
  constexpr GUID standard = {0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  if (!IsEqualGUID(base, standard) || subtype.Data1 > 0xFFFF) return std::nullopt;
  return static_cast<WORD>(subtype.Data1);
}

// The media type's bytes; the record's format pointer points into them.
std::vector<std::uint8_t> media_type_bytes(IWMMediaProps& props, const char* operation) {
  DWORD size = 0;
  check(props.GetMediaType(nullptr, &size), operation);
  if (size < sizeof(WM_MEDIA_TYPE)) throw vantrel_io::exception_io_data();
  std::vector<std::uint8_t> bytes(size);
  check(props.GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(bytes.data()), &size), operation);
  return bytes;
}

// The format block, when it lies inside the bytes the runtime gave.
const WAVEFORMATEX* wave_format_of(const std::vector<std::uint8_t>& bytes) {
  const auto* type = reinterpret_cast<const WM_MEDIA_TYPE*>(bytes.data());
  if (!type->pbFormat || type->cbFormat < sizeof(WAVEFORMATEX)) return nullptr;
  const auto* format = type->pbFormat;
  const auto* begin = bytes.data();
  if (format < begin || format + type->cbFormat > begin + bytes.size()) return nullptr;
  return reinterpret_cast<const WAVEFORMATEX*>(format);
}

void keep_first_value(track_info& info, const char* field) {
  const std::uint32_t index = info.find_field(field);
  if (index == track_info::not_found) return;
  while (info.field_value_count(index) > 1) info.remove_field_value(index, info.field_value_count(index) - 1);
}

void require_first_subsong(std::uint32_t subsong) {
  if (subsong != 0) throw vantrel_io::exception_io_data();
}

// What opening a reader finds out; filled on the runtime's worker.
struct reader_setup {
  qiv::com_ptr<IWMSyncReader> reader;
  wma_audio_stream stream;
};

void choose_audio_stream(reader_setup& setup) {
  qiv::com_ptr<IWMProfile> profile;
  check(setup.reader->QueryInterface(__uuidof(IWMProfile), profile.receive_void()), "WMReader::QueryInterface");
  DWORD count = 0;
  check(profile->GetStreamCount(&count), "IWMProfile::GetStreamCount");
  for (DWORD index = 0; index < count; ++index) {
    qiv::com_ptr<IWMStreamConfig> config;
    check(profile->GetStream(index, config.receive()), "IWMProfile::GetStream");
    GUID type{};
    check(config->GetStreamType(&type), "IWMStreamConfig::GetStreamType");
    if (!IsEqualGUID(type, audio_major_type)) continue;
    check(config->GetStreamNumber(&setup.stream.stream_number), "IWMStreamConfig::GetStreamNumber");
    qiv::com_ptr<IWMMediaProps> props;
    check(config->QueryInterface(__uuidof(IWMMediaProps), props.receive_void()), "IWMStreamConfig::QueryInterface");
    setup.stream.media_type = media_type_bytes(*props.get(), "IWMMediaProps::GetMediaType");
    return;
  }
  throw vantrel_io::exception_io(qiv::copy_message, "Could not find audio stream");
}

void choose_output_format(reader_setup& setup) {
  IWMSyncReader& reader = *setup.reader.get();
  const DWORD output = setup.stream.output_number;
  // Every channel as it is in the file: no speaker down-mix.
  BOOL discrete = TRUE;
  check(reader.SetOutputSetting(output, L"EnableDiscreteOutput", WMT_TYPE_BOOL,
                                reinterpret_cast<const BYTE*>(&discrete), sizeof(discrete)),
        "IWMSyncReader::SetOutputSetting");
  DWORD speakers = 0;
  check(reader.SetOutputSetting(output, L"SpeakerConfig", WMT_TYPE_DWORD, reinterpret_cast<const BYTE*>(&speakers),
                                sizeof(speakers)),
        "IWMSyncReader::SetOutputSetting");
  DWORD formats = 0;
  check(reader.GetOutputFormatCount(output, &formats), "IWMSyncReader::GetOutputFormatCount");
  if (formats == 0) throw vantrel_io::exception_io_data();
  qiv::com_ptr<IWMOutputMediaProps> props;
  check(reader.GetOutputFormat(output, 0, props.receive()), "IWMSyncReader::GetOutputFormat");
  const std::vector<std::uint8_t> bytes = media_type_bytes(*props.get(), "IWMOutputMediaProps::GetMediaType");
  check(reader.SetOutputProps(output, props.get()), "IWMSyncReader::SetOutputProps");
  const WAVEFORMATEX* format = wave_format_of(bytes);
  if (!format) throw vantrel_io::exception_io_data();
  setup.stream.sample_rate = format->nSamplesPerSec;
  setup.stream.bits_per_sample = format->wBitsPerSample;
  setup.stream.channels = format->nChannels;
  if (setup.stream.sample_rate < 1000 || setup.stream.sample_rate > 2822400 || setup.stream.bits_per_sample == 0 || setup.stream.channels == 0)
    throw vantrel_io::exception_io_data();
}

// Whatever the runtime is given stays alive for it as long as it may still
// be inside: a reference that is never released.
template <class T>
void give_up(qiv::com_ptr<T>& reference) noexcept {
  if (reference) new (std::nothrow) qiv::com_ptr<T>(std::move(reference));
}

}  // namespace

wma_input::~wma_input() {
  close_reader();
  file_.reset();
  if (worker_.stuck()) runtime_.abandon();
  else runtime_.unload();
}

void wma_input::close_reader() noexcept {
  if (!reader_ || worker_.stuck()) {
    abandon_reader();
    return;
  }
  try {
    // Closed and released on the worker: a runtime that hangs here too
    // costs a bounded wait.
    worker_.run([reader = std::move(reader_)]() mutable {
      reader->Close();
      reader.reset();
    }, never_raised_abort_signal());
  } catch (...) {
  }
  abandon_reader();
}

void wma_input::abandon_reader() noexcept { give_up(reader_); }

void wma_input::open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
  for_writing_ = reason == open_reason::info_write;
  path_ = path;
  runtime_.load();
  if (file ? file->is_remote() : vantrel_io::is_remote(path)) throw vantrel_io::exception_io_object_is_remote();
  own_file_ = !file;
  if (own_file_) {
    vantrel_io::open(file_, path, for_writing_ ? vantrel_io::open_mode::write_existing : vantrel_io::open_mode::read,
                     abort);
  } else {
    file_ = std::move(file);
    file_->rewind(abort);
  }
  open_reader(true, abort);
}

void wma_input::open_reader(bool choose_stream, const abort_signal& abort) {
  auto setup = std::make_shared<reader_setup>();
  const create_sync_reader_function create = runtime_.sync_reader_entry();
  vantrel_io::file_ptr file = file_;
  worker_.run([setup, create, file, choose_stream] {
    try {
      check(create(nullptr, 0, setup->reader.receive()), "WMCreateSyncReader");
      qiv::com_ptr<IStream> stream;
      *stream.receive() = make_file_stream(file);
      check(setup->reader->OpenStream(stream.get()), "IWMSyncReader::OpenStream");
      if (!choose_stream) return;
      choose_audio_stream(*setup);
      check(setup->reader->GetOutputNumberForStream(setup->stream.stream_number, &setup->stream.output_number), nullptr);
      choose_output_format(*setup);
    } catch (...) {
      // A reader that refused the file goes here too, within the bound.
      if (setup->reader) setup->reader->Close();
      setup->reader.reset();
      throw;
    }
  }, abort);
  reader_ = std::move(setup->reader);
  if (!choose_stream) return;
  stream_ = std::move(setup->stream);
}

vantrel_io::file_stats wma_input::get_file_stats(const abort_signal& abort) {
  qiv::dynamic_assert(file_.get() != nullptr);
  return file_->get_stats(abort);
}

void wma_input::get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) {
  require_first_subsong(subsong);
  abort.check_and_throw();
  qiv::dynamic_assert(reader_.get() != nullptr);
  // Read on the worker into a copy; the caller's info is not the worker's
  // to touch.
  auto read = std::make_shared<track_info_impl>();
  read->copy_all_from(out);
  IWMSyncReader* reader = reader_.get();
  const WORD stream_number = stream_.stream_number;
  worker_.run([read, reader, stream_number] {
    qiv::com_ptr<IWMHeaderInfo3> header;
    if (SUCCEEDED(reader->QueryInterface(__uuidof(IWMHeaderInfo3), header.receive_void()))) {
      read_attributes(*header.get(), 0, *read);
      if (stream_number != 0) read_attributes(*header.get(), stream_number, *read);
    }
    qiv::com_ptr<IWMHeaderInfo> base;
    check(reader->QueryInterface(__uuidof(IWMHeaderInfo), base.receive_void()), "WMReader::QueryInterface");
    WORD stream = 0;
    WMT_ATTR_DATATYPE duration_type = WMT_TYPE_QWORD;
    QWORD duration = 0;
    WORD size = sizeof(duration);
    check(base->GetAttributeByName(&stream, L"Duration", &duration_type, reinterpret_cast<BYTE*>(&duration), &size),
          nullptr);
    qiv::dynamic_assert(duration_type == WMT_TYPE_QWORD && size == sizeof(duration));
    read->set_length(static_cast<double>(duration) / 10000000.0);
  }, abort);
  out.copy_all_from(*read);
  for (const char* field : {"tracknumber", "totaltracks", "discnumber", "totaldiscs"}) keep_first_value(out, field);

  out.set_tech_int("samplerate", stream_.sample_rate);
  out.set_tech_int("channels", stream_.channels);
  const auto* type = reinterpret_cast<const WM_MEDIA_TYPE*>(stream_.media_type.data());
  if (!IsEqualGUID(type->majortype, audio_major_type))
    throw vantrel_io::exception_io(qiv::copy_message, "Internal error (media type is not audio)");
  if (const std::optional<WORD> tag = format_tag_of(type->subtype)) {
    for (const codec_row& row : codec_table) {
      if (row.format_tag != *tag) continue;
      out.set_tech("codec", qiv::until_nul, row.codec, qiv::until_nul);
      if (row.profile) out.set_tech("codec_profile", qiv::until_nul, row.profile, qiv::until_nul);
      if (row.lossless) out.set_tech_int("bitspersample", stream_.bits_per_sample);
      out.set_tech("encoding", qiv::until_nul, row.lossless ? "lossless" : "lossy", qiv::until_nul);
      break;
    }
  }
}

void wma_input::initialize(std::uint32_t subsong, std::uint32_t, const abort_signal& abort) {
  require_first_subsong(subsong);
  seek(0.0, abort);
}

bool wma_input::run(audio_block& out, const abort_signal& abort) {
  qiv::dynamic_assert(reader_.get() != nullptr);
  abort.check_and_throw();
  // The worker's copy of the sample: a call that comes back late must not
  // write into this frame.
  struct next_sample {
    bool at_end = false;
    std::vector<std::uint8_t> bytes;
  };
  while (!at_end_) {
    auto sample = std::make_shared<next_sample>();
    IWMSyncReader* reader = reader_.get();
    const WORD stream_number = stream_.stream_number;
    worker_.run([sample, reader, stream_number] {
      qiv::com_ptr<INSSBuffer> buffer;
      QWORD time = 0, duration = 0;
      DWORD flags = 0, output = 0;
      WORD stream = 0;
      const HRESULT result =
          reader->GetNextSample(stream_number, buffer.receive(), &time, &duration, &flags, &output, &stream);
      if (result == no_more_samples) {
        sample->at_end = true;
        return;
      }
      check(result, "IWMSyncReader::GetNextSample");
      BYTE* bytes = nullptr;
      DWORD length = 0;
      check(buffer->GetBufferAndLength(&bytes, &length), "INSSBuffer::GetBufferAndLength");
      sample->bytes.assign(bytes, bytes + length);
    }, abort);
    if (sample->at_end) {
      at_end_ = true;
      break;
    }
    // An empty sample carries no audio; the next one does.
    if (sample->bytes.empty()) continue;
    out.set_data_int(sample->bytes.data(), sample->bytes.size(), stream_.bits_per_sample, stream_.sample_rate,
                     stream_.channels, default_channel_mask(stream_.channels));
    return true;
  }
  return false;
}

void wma_input::seek(double seconds, const abort_signal& abort) {
  qiv::dynamic_assert(reader_.get() != nullptr);
  abort.check_and_throw();
  if (!(seconds > 0.0)) seconds = 0.0;
  const double whole_samples = std::floor(seconds * stream_.sample_rate + 0.5) / stream_.sample_rate;
  const auto start = static_cast<QWORD>(std::floor(whole_samples * 10000000.0 + 0.5));
  auto result = std::make_shared<HRESULT>(S_OK);
  IWMSyncReader* reader = reader_.get();
  worker_.run([result, reader, start] { *result = reader->SetRange(start, 0); }, abort);
  if (*result == seek_past_end) {
    at_end_ = true;
    return;
  }
  check(*result, "IWMSyncReader::SetRange");
  at_end_ = false;
}

void wma_input::set_info(std::uint32_t subsong, const track_info& info) {
  require_first_subsong(subsong);
  // An edit that changes no value writes nothing: the editor would rewrite
  // the header for it.
  track_info_impl as_read;
  get_info(subsong, as_read, never_raised_abort_signal());
  if (tag_changes::between(as_read, info).empty()) {
    pending_info_.reset();
    return;
  }
  pending_info_.emplace(info);
}

void wma_input::commit(const abort_signal& abort) {
  if (!pending_info_) return;
  const track_info_impl info = std::move(*pending_info_);
  pending_info_.reset();
  write_tags(info, abort);
}

void wma_input::write_tags(const track_info& info, const abort_signal& abort) {
  // The editor needs the file to itself: the reader and the object's own
  // handle go first. A handed-in file stays the source of the copy.
  vantrel_io::file_ptr source = own_file_ ? vantrel_io::file_ptr() : file_;
  file_.reset();
  close_reader();

  const bool native = own_file_ && std::strncmp(path_.c_str(), "file://", 7) == 0;
  std::wstring native_path;
  if (native) {
    native_path = qiv::utf8_to_utf16(path_.c_str() + 7, path_.size() - 7);
  } else if (!source) {
    vantrel_io::open(source, path_.c_str(), vantrel_io::open_mode::write_existing, never_raised_abort_signal());
  }
  // Once the editor has begun, an abort does not stop the wait: the file is
  // written whole or the runtime counts as stuck.
  auto edited = std::make_shared<track_info_impl>();
  edited->copy_all_from(info);
  const create_editor_function create_editor = runtime_.editor_entry();
  worker_.run([create_editor, native_path, source, edited] {
    wma::write_tags(create_editor, native_path, source.get(), *edited, never_raised_abort_signal());
  }, never_raised_abort_signal());
  source.reset();

  vantrel_io::open(file_, path_.c_str(), vantrel_io::open_mode::write_existing, abort);
  own_file_ = true;
  open_reader(false, abort);
  at_end_ = false;
}

}  // namespace wma
