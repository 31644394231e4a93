// A factory with one embedded instance, linked into a test's own service
// list instead of the program's.
#pragma once

#include "core/service_factory.h"

template <class Impl>
class single_factory final : public service_factory {
public:
  explicit single_factory(service_factory** list) : service_factory(service_registered_guid<Impl>(), list) {}
  void create(service_handle& out) override { out = &instance; }
  service_single_instance<Impl> instance;
};
