// zorvtool tag PATH name=value ... -name: changes the fields of PATH through
// the player's own metadata update, as Apply in the properties dialog does:
// the same file lock, writer and reading back of the written file, so that
// what the tool shows of a write is what the player does. A file no input
// claims is never written: tags put before or after data of a format nothing
// here reads could break the file for the programs that do.
#include <stdexcept>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "core/quiet_process_status.h"
#include "metadata/input_dispatch.h"
#include "metadata/metadata_io.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_info.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

struct field_change {
  std::string name;
  bool remove = false;
  std::vector<std::string> values;
};

// A repeated name=value adds a value; "-name" removes the field.
std::vector<field_change> parse_changes(const zorvtool::arguments& args) {
  std::vector<field_change> changes;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    field_change change;
    if (!arg.empty() && arg[0] == '-') {
      change.name = arg.substr(1);
      change.remove = true;
    } else {
      const std::size_t equals = arg.find('=');
      if (equals == std::string::npos || equals == 0)
        throw std::runtime_error("expected name=value or -name, got \"" + arg + "\"");
      change.name = arg.substr(0, equals);
      change.values.push_back(arg.substr(equals + 1));
    }
    if (!change.remove)
      for (field_change& earlier : changes)
        if (!earlier.remove && earlier.name == change.name) {
          earlier.values.push_back(change.values[0]);
          change.name.clear();
        }
    if (!change.name.empty()) changes.push_back(std::move(change));
  }
  return changes;
}

bool clear_replaygain_value(const std::string& name, track_info& info) {
  replaygain_info named;
  if (!named.set_from_field(name.c_str(), "0", 1)) return false;
  replaygain_info gain = info.get_replaygain();
  if (replaygain_info::gain_present(named.album_gain)) gain.album_gain = replaygain_info::gain_absent;
  if (replaygain_info::gain_present(named.track_gain)) gain.track_gain = replaygain_info::gain_absent;
  if (replaygain_info::peak_present(named.album_peak)) gain.album_peak = replaygain_info::peak_absent;
  if (replaygain_info::peak_present(named.track_peak)) gain.track_peak = replaygain_info::peak_absent;
  info.set_replaygain(gain);
  return true;
}

void apply_changes(const std::vector<field_change>& changes, track_info& info) {
  for (const field_change& change : changes) {
    if (change.remove) {
      if (clear_replaygain_value(change.name, info)) continue;
      const std::uint32_t field = info.find_field(change.name.c_str());
      if (field != track_info::not_found) {
        qiv::bit_array selection(info.field_count());
        selection.set(field, true);
        info.remove_fields(selection);
      }
      continue;
    }
    if (info.try_set_replaygain(change.name.c_str(), change.values[0].c_str())) continue;
    const std::uint32_t field = info.set_field(change.name.c_str(), change.name.size(), change.values[0].c_str(),
                                               change.values[0].size());
    for (std::size_t v = 1; v < change.values.size(); ++v) info.add_field_value(field, change.values[v].c_str());
  }
}

// Every track of the update gets the same changes.
class change_filter : public info_update_filter {
public:
  explicit change_filter(std::vector<field_change> changes) : changes_(std::move(changes)) {}
  bool update(const track_handle_ptr&, const vantrel_io::file_stats&, track_info& info) override {
    apply_changes(changes_, info);
    return true;
  }

private:
  const std::vector<field_change> changes_;
};

// A subsong number is a whole number from 0 up, written in decimal.
long long parse_subsong(const std::string& text) {
  const bool digits = !text.empty() && text.size() <= 10 &&
                      text.find_first_not_of("0123456789") == std::string::npos;
  const long long value = digits ? std::stoll(text) : -1;
  if (value < 0 || value > 0xFFFFFFFFll)
    throw std::runtime_error("--subsong needs a subsong number, got \"" + text + "\"");
  return value;
}

[[noreturn]] void throw_no_such_subsong(long long subsong) {
  throw std::runtime_error("the file has no subsong " + std::to_string(subsong) + "; nothing was written");
}

int run_tag(const zorvtool::arguments& args) {
  if (args.empty()) {
    zorvtool::print_error("usage: zorvtool tag PATH name=value ... -name\n");
    return 2;
  }
  // "--subsong N" limits the change to one subsong of the file.
  zorvtool::arguments rest;
  long long only_subsong = -1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--subsong") {
      if (i + 1 == args.size()) throw std::runtime_error("--subsong needs a subsong number");
      only_subsong = parse_subsong(args[++i]);
      continue;
    }
    rest.push_back(args[i]);
  }
  const std::vector<field_change> changes = parse_changes(rest);
  const std::string path = zorvtool::system_path(args[0]);
  raisable_abort_signal abort;
  track_handle_list tracks;
  {
    info_reader_ptr reader;
    input_dispatch::open_info_reader(reader, vantrel_io::file_ptr(), path.c_str(), abort);
    for (std::uint32_t i = 0; i < reader->get_subsong_count(); ++i) {
      const std::uint32_t subsong = reader->get_subsong(i);
      if (only_subsong < 0 || subsong == only_subsong)
        tracks.push_back(track_handle_registry::get_handle(track_location(path.c_str(), subsong)));
    }
  }
  // Subsong 0 is the file as a whole, also where its tracks are chapters or
  // cue tracks: the folder views list it so, and edit the file's own tags.
  if (only_subsong == 0 && tracks.empty())
    tracks.push_back(track_handle_registry::get_handle(track_location(path.c_str(), 0)));
  // Nothing is written for a subsong the file does not have: a change asked
  // for and not made must not end as a success.
  if (tracks.empty()) throw_no_such_subsong(only_subsong);
  service_ptr<change_filter> filter(new service_counted<change_filter>(changes));
  service_ptr<metadata_update_operation> update(new service_counted<metadata_update_operation>(
      tracks, filter.get(), metadata_flag_no_error_popup, nullptr, nullptr));
  quiet_process_status status;
  update->run(status, abort);
  update->on_done(nullptr, false);
  const std::vector<metadata_error>& errors = update->get_errors();
  if (errors.empty()) return 0;
  if (!errors.front().written) throw std::runtime_error(errors.front().message);
  zorvtool::print_error("zorvtool: " + errors.front().message + "\n");
  return zorvtool::exit_written_then_failed;
}

const zorvtool::command_registration registration(
    {"tag", "tag PATH name=value ... -name [--subsong N]   set (repeat a name for several values) or remove fields", run_tag});

}  // namespace
