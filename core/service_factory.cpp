#include "core/service_factory.h"

// Zero before any static initialiser runs, whatever the order of initialisation.
constinit service_factory* service_factory::global_list_head = nullptr;

service_factory::service_factory(const GUID& class_guid, service_factory** list)
    : next_(*list), class_guid_(&class_guid) {
  *list = this;
}
