// zorvtool tag PATH name=value ... -name: changes the fields of PATH as the
// player's metadata update would, through the input that claims the file. A
// file no input claims is never written: tags put before or after data of a
// format nothing here reads could break the file for the programs that do.
#include <stdexcept>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "metadata/input_dispatch.h"
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
  info_writer_ptr writer;
  input_dispatch::open_info_writer(writer, vantrel_io::file_ptr(), path.c_str(), abort);
  // Nothing is written for a subsong the file does not have: a change asked
  // for and not made must not end as a success.
  bool found = only_subsong < 0;
  for (std::uint32_t i = 0; i < writer->get_subsong_count(); ++i)
    if (writer->get_subsong(i) == only_subsong) found = true;
  if (!found) throw_no_such_subsong(only_subsong);
  for (std::uint32_t i = 0; i < writer->get_subsong_count(); ++i) {
    const std::uint32_t subsong = writer->get_subsong(i);
    if (only_subsong >= 0 && subsong != only_subsong) continue;
    track_info_impl info;
    writer->get_info(subsong, info, abort);
    apply_changes(changes, info);
    writer->set_info(subsong, info, abort);
  }
  writer->commit(abort);
  return 0;
}

const zorvtool::command_registration registration(
    {"tag", "tag PATH name=value ... -name [--subsong N]   set (repeat a name for several values) or remove fields", run_tag});

}  // namespace
