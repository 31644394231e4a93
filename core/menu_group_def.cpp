#include "core/menu_group_def.h"

#include "core/localized_text.h"
#include "core/service_factory.h"

GUID menu_group_section::get_guid() const { return guid_; }
GUID menu_group_section::get_parent() const { return parent_; }
std::uint32_t menu_group_section::get_sort_priority() const { return static_cast<std::uint32_t>(sort_priority_); }

GUID menu_group_popup::get_guid() const { return guid_; }
GUID menu_group_popup::get_parent() const { return parent_; }
std::uint32_t menu_group_popup::get_sort_priority() const { return static_cast<std::uint32_t>(sort_priority_); }

// Looked up at each call, so that a menu built after a language change shows
// the new language.
void menu_group_popup::get_name(qiv::string_object& output) const { localized_text::get(name_id_, output); }

namespace {

// Both kinds register under menu_group_def, whichever interface they
// implement last, so that one enumeration of that class walks the whole tree.
template <class Node>
class menu_node_registration final : public service_factory {
public:
  template <class... Name>
  menu_node_registration(const GUID& guid, const GUID& parent, std::int32_t sort_priority, Name... name_id)
      : service_factory(menu_group_def::class_guid), node_(guid, parent, sort_priority, name_id...) {}
  void create(service_handle& out) override { out = &node_; }

private:
  service_single_instance<Node> node_;
};

constexpr GUID menu_bar = {};
// The File popup's section that holds the library, preferences and exit sections.
constexpr GUID file_commands_section = {0x8A324F18, 0x6173, 0x42EC, {0xA6, 0x40, 0x5E, 0x29, 0x6A, 0xD4, 0x46, 0xB3}};
// No definition of this program provides this node; the sections under it
// stay out of the menu unless a module defines it.
constexpr GUID unprovided_parent = {0x8CDA6B10, 0x0613, 0x4CFD, {0x87, 0x30, 0x3B, 0x9C, 0xBF, 0x4C, 0x6A, 0x39}};

menu_node_registration<menu_group_popup> file_popup{main_menu_node::file, menu_bar, 0, "menu_group_file"};
menu_node_registration<menu_group_popup> view_popup{main_menu_node::view, menu_bar, 2, "menu_group_view"};
menu_node_registration<menu_group_popup> playback_popup{main_menu_node::playback, menu_bar, 3, "menu_group_playback"};
menu_node_registration<menu_group_popup> help_popup{main_menu_node::help, menu_bar, 5, "menu_group_help"};
menu_node_registration<menu_group_popup> theme_popup{main_menu_node::theme, main_menu_node::view, 0, "menu_group_theme"};

menu_node_registration<menu_group_section> file_section_0{
    {0x8EED252D, 0x0A0F, 0x4FC9, {0x9D, 0x81, 0x8C, 0xF7, 0x20, 0x9A, 0x8B, 0xF2}}, main_menu_node::file, 0};
menu_node_registration<menu_group_section> file_section_1{
    {0x9E650B8E, 0xC3F3, 0x4495, {0xAF, 0x15, 0x6B, 0x65, 0x60, 0x60, 0xC3, 0xB9}}, main_menu_node::file, 1};
menu_node_registration<menu_group_section> file_section_2{
    {0x9995FAE6, 0xB1C4, 0x457F, {0xA7, 0x47, 0x5B, 0xD1, 0x20, 0x93, 0x02, 0x10}}, main_menu_node::file, 2};
menu_node_registration<menu_group_section> file_commands{file_commands_section, main_menu_node::file, -1};
menu_node_registration<menu_group_section> preferences{main_menu_node::preferences_section, file_commands_section, -2};
menu_node_registration<menu_group_section> exit_section{
    {0x517BFAE8, 0xA148, 0x4CB2, {0x8C, 0xCE, 0x1A, 0xD2, 0x17, 0x9F, 0xB9, 0x10}}, file_commands_section, -1};
menu_node_registration<menu_group_section> library_folders{main_menu_node::library_folders_section,
                                                           file_commands_section, 0};
menu_node_registration<menu_group_section> library_folders_inner{
    {0x696DF823, 0xB7AE, 0x4B73, {0x95, 0xC8, 0xC1, 0xE9, 0xA9, 0x41, 0x07, 0x26}},
    main_menu_node::library_folders_section, -1};
menu_node_registration<menu_group_section> playback_commands{
    {0x12F5E247, 0x5A81, 0x4734, {0x81, 0x19, 0x8F, 0x9B, 0xC1, 0x14, 0xFE, 0x74}}, main_menu_node::playback, 0};
menu_node_registration<menu_group_section> playback_section_1{
    {0x1169B3EB, 0x81B5, 0x4199, {0x89, 0x29, 0x7D, 0x3E, 0xAF, 0xD4, 0x80, 0x9F}}, main_menu_node::playback, 1};
menu_node_registration<menu_group_section> help_commands{
    {0xE55F8D65, 0xAE51, 0x47BF, {0x99, 0xF9, 0xBB, 0x11, 0x34, 0x21, 0xCB, 0x19}}, main_menu_node::help, -1};
menu_node_registration<menu_group_section> unprovided_section_0{
    {0xD8A4FC46, 0x5E3D, 0x47AA, {0x97, 0xB7, 0x94, 0x79, 0x88, 0x22, 0x82, 0x46}}, unprovided_parent, 0};
menu_node_registration<menu_group_section> unprovided_section_1{
    {0x007682CE, 0x2A99, 0x4B70, {0x8F, 0x63, 0xDE, 0x76, 0x5D, 0x1C, 0x55, 0x55}}, unprovided_parent, 1};
menu_node_registration<menu_group_section> unprovided_section_2{
    {0x1F572090, 0xD620, 0x4940, {0x85, 0xEC, 0x0E, 0xFE, 0x49, 0x9F, 0xAC, 0x03}}, unprovided_parent, 2};

}  // namespace
