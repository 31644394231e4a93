#include "playback/output/output_module.h"

#include <vector>

#include "core/config_item_registrations.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/guid_equal.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"
#include "foundation/windows_version.h"
#include "playback/output/dsound_device.h"
#include "playback/output/output_dsound.h"
#include "playback/output/output_exceptions.h"

namespace {

class output_module_ds : public output_module_v2 {
public:
  void instantiate(service_ptr<output_device>& out, const GUID& device, double buffer_seconds, bool converter_option,
                   int) override {
    out.reset();
    out = new service_counted<output_dsound>(device, buffer_seconds, service_lookup_unique_t<pcm_converter>(),
                                             converter_option);
  }

  void enumerate_devices(output_device_enum_callback& callback) override {
    try {
      enumerate_dsound_devices([&](const GUID& guid, const wchar_t* description, const wchar_t*) {
        qiv::string_buffer text;
        wide_to_utf8(description, text);
        callback.on_device(guid, text.get_ptr(), static_cast<std::size_t>(-1));
        return true;
      });
    } catch (...) {
      // The callback ends the enumeration by throwing; that is all it means.
    }
  }

  GUID get_guid() override { return config::directsound_output_guid; }
  const char* get_name() override { return "DS"; }
  std::uint32_t get_flags() override { return is_windows_vista_or_later() ? 0 : 3; }

  bool create_volume_control(const GUID& device, service_ptr<app_volume_control>& out) override {
    if (!is_windows_vista_or_later()) return false;
    try {
      out = create_app_volume_control(device);
      return true;
    } catch (...) {
      return false;  // the engine's stream carries the volume then
    }
  }
};

service_factory_single_t<output_module_ds> ds_module_registration;

struct module_index_entry {
  GUID guid;
  std::uint32_t position;
};

struct output_selection_state {
  critical_section lock;
  bool index_built = false;
  std::vector<module_index_entry> index;
};

output_selection_state& selection() noexcept {
  static output_selection_state state;
  return state;
}

struct volume_state {
  service_ptr<app_volume_control> control;
  std::vector<app_volume_listener*> listeners;
};

volume_state& volume() noexcept {
  static volume_state state;
  return state;
}

} // namespace

critical_section& output_configuration_lock() noexcept { return selection().lock; }

void output_select(output_request& request) {
  output_selection_state& s = selection();
  const service_class_entry* modules = service_registry::find_class(output_module::class_guid);
  GUID module_guid, device_guid;
  std::int64_t position = -1;
  {
    critical_section_lock hold(s.lock);
    if (!s.index_built) {
      service_enumerator walk(modules);
      service_handle handle;
      for (std::uint32_t i = 0; walk.next(handle); ++i)
        s.index.push_back({static_cast<output_module*>(handle.get())->get_guid(), i});
      s.index_built = true;
    }
    module_guid = config::output_module.get();
    device_guid = config::output_device.get();
  }
  for (const module_index_entry& entry : s.index)
    if (qiv::guid_equal(entry.guid, module_guid)) position = entry.position;
  service_handle handle;
  if (position < 0 || !service_registry_table::create_instance(modules, static_cast<std::uint32_t>(position), handle))
    throw exception_output_module_not_found();
  service_ptr<output_module> module(static_cast<output_module*>(handle.get()));
  module->instantiate(request.device, device_guid, 3.0, false, 32);
  request.device->set_volume(request.volume);
  if (request.paused) request.device->pause(true);
  request.opened = true;
}

namespace output_volume {

void select_configured() {
  volume_state& v = volume();
  v.control.reset();
  for (auto& module : service_list_t<output_module>()) {
    service_ptr<output_module_v2> extended = service_query<output_module_v2>(module.get());
    if (!extended || !qiv::guid_equal(extended->get_guid(), config::output_module.get())) continue;
    if (extended->create_volume_control(config::output_device.get(), v.control)) break;
    v.control.reset();
  }
  if (v.control)
    for (app_volume_listener* listener : v.listeners) v.control->add_listener(listener);
}

service_ptr<app_volume_control> current() { return volume().control; }

void apply_volume(float decibels) { volume().control->set_volume(decibels); }

bool carries_volume() { return volume().control && !is_wine(); }

void add_listener(app_volume_listener* listener) { volume().listeners.push_back(listener); }

void remove_listener(app_volume_listener* listener) {
  auto& listeners = volume().listeners;
  std::erase(listeners, listener);
  if (volume().control) volume().control->remove_listener(listener);
}

void release() { volume().control.reset(); }

} // namespace output_volume
