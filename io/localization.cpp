#include "io/localization.h"

#include <memory>
#include <utility>

#include "core/app_exceptions.h"
#include "core/app_state.h"
#include "core/language_loader.h"
#include "core/system_message_text.h"
#include "foundation/array.h"
#include "foundation/byte_compare.h"
#include "foundation/crash.h"
#include "foundation/resource_data.h"
#include "foundation/win32_text.h"
#include "io/file_object.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/xml_reader.h"

namespace {

constexpr char override_file_name[] = "zorv-language.xml";

// The I/O error texts that the operating system can supply in the user's own
// language when a language file leaves them out, in the order they are tried.
struct system_text {
  const char* id;
  std::uint32_t win32_code;
};

constexpr system_text system_texts[] = {
    {"exception_io_not_found", 2},            {"exception_io_denied", 5},
    {"exception_io_sharing_violation", 32},   {"exception_io_device_full", 112},
    {"exception_io_file_corrupted", 1392},    {"exception_io_already_exists", 183},
    {"exception_io_write_protected", 19},     {"exception_io_directory_not_empty", 145},
    {"exception_io_name_too_long", 111},      {"exception_io_no_handler_for_path", 161},
};

// Children of "localization": the entries and the translator's credit.
class entry_handler final : public xml_handler {
public:
  explicit entry_handler(localization_loader& loader) : loader_(loader) {}

  void on_element(const char* name, const xml_attributes& attributes, const char* content,
                  std::size_t length) override {
    if (qiv::stricmp_ascii_equal(name, "entry")) {
      const auto* id = attributes.find("id");
      const auto* text = attributes.find("text");
      if (id && text) loader_.table.set(id->value.get_ptr(), text->value.get_ptr());
    } else if (qiv::stricmp_ascii_equal(name, "copyright")) {
      read_credits(content, length);
    }
  }

  void on_text(const char*, std::size_t) override {}

private:
  void read_credits(const char* content, std::size_t length) {
    qiv::string_buffer collected;
    xml_text_collector collector(collected);
    if (content != nullptr) xml_read_content(collector, content, length);
    const char* text = collected.get_ptr();
    std::size_t begin = 0;
    std::size_t end = collected.get_length();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
    // An empty credit keeps whatever an earlier element gave.
    if (end > begin) loader_.credits.set_string(text + begin, end - begin);
  }

  localization_loader& loader_;
};

// Top level of a language file.
class root_handler final : public xml_handler {
public:
  explicit root_handler(localization_loader& loader) : loader_(loader) {}

  void on_element(const char* name, const xml_attributes&, const char* content, std::size_t length) override {
    if (!qiv::stricmp_ascii_equal(name, "localization")) return;
    if (loader_.root_seen) throw vantrel_io::exception_io_data();  // two languages in one file
    entry_handler entries(loader_);
    if (content != nullptr) xml_read_content(entries, content, length);
    loader_.root_seen = true;
  }

  void on_text(const char*, std::size_t) override {}

private:
  localization_loader& loader_;
};

// Start-up reaches the loader through the core's hook.
const bool loader_registered = (register_language_loader(&localization_load), true);

void reset(localization_loader& loader) {
  loader.root_seen = false;
  loader.credits.set_string("");
  loader.table.clear();
}

void read_override(localization_loader& loader, const char* path) {
  const abort_signal& abort = never_raised_abort_signal();
  vantrel_io::file_ptr file;
  // The service registry is not built yet at this point of start-up, so the
  // file scheme is asked directly rather than through path dispatch.
  vantrel_io::file_scheme_handler().open(file, path, vantrel_io::open_mode::read, abort);
  const std::uint64_t size = file->get_size(abort);
  if (size == vantrel_io::filesize_unknown) throw vantrel_io::exception_io_no_length();
  if (size > localization_override_max_size) throw vantrel_io::exception_io_data();
  qiv::array<char> bytes;
  bytes.set_size(static_cast<std::uint32_t>(size));
  if (size != 0) file->read_exact(bytes.data(), static_cast<std::uint32_t>(size), abort);
  file.reset();
  localization_parse(loader, bytes.data(), bytes.get_count());
  // A file without its root element would blank every text of the program;
  // a typo there is treated like any other broken override.
  if (!loader.root_seen) throw vantrel_io::exception_io_data();
}

}  // namespace

void localization_parse(localization_loader& loader, const char* data, std::size_t size) {
  root_handler root(loader);
  xml_read_document(root, data, size);
}

bool localization_load_override_file(localization_loader& loader, const char* path) {
  try {
    read_override(loader, path);
    return true;
  } catch (...) {
    // Whatever is wrong with the user's file, the built-in table serves; a
    // half-read file leaves nothing behind.
    reset(loader);
    return false;
  }
}

bool localization_load_override(localization_loader& loader) {
  qiv::string_buffer path(profile::get_path());
  const std::size_t length = path.get_length();
  if (length == 0 || path.get_ptr()[length - 1] != '\\') path.add_string("\\");
  path.add_string(override_file_name);
  return localization_load_override_file(loader, path.get_ptr());
}

std::uint16_t localization_builtin_resource(std::uint32_t language_id) {
  const std::uint32_t primary = language_id & 0x3FF;
  const std::uint32_t sub = (language_id >> 10) & 0x3F;
  switch (primary) {
    case 0x04: return sub == 0x02 ? 310 : 301;  // Chinese: simplified, else traditional
    case 0x07: return 296;                      // German
    case 0x0B: return 299;                      // Finnish
    case 0x0C: return 308;                      // French
    case 0x0D: return 302;                      // Hebrew
    case 0x10: return 309;                      // Italian
    case 0x11: return 303;                      // Japanese
    case 0x15: return 291;                      // Polish
    case 0x19: return 298;                      // Russian
    case 0x1D: return 307;                      // Swedish
    default: return localization_english_resource;
  }
}

void localization_load_builtin(localization_loader& loader, std::uint32_t language_id, HMODULE module) {
  if (language_id == 0) language_id = GetUserDefaultUILanguage();
  const std::uint16_t resource = localization_builtin_resource(language_id & 0xFFFF);
  std::unique_ptr<resource_data> table =
      load_resource_data(module, MAKEINTRESOURCEA(resource), localization_resource_type);
  if (!table && resource != localization_english_resource)
    table = load_resource_data(module, MAKEINTRESOURCEA(localization_english_resource), localization_resource_type);
  if (!table) qiv::crash();  // the executable is damaged
  localization_parse(loader, static_cast<const char*>(table->data()), table->size());
}

void localization_add_system_texts(localization_loader& loader) {
  for (const system_text& entry : system_texts) {
    if (loader.table.find(entry.id) != nullptr) continue;
    qiv::string_buffer text;
    if (format_system_message_utf8(text, entry.win32_code)) loader.table.set(entry.id, text.get_ptr());
  }
}

void localization_load(std::uint32_t language_id) {
  localization_loader loader;
  if (language_id != 0 || !localization_load_override(loader)) {
    try {
      localization_load_builtin(loader, language_id);
    } catch (const vantrel_io::exception_io_data&) {
      if (!app::state().quiet) message_box_utf8(nullptr, "Broken or incomplete language file.", nullptr, MB_ICONERROR);
      throw exception_shutdownrequest();
    }
  }
  localization_add_system_texts(loader);
  set_localization_credits(loader.credits.get_ptr());
  install_language_table(std::move(loader.table));
}
