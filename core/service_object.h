// Services: every pluggable piece of the system is an object behind a table
// of virtual operations, identified by the GUID of its class. Its first three
// operations are release, add_ref and query; each service class adds its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <utility>

#include "foundation/exceptions.h"

template <class T>
class service_ptr;
class service_object;
using service_handle = service_ptr<service_object>;

class service_object {
public:
  // Answers the new reference count (1 for static single instances).
  virtual std::int32_t release() noexcept = 0;
  virtual std::int32_t add_ref() noexcept = 0;
  // When `guid` is the object's class or an extension it answers, stores the
  // object (with a reference taken) in `out` and answers true; otherwise
  // leaves `out` alone.
  virtual bool query(service_handle& out, const GUID& guid) noexcept = 0;

protected:
  ~service_object() = default;  // only release() ends a service
};

// A counted reference to a service. Assigning takes the new reference first,
// then releases the old one, so assigning an object to itself is safe.
template <class T>
class service_ptr {
public:
  service_ptr() noexcept = default;
  service_ptr(T* object) noexcept : object_(object) {
    if (object_) object_->add_ref();
  }
  service_ptr(const service_ptr& other) noexcept : service_ptr(other.object_) {}
  service_ptr(service_ptr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ~service_ptr() { reset(); }

  service_ptr& operator=(const service_ptr& other) noexcept {
    assign(other.object_);
    return *this;
  }
  service_ptr& operator=(service_ptr&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(object_, std::exchange(other.object_, nullptr));
      if (old) old->release();
    }
    return *this;
  }
  service_ptr& operator=(T* object) noexcept {
    assign(object);
    return *this;
  }

  void assign(T* object) noexcept {
    if (object) object->add_ref();
    T* old = std::exchange(object_, object);
    if (old) old->release();
  }
  void reset() noexcept {
    if (T* old = std::exchange(object_, nullptr)) old->release();
  }

  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

private:
  T* object_ = nullptr;
};

// Every service interface declares its class GUID and the interface it extends:
//   class persistent_store : public service_object {
//   public:
//     static constexpr GUID class_guid = {...};
//     using service_parent = service_object;
//     ...
//   };
// An object answers the GUIDs of its interface and of every interface above it.
// An extension interface (more operations that some implementations of a
// class offer) also declares `static constexpr bool service_is_extension =
// true;`: its implementations still register under the class it extends.
template <class Interface>
bool service_answers_guid(const GUID& guid) noexcept {
  if constexpr (std::is_same_v<Interface, service_object>) {
    return false;
  } else {
    return guid == Interface::class_guid || service_answers_guid<typename Interface::service_parent>(guid);
  }
}

// The class GUID an implementation registers under: its interface's, or for
// an extension the one of the class it extends.
template <class Interface>
constexpr const GUID& service_registered_guid() noexcept {
  if constexpr (requires { Interface::service_is_extension; }) {
    if constexpr (Interface::service_is_extension) return service_registered_guid<typename Interface::service_parent>();
    else return Interface::class_guid;
  } else {
    return Interface::class_guid;
  }
}

// Asks `object` for the interface T (its own class or an extension). Answers
// null when the object does not offer it.
template <class T>
service_ptr<T> service_query(service_object* object) noexcept {
  service_handle answer;
  if (object == nullptr || !object->query(answer, T::class_guid)) return {};
  return service_ptr<T>(static_cast<T*>(answer.get()));
}

// Thrown by callers that need an extension a service does not answer.
class exception_service_extension_not_found : public qiv::exception_with_message {
public:
  exception_service_extension_not_found() noexcept : exception_with_message("Service extension not found") {}
};

// Like service_query, but a missing extension is an error.
template <class T>
service_ptr<T> service_query_required(service_object* object) {
  service_ptr<T> answer = service_query<T>(object);
  if (!answer) throw exception_service_extension_not_found();
  return answer;
}
