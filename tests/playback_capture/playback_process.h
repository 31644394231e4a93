// What every playback test process sets up once: the main thread, the
// hidden window that carries the main-thread queue, the services, and no
// fades, so that a capture holds the source samples unchanged.
#pragma once

#include <windows.h>

#include "core/advanced_settings_registrations.h"
#include "core/hidden_main_window.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"

inline void set_up_playback_process() {
  qiv::set_main_thread_id(GetCurrentThreadId());
  hidden_main_window::create();
  service_registry::table().build(service_factory::global_list_head);
  for (advanced_setting_integer* fade : {&advanced_settings::fade_on_seek_ms, &advanced_settings::fade_out_ms,
                                         &advanced_settings::fade_on_pause_ms})
    fade->set_state("0", 1);
}
