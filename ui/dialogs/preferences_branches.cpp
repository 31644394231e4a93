// The branches of the preferences tree. None holds a page of this program,
// so the dialog prunes them all; they give other pages a place to hang.
#include "core/service_factory.h"
#include "ui/dialogs/preferences_page.h"

namespace {

class static_preferences_branch : public preferences_branch_v2 {
public:
  static_preferences_branch(const char* name, const GUID& guid, const GUID& parent) noexcept
      : name_(name), guid_(guid), parent_(parent) {}

  void get_name(qiv::string_object& out) override { out.set_string(name_); }
  GUID get_guid() override { return guid_; }
  GUID get_parent() override { return parent_; }
  double get_sort_priority() override { return 0.0; }

private:
  const char* name_;
  GUID guid_;
  GUID parent_;
};

constexpr GUID tools_branch = {0x627C0767, 0x0793, 0x44F8, {0x80, 0x87, 0xBE, 0x49, 0x34, 0x31, 0x12, 0x82}};
constexpr GUID playback_page = {0x67508677, 0xCFCC, 0x4A1C, {0x92, 0x1C, 0x49, 0xB3, 0x9C, 0xC5, 0xB9, 0x86}};

using branch_registration = service_factory_single_t<static_preferences_branch>;
branch_registration tag_writing("Tag writing", GUID{0x7D0334E5, 0xADD7, 0x4FF5, {0x9D, 0xB8, 0xA6, 0x18, 0xB4, 0x82, 0x40, 0x28}},
                         preferences_root_guid);
branch_registration tools("Tools", tools_branch, preferences_root_guid);
branch_registration visualisations("Visualisations",
                            GUID{0x494326C8, 0x88FF, 0x4265, {0xB2, 0xB2, 0xE6, 0x47, 0x0B, 0xEE, 0x13, 0xB3}},
                            preferences_root_guid);
branch_registration broken_components("[broken components]",
                               GUID{0x2E8E9647, 0x4174, 0x41B2, {0x9E, 0xC4, 0x91, 0x0B, 0xE1, 0x28, 0x08, 0x2E}},
                               preferences_root_guid);
branch_registration input("Input", GUID{0xFC01B529, 0x4BD7, 0x47CD, {0xBA, 0xF7, 0x2F, 0xB6, 0x32, 0xF0, 0xDB, 0xB6}},
                   playback_page);
branch_registration tagging("Tagging", GUID{0x563107C3, 0xFC7D, 0x4022, {0xA8, 0x72, 0xA8, 0x2A, 0x3F, 0xD5, 0x25, 0x25}},
                     tools_branch);

}  // namespace
