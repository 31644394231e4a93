// zorvtool tag PATH name=value ... -name: changes the fields of PATH as the
// player's metadata update would. A file no input claims (no format input
// reads MP3 and the like yet) is tagged through the tag services directly,
// keeping the tag kinds it had (a new ID3v2 tag when it had none).
#include <stdexcept>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/leading_id3v2_tags.h"
#include "io/path_schemes.h"
#include "io/retag_through_temp_file.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/tag_not_found.h"
#include "metadata/tags/tag_services.h"
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

// The kinds a file had, from its "tagtype" ("id3v2.3|apev2|id3v1").
unsigned kinds_from_tagtype(const char* tagtype) {
  const std::string text = tagtype;
  unsigned kinds = 0;
  if (text.find("id3v2") != std::string::npos) kinds |= tag_services::kind_id3v2;
  if (text.find("id3v1") != std::string::npos) kinds |= tag_services::kind_id3v1;
  if (text.find("ape") != std::string::npos) kinds |= tag_services::kind_apev2;
  return kinds;
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

void tag_through_services(const std::string& path, const std::vector<field_change>& changes,
                          const abort_signal& abort) {
  vantrel_io::file_ptr file;
  vantrel_io::open(file, path.c_str(), vantrel_io::open_mode::write_existing, abort);
  track_info_impl info;
  try {
    tag_services::read(*file, info, abort);
  } catch (const exception_tag_not_found&) {
  }
  const auto tagtype = info.tech_value_by_name("tagtype");
  unsigned kinds = kinds_from_tagtype(tagtype ? *tagtype : "");
  // A leading tag too damaged to read is still there: writing one refuses
  // to go over it rather than strip it.
  if (kinds == 0 || id3v2_skip_leading_tag(*file, 0, abort) != 0) kinds |= tag_services::kind_id3v2;
  apply_changes(changes, info);
  retag_through_temp_file rewrite(path.c_str());
  tag_services::write(file, rewrite, kinds, info, abort);
  rewrite.commit(file, abort);
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
  qiv::string_buffer canonical;
  vantrel_io::canonicalize_path(args[0].c_str(), canonical);
  const std::string path = canonical.get_ptr();
  raisable_abort_signal abort;
  info_writer_ptr writer;
  try {
    input_dispatch::open_info_writer(writer, vantrel_io::file_ptr(), path.c_str(), abort);
  } catch (const vantrel_io::exception_io_unsupported_format&) {
    // Such a file is one track, subsong 0.
    if (only_subsong > 0) throw_no_such_subsong(only_subsong);
    tag_through_services(path, changes, abort);
    return 0;
  }
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
