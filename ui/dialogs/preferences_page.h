// Pages and branches of the preferences dialog: services found through the
// registry, so the dialog's tree is assembled from whatever is registered
// each time it opens.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/service_object.h"
#include "foundation/string_object.h"

// The node whose children are the top-level items of the tree.
inline constexpr GUID preferences_root_guid = {0xB9218D23, 0xF73D, 0x4B61, {0xA1, 0xD9, 0xBF, 0xD4, 0x20, 0xCD, 0xAC, 0x77}};

// A page instance's state (the dialog ORs the states of all instances).
namespace preferences_state {
inline constexpr std::uint32_t changed = 0x1;         // Apply becomes available
inline constexpr std::uint32_t needs_restart = 0x2;   // applying restarts the program
inline constexpr std::uint32_t reopen_output = 0x4;   // after applying, the playback output reopens
inline constexpr std::uint32_t has_reset = 0x8;
inline constexpr std::uint32_t busy = 0x10;           // OK, Cancel and Apply wait; nothing applies or closes
}  // namespace preferences_state

class preferences_page_callback : public service_object {
public:
  static constexpr GUID class_guid = {0x3D26E08E, 0x861C, 0x4599, {0x9C, 0x89, 0xAA, 0xA7, 0x19, 0xAF, 0x50, 0x70}};
  using service_parent = service_object;

  virtual void on_state_changed() = 0;

protected:
  ~preferences_page_callback() = default;
};

class preferences_page_instance : public service_object {
public:
  static constexpr GUID class_guid = {0x6893A996, 0xA816, 0x49FE, {0x82, 0xCE, 0x0C, 0xB8, 0x04, 0xA4, 0xCF, 0xEC}};
  using service_parent = service_object;

  virtual std::uint32_t get_state() = 0;
  virtual HWND get_wnd() = 0;
  virtual void apply() = 0;
  virtual void reset() = 0;

protected:
  ~preferences_page_instance() = default;
};

class preferences_page : public service_object {
public:
  static constexpr GUID class_guid = {0x7255E8D0, 0x3FCF, 0x4781, {0xB9, 0x3B, 0xD0, 0x6C, 0xB8, 0x8D, 0xFA, 0xFA}};
  using service_parent = service_object;

  // The older way of making a page's window; the pages here answer
  // preferences_page_v3 instead and throw "Feature not implemented".
  virtual HWND create_window(HWND parent) = 0;
  // Localised, UTF-8.
  virtual void get_name(qiv::string_object& out) = 0;
  virtual GUID get_guid() = 0;
  virtual GUID get_parent() = 0;

protected:
  ~preferences_page() = default;
};

class preferences_page_v2 : public preferences_page {
public:
  static constexpr GUID class_guid = {0xCE4EBC9E, 0xAB20, 0x46F9, {0x92, 0x5F, 0x88, 0x3B, 0x08, 0x4F, 0x05, 0x69}};
  using service_parent = preferences_page;
  static constexpr bool service_is_extension = true;

  virtual bool has_reset() = 0;
  virtual void reserved() {}
  virtual bool get_help_url(qiv::string_object& out) = 0;
  virtual double get_sort_priority() = 0;

protected:
  ~preferences_page_v2() = default;
};

class preferences_page_v3 : public preferences_page_v2 {
public:
  static constexpr GUID class_guid = {0xD6D0F741, 0x9F17, 0x4DF8, {0x9D, 0x5C, 0x87, 0xF2, 0x8B, 0x1F, 0x0E, 0x64}};
  using service_parent = preferences_page_v2;
  static constexpr bool service_is_extension = true;

  // The page's child dialog of `parent`, telling `callback` of its changes.
  virtual service_ptr<preferences_page_instance> create(HWND parent,
                                                        service_ptr<preferences_page_callback> callback) = 0;

protected:
  ~preferences_page_v3() = default;
};

class preferences_branch : public service_object {
public:
  static constexpr GUID class_guid = {0x8146A883, 0xF146, 0x401B, {0xBA, 0xF6, 0x4F, 0xB2, 0xE3, 0x06, 0xF2, 0xEB}};
  using service_parent = service_object;

  // Plain text, not a language id.
  virtual void get_name(qiv::string_object& out) = 0;
  virtual GUID get_guid() = 0;
  virtual GUID get_parent() = 0;

protected:
  ~preferences_branch() = default;
};

class preferences_branch_v2 : public preferences_branch {
public:
  static constexpr GUID class_guid = {0x167EBEB9, 0x8334, 0x4B21, {0xAF, 0x58, 0xA7, 0x40, 0xA5, 0xD5, 0xB6, 0x66}};
  using service_parent = preferences_branch;
  static constexpr bool service_is_extension = true;

  virtual double get_sort_priority() = 0;

protected:
  ~preferences_branch_v2() = default;
};

// The shared answers of the pages of this program: a v3 page under the root
// with priority 0, no reset and no help address.
class preferences_page_base : public preferences_page_v3 {
public:
  HWND create_window(HWND parent) override;
  GUID get_parent() override { return preferences_root_guid; }
  bool has_reset() override { return false; }
  bool get_help_url(qiv::string_object&) override { return false; }
  double get_sort_priority() override { return 0.0; }
};
