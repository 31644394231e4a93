// Which item plays next: the order holds the list the user last started,
// the item playing, the item it handed out last and a repeat flag, and
// answers a command (play, next, previous, continue) with an item.
#pragma once

#include <cstdint>

#include "core/service_object.h"
#include "metadata/track_handle.h"

class playback_item : public service_object {
public:
  static constexpr GUID class_guid = {0xC24EEAE5, 0x1C5D, 0x49F3, {0xAE, 0x82, 0x77, 0xF4, 0x0E, 0xE8, 0x5E, 0x4E}};
  using service_parent = service_object;

  virtual track_handle_ptr get_handle() = 0;
  // Null at the ends of the list.
  virtual service_ptr<playback_item> previous() = 0;
  virtual service_ptr<playback_item> next() = 0;

protected:
  ~playback_item() = default;
};

class playback_item_list : public service_object {
public:
  static constexpr GUID class_guid = {0xDAC255D5, 0xF6E3, 0x463D, {0x80, 0x5C, 0xB4, 0x3F, 0x49, 0xAC, 0x5F, 0x66}};
  using service_parent = service_object;

  // Null when the list is empty.
  virtual service_ptr<playback_item> first() = 0;
  virtual service_ptr<playback_item> last() = 0;
  // The item holding that very handle object; null when none does.
  virtual service_ptr<playback_item> find(const track_handle* handle) = 0;

protected:
  ~playback_item_list() = default;
};

// A list over a fixed array of handles; its items keep the list alive.
service_ptr<playback_item_list> playback_item_list_create(const track_handle_list& handles);

// Playback commands; continue walks on from the item handed out last.
enum playback_command : std::uint32_t {
  command_continue = 0,
  command_play = 1,
  command_next = 2,
  command_previous = 3,
};

// Main thread only.
class playback_order_api {
public:
  service_ptr<playback_item_list> get_source() const { return source_; }
  void set_source(const service_ptr<playback_item_list>& source);
  service_ptr<playback_item> get_current() const { return current_; }
  void set_current(const service_ptr<playback_item>& item) { current_ = item; }
  bool get_repeat() const noexcept { return repeat_; }
  void set_repeat(bool repeat) noexcept { repeat_ = repeat; }
  // False, with `out` untouched, when no item answers the command.
  bool get_next(std::uint32_t command, service_ptr<playback_item>& out);
  // An empty source and no current or last item.
  void reset();

private:
  service_ptr<playback_item_list> source_ = playback_item_list_create({});
  service_ptr<playback_item> current_;
  service_ptr<playback_item> last_handed_out_;
  bool repeat_ = false;
};

namespace playback_order {
// The process's order.
playback_order_api& get();
}  // namespace playback_order
