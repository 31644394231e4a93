#include "ui/dialogs/licence_page.h"

#include <cstring>
#include <exception>

#include "core/app_state.h"
#include "core/localized_text.h"
#include "foundation/exceptions.h"
#include "foundation/resource_data.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "io/safe_save.h"
#include "resources/about_dialog.h"
#include "ui/menus/information_popup.h"

namespace {

constexpr const char* credits_marker = "<p>Localization credits here</p>";

std::string resource_text(int id) {
  SetLastError(0);
  const std::unique_ptr<resource_data> data =
      load_resource_data(GetModuleHandleW(nullptr), MAKEINTRESOURCEA(id), "TEXT");
  if (!data) {
    const DWORD error = GetLastError();
    throw exception_win32(error != 0 ? error : ERROR_RESOURCE_NAME_NOT_FOUND);
  }
  return std::string(static_cast<const char*>(data->data()), data->size());
}

void write_whole_file(const std::string& path, const std::string& content) {
  vantrel_io::write_file_via_temp(
      path.c_str(),
      [&content](vantrel_io::file_object& file, const abort_signal& abort) {
        file.write(content.data(), static_cast<std::uint32_t>(content.size()), abort);
      },
      never_raised_abort_signal());
}

}  // namespace

std::string escape_credits_html(const char* credits) {
  std::string out;
  for (const char* c = credits; *c; ++c) {
    switch (*c) {
      case '\n': out += "<br />"; break;
      case '\r': break;
      case '"': out += "&quot;"; break;
      case '&': out += "&amp;"; break;
      case '\'': out += "&#039;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += *c; break;
    }
  }
  return out;
}

std::string insert_credits(const std::string& html, const char* credits) {
  const std::size_t at = html.find(credits_marker);
  if (at == std::string::npos) return html;
  const std::string paragraph =
      credits != nullptr && *credits ? "<p>" + escape_credits_html(credits) + "</p>" : std::string();
  return html.substr(0, at) + paragraph + html.substr(at + std::strlen(credits_marker));
}

std::string write_licence_page(const char* profile_path, const char* credits) {
  const std::string folder = std::string(profile_path) + "\\about\\";
  try {
    vantrel_io::create_directory(folder.c_str(), never_raised_abort_signal());
  } catch (const vantrel_io::exception_io_already_exists&) {
  }
  write_whole_file(folder + "license.html", insert_credits(resource_text(IDR_LICENSE_HTML), credits));
  write_whole_file(folder + "license-apache-2.0.txt", resource_text(IDR_LICENSE_APACHE));
  // The shell knows nothing of the program's "file://" paths.
  qiv::string_buffer native;
  const std::string page = folder + "license.html";
  if (!vantrel_io::file_url_to_native(page.c_str(), native)) return page;
  return std::string(native.get_ptr(), native.get_length());
}

void open_with_shell(HWND owner, const char* target) { shell_execute_utf8(owner, nullptr, target); }

void show_licence_page(HWND owner, const shell_opener& open) {
  std::string page;
  try {
    page = write_licence_page(profile::get_path(), localization_credits());
  } catch (const std::exception& e) {
    show_information_popup(e.what());
    return;
  }
  open(owner, page.c_str());
}
