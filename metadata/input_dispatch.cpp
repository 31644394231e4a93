#include "metadata/input_dispatch.h"

#include <chrono>
#include <cstring>
#include <string_view>

#include "core/service_registry.h"
#include "foundation/crash.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"

void claimant_list::add(decoder_service* service) {
  if (inline_count_ < inline_capacity) {
    inline_[inline_count_++] = service;
  } else {
    overflow_.append(decoder_service_ptr(service));
  }
}

decoder_service* claimant_list::operator[](std::uint32_t index) const noexcept {
  return index < inline_capacity ? inline_[index].get() : overflow_[index - inline_capacity].get();
}

void claimant_list::clear() noexcept {
  for (std::uint32_t i = 0; i < inline_count_; ++i) inline_[i].reset();
  inline_count_ = 0;
  overflow_.set_size(0);
}

namespace input_dispatch {

namespace {

// Where the path's extension lies in it; empty when it has none.
std::string_view extension_of(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == '|' || *p == ':') name = p + 1;
  }
  const char* end = name + std::strlen(name);
  for (const char* p = end; p > name;) {
    --p;
    if (*p == '?') end = p;
    else if (*p == '.') {
      const std::size_t length = static_cast<std::size_t>(end - (p + 1));
      return length < max_extension_length ? std::string_view(p + 1, length) : std::string_view();
    }
  }
  return {};
}

// The path's extension as the text the services are asked with.
struct extension_text {
  char text[max_extension_length];
  explicit extension_text(const char* path) {
    const std::string_view found = extension_of(path);
    found.copy(text, found.size());
    text[found.size()] = 0;
  }
};

// Calls `visit` with every decoder service; with skip_flagged, not with those
// flagged decoder_service::flag_skippable.
template <class Visit>
void for_each_decoder(bool skip_flagged, Visit visit) {
  service_enumerator walk(service_registry::find_class(decoder_service::class_guid));
  service_handle handle;
  while (walk.next(handle)) {
    auto* service = static_cast<decoder_service*>(handle.get());
    if (!skip_flagged || (service->get_flags() & decoder_service::flag_skippable) == 0) visit(*service);
  }
}

}  // namespace

void get_extension(const char* path, qiv::string_object& out) {
  const std::string_view extension = extension_of(path);
  out.set_string(extension.data() != nullptr ? extension.data() : "", extension.size());
}

path_claim_test::path_claim_test(bool skip_flagged) {
  for_each_decoder(skip_flagged, [&](decoder_service& service) { services_.emplace_back(&service); });
}

bool path_claim_test::is_claimed(const char* path) const {
  const extension_text extension(path);
  for (const decoder_service_ptr& service : services_)
    if (service->is_our_path(path, extension.text)) return true;
  return false;
}

namespace {

template <class Accepts>
bool collect(claimant_list& out, bool skip_flagged, Accepts accepts) {
  out.clear();
  for_each_decoder(skip_flagged, [&](decoder_service& service) {
    if (accepts(service)) out.add(&service);
  });
  return out.get_count() != 0;
}

// A data error that keeps the text a claimant gave it.
class exception_io_data_with_text : public vantrel_io::exception_io_data {
public:
  explicit exception_io_data_with_text(const char* text)
      : exception_io_data(vantrel_io::io_message("", text)) {}
};

template <class Open>
void try_claimants(const claimant_list& claimants, Open open) {
  const std::uint32_t count = claimants.get_count();
  if (count == 1) {
    open(*claimants[0]);
    return;
  }
  qiv::string_buffer first_message;
  std::uint32_t data_failures = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    try {
      open(*claimants[i]);
      return;
    } catch (const vantrel_io::exception_io_unsupported_format&) {
      // Not this input's file after all: the next one may take it.
    } catch (const vantrel_io::exception_io_data& error) {
      if (data_failures++ == 0) first_message.set_string(error.what());
    }
  }
  if (data_failures > 1) throw vantrel_io::exception_io_data();
  if (data_failures == 1) throw exception_io_data_with_text(first_message.get_ptr());
  throw vantrel_io::exception_io_unsupported_format();
}

template <class Open>
void open_through_claimants(const vantrel_io::file_ptr& given, const char* path, vantrel_io::open_mode mode,
                            const abort_signal& abort, bool skip_flagged, Open open) {
  vantrel_io::file_ptr file = given;
  if (!file) {
    vantrel_io::scheme_handler_ptr handler;
    if (vantrel_io::find_scheme_handler(path, handler) && handler->wants_open_for_type()) {
      handler->open(file, path, mode, abort);
    }
  }
  claimant_list claimants;
  if (file) {
    qiv::string_buffer mime_type;
    if (file->get_mime_type(mime_type) && collect_by_content_type(claimants, mime_type.get_ptr(), skip_flagged)) {
      try_claimants(claimants, [&](decoder_service& service) { open(service, file); });
      return;
    }
  }
  if (!collect_by_path(claimants, path, skip_flagged)) throw vantrel_io::exception_io_unsupported_format();
  try_claimants(claimants, [&](decoder_service& service) { open(service, file); });
}

}  // namespace

bool collect_by_content_type(claimant_list& out, const char* mime_type, bool skip_flagged) {
  return collect(out, skip_flagged, [&](decoder_service& service) { return service.is_our_content_type(mime_type); });
}

bool collect_by_path(claimant_list& out, const char* path, bool skip_flagged) {
  const extension_text extension(path);
  return collect(out, skip_flagged,
                 [&](decoder_service& service) { return service.is_our_path(path, extension.text); });
}

void open_for_decoding(decoder_instance_ptr& out, const vantrel_io::file_ptr& file, const char* path,
                       const abort_signal& abort, bool skip_flagged) {
  open_through_claimants(file, path, vantrel_io::open_mode::read, abort, skip_flagged,
                         [&](decoder_service& service, const vantrel_io::file_ptr& f) {
                           service.open_for_decoding(out, f, path, abort);
                         });
}

void open_info_reader(info_reader_ptr& out, const vantrel_io::file_ptr& file, const char* path,
                      const abort_signal& abort, bool skip_flagged) {
  open_through_claimants(file, path, vantrel_io::open_mode::read, abort, skip_flagged,
                         [&](decoder_service& service, const vantrel_io::file_ptr& f) {
                           service.open_for_info_read(out, f, path, abort);
                         });
}

void open_info_writer(info_writer_ptr& out, const vantrel_io::file_ptr& file, const char* path,
                      const abort_signal& abort, bool skip_flagged) {
  open_through_claimants(file, path, vantrel_io::open_mode::write_existing, abort, skip_flagged,
                         [&](decoder_service& service, const vantrel_io::file_ptr& f) {
                           service.open_for_info_write(out, f, path, abort);
                         });
}

void open_for_decoding_by_value(decoder_instance_ptr& out, vantrel_io::file_ptr file, const char* path,
                                const abort_signal& abort, bool skip_flagged) {
  open_for_decoding(out, file, path, abort, skip_flagged);
}

void open_info_reader_by_value(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                               const abort_signal& abort, bool skip_flagged) {
  open_info_reader(out, file, path, abort, skip_flagged);
}

void open_info_writer_by_value(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                               const abort_signal& abort, bool skip_flagged) {
  open_info_writer(out, file, path, abort, skip_flagged);
}

void open_info_writer_with_retry(info_writer_ptr& out, const vantrel_io::file_ptr& file, const char* path,
                                 const abort_signal& abort, double timeout_seconds, bool skip_flagged) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    try {
      open_info_writer(out, file, path, abort, skip_flagged);
      return;
    } catch (const vantrel_io::exception_io_sharing_violation&) {
      const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      if (elapsed.count() > timeout_seconds) throw;
    }
    abort.sleep(0.01);
  }
}

}  // namespace input_dispatch

namespace vantrel_io {

void open_or_rewind(file_ptr& file, const char* path, open_reason reason, const abort_signal& abort) {
  if (file) {
    file->rewind(abort);
    return;
  }
  // Reading and writing tags take a few small transfers, for which a local
  // file's synchronous handle saves the fixed cost of overlapped requests;
  // decoding reads ahead in large pieces.
  switch (reason) {
    case open_reason::info_read:
      open_for_brief_access(file, path, open_mode::read, abort);
      return;
    case open_reason::decode:
      open(file, path, open_mode::read, abort);
      return;
    case open_reason::info_write:
      open_for_brief_access(file, path, open_mode::write_existing, abort);
      return;
  }
  qiv::crash();
}

}  // namespace vantrel_io
