// Drives the tag editor's model over real files the way Apply does: reads
// each file's info, builds the rows, makes the edit given on the command
// line and hands the update filter to the real metadata update, then prints
// how the update ended. The Python side checks the files with mutagen.
//
// usage: writeback_probe FIELD=VALUE PATH... ; a PATH starting with "!" is
// a track whose info the dialog failed to read.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"
#include "io/path_schemes.h"
#include "metadata/input_dispatch.h"
#include "metadata/metadata_io_service.h"
#include "metadata/track_handle_registry.h"
#include "properties/edited_rows.h"
#include "tests/support/message_pump.h"

namespace {

struct file_infos : track_info_source {
  std::vector<bool> unreadable;
  track_info_impl info;
  const track_info* find_info(std::uint32_t track, const track_handle_ptr& handle) override {
    if (unreadable[track]) return nullptr;
    raisable_abort_signal abort;
    info_reader_ptr reader;
    input_dispatch::open_info_reader(reader, vantrel_io::file_ptr(), handle->get_location().get_path(), abort);
    info.reset();
    reader->get_info(0, info, abort);
    return &info;
  }
};

struct completion_code : metadata_completion {
  std::int64_t code = -1;
  void on_completion(std::uint32_t value) override { code = value; }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  qiv::set_main_thread_id(GetCurrentThreadId());
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  service_registry::table().build(service_factory::global_list_head);

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    qiv::string_small text;
    wide_to_utf8(argv[i], text);
    args.emplace_back(text.get_ptr());
  }
  const std::string edit = args[0];
  const std::size_t equals = edit.find('=');
  file_infos source;
  track_handle_list tracks;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const bool unreadable = args[i][0] == '!';
    qiv::string_buffer canonical;
    vantrel_io::canonicalize_path(args[i].c_str() + (unreadable ? 1 : 0), canonical);
    tracks.push_back(track_handle_registry::get_handle(track_location(canonical.get_ptr(), 0)));
    source.unreadable.push_back(unreadable);
  }
  edited_rows rows;
  rows.build(field_display_context(), source, tracks);
  bool found = false;
  for (std::size_t row = 0; row < rows.rows().size(); ++row)
    if (field_names_equal(rows.rows()[row]->name, edit.substr(0, equals))) {
      rows.set_row_text(row, edit.substr(equals + 1));
      found = true;
    }
  if (!found) return 2;

  service_ptr<completion_code> completion(new service_counted<completion_code>());
  metadata_io_service::get()->update_info_async(tracks, rows.make_update_filter().get(), nullptr,
                                                metadata_flag_no_error_popup, nullptr, completion.get());
  if (!pump_until([&] { return completion->code >= 0; }, 60000)) return 3;
  const std::string report = "completion " + std::to_string(completion->code) + "\n";
  std::fwrite(report.data(), 1, report.size(), stdout);
  return 0;
}
