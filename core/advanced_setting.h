// Entries of the advanced-settings tree: fine-grained options that have no
// page of their own (fade lengths, the volume step, error popups, ...).
//
// Each entry is a static object that links its own registration node under
// the advanced_setting class when it is constructed, and is at the same time
// the variable its owner reads:
//
//   advanced_setting_checkbox show_popups("Show error message popups", playback_root);
//   if (show_popups.get_state()) ...
//
// Nothing lists or stores the entries, so each keeps its default unless code
// sets it through the entry's own operations.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/service_factory.h"
#include "foundation/string_object.h"
#include "foundation/string_small.h"
#include "foundation/win32_handles.h"

// What every entry answers: the tree is built from names, parents and
// priorities alone.
class advanced_setting : public service_object {
public:
  static constexpr GUID class_guid = {0x7E84602E, 0xDC49, 0x4047, {0xAA, 0xEE, 0x63, 0x71, 0x8B, 0xBC, 0x5A, 0x1F}};
  using service_parent = service_object;

  virtual void get_name(qiv::string_object& out) const = 0;
  // The branch this entry sits in; a parent without a registered branch is a
  // root of the tree.
  virtual GUID get_parent() const = 0;
  // Current value := default.
  virtual void reset() = 0;
  // Order among siblings, smaller first.
  virtual double get_priority() const = 0;
};

// A branch groups entries; it has no value.
class advanced_setting_branch_interface : public advanced_setting {
public:
  static constexpr GUID class_guid = {0x6A60B472, 0x91AC, 0x4681, {0x9D, 0xC2, 0x76, 0xC9, 0x94, 0x00, 0x5B, 0x63}};
  using service_parent = advanced_setting;
};

// An on/off entry: a checkbox, or one choice of a radio group.
class advanced_setting_checkbox_interface : public advanced_setting {
public:
  static constexpr GUID class_guid = {0xE29B37D0, 0xA957, 0x4A85, {0x82, 0x40, 0x1E, 0x96, 0xC7, 0x29, 0xB6, 0x69}};
  using service_parent = advanced_setting;
  static bool answers_extension(const GUID& guid) noexcept { return guid == earlier_class_guid; }

  virtual bool get_state() const = 0;
  virtual void set_state(bool state) = 0;
  virtual bool is_radio() const = 0;
  virtual bool get_default() const = 0;
  virtual std::uint32_t get_flags() const = 0;

private:
  // The checkbox interface before get_default and get_flags were added;
  // still answered so that callers asking for it find the same entries.
  static constexpr GUID earlier_class_guid = {0x5243ABA4, 0x2A3D, 0x4627, {0x88, 0xEF, 0xCE, 0xE3, 0x76, 0x1C, 0x07, 0x9C}};
};

// An entry whose value is shown and edited as text: free text, or an
// unsigned integer with a range.
class advanced_setting_text_interface : public advanced_setting {
public:
  static constexpr GUID class_guid = {0x2EC9B1FA, 0xE1E4, 0x42F0, {0x87, 0x97, 0x4A, 0x63, 0x16, 0x94, 0x86, 0xBC}};
  using service_parent = advanced_setting;
  static bool answers_extension(const GUID& guid) noexcept { return guid == earlier_class_guid; }

  virtual void get_state(qiv::string_object& out) const = 0;
  // At most `length` bytes of `text`, stopping at a NUL.
  virtual void set_state(const char* text, std::size_t length) = 0;
  virtual bool is_integer() const = 0;
  virtual void get_default(qiv::string_object& out) const = 0;
  // Rewrites `text` into what set_state would store (integers are clamped).
  virtual void validate(qiv::string_object& text) const = 0;
  virtual std::uint32_t get_flags() const = 0;

private:
  // The text interface before get_default, validate and get_flags.
  static constexpr GUID earlier_class_guid = {0x185D582D, 0xFBD8, 0x4DB3, {0xBE, 0x23, 0x47, 0xAA, 0xC6, 0x75, 0xFC, 0x11}};
};

// The static-instance behaviour shared by all entries, and the registration
// node that hands the entry out. Entries are never copied: the node points at
// the entry it was built in.
template <class Interface>
class advanced_setting_static : public Interface {
public:
  std::int32_t release() noexcept final { return 1; }
  std::int32_t add_ref() noexcept final { return 1; }
  bool query(service_handle& out, const GUID& guid) noexcept final {
    if (!service_implementation_answers<Interface>(guid)) return false;
    out = this;
    return true;
  }

protected:
  // `list`: the program's factory list, or a test's own.
  explicit advanced_setting_static(service_factory** list) : registration_(*this, list) {}

private:
  class registration final : public service_factory {
  public:
    registration(advanced_setting& entry, service_factory** list)
        : service_factory(advanced_setting::class_guid, list), entry_(entry) {}
    void create(service_handle& out) override { out = &entry_; }

  private:
    advanced_setting& entry_;
  };

  registration registration_;
};

class advanced_setting_branch final : public advanced_setting_static<advanced_setting_branch_interface> {
public:
  advanced_setting_branch(const GUID& own_guid, const GUID& parent, const char* name,
                          service_factory** list = &service_factory::global_list_head);

  void get_name(qiv::string_object& out) const override;
  GUID get_parent() const override { return parent_; }
  void reset() override {}
  double get_priority() const override { return 0.0; }

  // The GUID its children name as their parent.
  const GUID& get_guid() const noexcept { return own_guid_; }

private:
  qiv::string_small name_;
  GUID own_guid_;
  GUID parent_;
};

// A checkbox: on by default, priority 0. Any thread may read it.
class advanced_setting_checkbox : public advanced_setting_static<advanced_setting_checkbox_interface> {
public:
  advanced_setting_checkbox(const char* name, const GUID& parent,
                            service_factory** list = &service_factory::global_list_head);

  void get_name(qiv::string_object& out) const override;
  GUID get_parent() const override { return parent_; }
  void reset() override { current_.store(default_); }
  double get_priority() const override { return priority_; }
  bool get_state() const override { return current_.load(); }
  void set_state(bool state) override { current_.store(state); }
  bool is_radio() const override { return radio_; }
  bool get_default() const override { return default_; }
  std::uint32_t get_flags() const override { return 0; }

protected:
  advanced_setting_checkbox(const char* name, const GUID& parent, bool default_state, double priority, bool radio,
                            service_factory** list);

private:
  qiv::string_small name_;
  bool default_;
  std::atomic<bool> current_;
  GUID parent_;
  double priority_;
  bool radio_;
};

// One choice of the tag-writing scheme for untagged files; the choices are
// siblings under that branch and exactly one is registered as selected.
class advanced_setting_radio final : public advanced_setting_checkbox {
public:
  // The "Tag writing scheme for untagged files" branch, parent of every choice.
  static constexpr GUID group_branch_guid = {0x681924E2, 0x2124, 0x4EB6, {0x95, 0xEC, 0x40, 0x24, 0x66, 0xDE, 0x25, 0x80}};

  advanced_setting_radio(const char* name, bool default_state, double priority,
                         service_factory** list = &service_factory::global_list_head);
};

// A line of text. Readers on any thread (the playback thread reads some of
// these while decoding) get a copy taken under the entry's lock; set_state
// and reset belong to the main thread, and a call from elsewhere is a fatal
// internal error.
class advanced_setting_string final : public advanced_setting_static<advanced_setting_text_interface> {
public:
  advanced_setting_string(const GUID& parent, const char* name, const char* default_text, double priority = 0.0,
                          service_factory** list = &service_factory::global_list_head);

  void get_name(qiv::string_object& out) const override;
  GUID get_parent() const override { return parent_; }
  void reset() override;
  double get_priority() const override { return priority_; }
  void get_state(qiv::string_object& out) const override;
  void set_state(const char* text, std::size_t length) override;
  bool is_integer() const override { return false; }
  void get_default(qiv::string_object& out) const override;
  void validate(qiv::string_object&) const override {}
  std::uint32_t get_flags() const override { return 0; }

private:
  qiv::string_small default_;
  qiv::string_small name_;
  qiv::string_small current_;
  double priority_;
  GUID parent_;
  mutable critical_section lock_;
};

// An unsigned 64-bit number kept within [minimum, maximum] and shown as
// decimal text. Any thread may read it (the fade lengths are read by the
// playback thread at every use).
class advanced_setting_integer final : public advanced_setting_static<advanced_setting_text_interface> {
public:
  // The "Fading" branch, parent of the fade lengths.
  static constexpr GUID fading_branch_guid = {0x481C4262, 0xDE19, 0x4FB8, {0xBC, 0x66, 0xEF, 0x30, 0x20, 0x6F, 0x93, 0x18}};

  advanced_setting_integer(const GUID& parent, const char* name, std::uint64_t default_value, std::uint64_t minimum,
                           std::uint64_t maximum, double priority,
                           service_factory** list = &service_factory::global_list_head);

  // A fade length in milliseconds under "Fading": 100 by default, 0 to 10000.
  static advanced_setting_integer construct_fade(const char* name, double priority,
                                                 service_factory** list = &service_factory::global_list_head);

  void get_name(qiv::string_object& out) const override;
  GUID get_parent() const override { return parent_; }
  void reset() override { current_.store(default_); }
  double get_priority() const override { return priority_; }
  void get_state(qiv::string_object& out) const override;
  void set_state(const char* text, std::size_t length) override;
  bool is_integer() const override { return true; }
  void get_default(qiv::string_object& out) const override;
  void validate(qiv::string_object& text) const override;
  std::uint32_t get_flags() const override { return 0; }

  // The current value as a number, for owners.
  std::uint64_t get_value() const noexcept { return current_.load(); }

private:
  std::uint64_t parse_clamped(const char* text, std::size_t length) const noexcept;

  std::atomic<std::uint64_t> current_;
  double priority_;
  std::uint64_t default_;
  std::uint64_t minimum_;
  std::uint64_t maximum_;
  GUID parent_;
  qiv::string_small name_;
};
