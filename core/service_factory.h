// Registration of service implementations. A static service_factory node per
// implementation links itself into one global list before start-up; the
// registry turns that list into its table (core/service_registry.h).
//
//   class my_store : public persistent_store { ... };
//   static service_factory_single_t<my_store> my_store_registration;  // one static instance
//   static service_factory_t<my_engine> engine_registration;          // a new object per create
#pragma once

#include <atomic>
#include <type_traits>

#include "core/service_object.h"

class service_factory {
public:
  // Links the node at the head of `list` (the global list unless a test gives
  // its own), so the list holds the nodes in reverse order of construction.
  explicit service_factory(const GUID& class_guid, service_factory** list = &global_list_head);
  service_factory(const service_factory&) = delete;
  service_factory& operator=(const service_factory&) = delete;

  // Stores an implementation in `out` (releasing what it held); a failing
  // create leaves `out` empty or throws.
  virtual void create(service_handle& out) = 0;

  const GUID& class_guid() const noexcept { return *class_guid_; }
  service_factory* next() const noexcept { return next_; }

  static service_factory* global_list_head;

protected:
  ~service_factory() = default;  // static objects: nothing to undo at exit

private:
  service_factory* next_;
  const GUID* class_guid_;
};

// Answers the GUIDs of Impl's interface chain, plus any extra ones Impl names
// with a static `answers_extension(const GUID&)`.
template <class Impl>
bool service_implementation_answers(const GUID& guid) noexcept {
  if (service_answers_guid<Impl>(guid)) return true;
  if constexpr (requires { Impl::answers_extension(guid); }) return Impl::answers_extension(guid);
  return false;
}

// A service that lives for the whole process: counting does nothing.
template <class Impl>
class service_single_instance final : public Impl {
public:
  using Impl::Impl;
  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle& out, const GUID& guid) noexcept override {
    if (!service_implementation_answers<Impl>(guid)) return false;
    out = this;
    return true;
  }
};

// A counted service: destroyed when the last reference is released.
template <class Impl>
class service_counted final : public Impl {
public:
  using Impl::Impl;
  std::int32_t release() noexcept override {
    const std::int32_t count = --count_;
    if (count == 0) delete this;
    return count;
  }
  std::int32_t add_ref() noexcept override { return ++count_; }
  bool query(service_handle& out, const GUID& guid) noexcept override {
    if (!service_implementation_answers<Impl>(guid)) return false;
    out = this;
    return true;
  }

private:
  ~service_counted() = default;
  std::atomic<std::int32_t> count_{0};
};

// One embedded static instance, handed out by every create.
template <class Impl>
class service_factory_single_t final : public service_factory {
public:
  template <class... Args>
  explicit service_factory_single_t(Args&&... args)
      : service_factory(service_registered_guid<Impl>()), instance_(std::forward<Args>(args)...) {}
  void create(service_handle& out) override { out = &instance_; }
  Impl& get_static_instance() noexcept { return instance_; }

private:
  service_single_instance<Impl> instance_;
};

// A fresh counted object for every create.
template <class Impl>
class service_factory_t final : public service_factory {
public:
  service_factory_t() : service_factory(service_registered_guid<Impl>()) {}
  void create(service_handle& out) override { out = new service_counted<Impl>(); }
};
