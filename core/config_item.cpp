#include "core/config_item.h"

// Constant-initialised, so items in any module may link themselves during
// static initialisation, whatever the order of the modules.
constinit config_item* config_item::global_list_head = nullptr;

config_item::config_item(const GUID& guid, config_item** list) noexcept : guid_(guid), next_(*list) { *list = this; }
