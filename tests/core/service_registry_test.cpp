#include "core/service_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_exceptions.h"
#include "core/app_state.h"
#include "core/persistent_store.h"
#include "tests/support/sample_tag_service.h"
#include "tests/support/single_factory.h"

namespace {

class sample_service : public service_object {
public:
  static constexpr GUID class_guid = {0x10000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 1}};
  using service_parent = service_object;
  virtual int identity() const = 0;
};

class sample_extension : public sample_service {
public:
  static constexpr GUID class_guid = {0x10000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 2}};
  using service_parent = sample_service;
  static constexpr bool service_is_extension = true;
};

class sample_one : public sample_extension {
public:
  int identity() const override { return 1; }
};

class sample_two : public sample_service {
public:
  int identity() const override { return 2; }
};

template <class Impl>
class counted_factory final : public service_factory {
public:
  explicit counted_factory(service_factory** list) : service_factory(service_registered_guid<Impl>(), list) {}
  void create(service_handle& out) override { out = new service_counted<Impl>(); }
};

class failing_factory final : public service_factory {
public:
  explicit failing_factory(service_factory** list) : service_factory(sample_service::class_guid, list) {}
  void create(service_handle& out) override { out.reset(); }
};

// The text of the exception `call` throws; "" when it throws none.
template <class Exception, class Call>
std::string message_of(Call call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

TEST(ServiceRegistry, ClassWithoutImplementationIsNotFoundAnywhere) {
  service_factory* list = nullptr;
  single_factory<sample_two> other(&list);
  service_registry_table table;
  table.build(list);
  EXPECT_EQ(table.find_class(sample_extension::class_guid), nullptr);
  service_enumerator walk(table.find_class(sample_extension::class_guid));
  service_handle handle;
  EXPECT_FALSE(walk.next(handle));
  EXPECT_EQ(message_of<exception_service_not_found>([&] { service_lookup_unique(table, sample_extension::class_guid); }),
            "Service not found");
}

TEST(ServiceRegistry, UniqueLookupRefusesTwoImplementations) {
  service_factory* list = nullptr;
  single_factory<sample_one> one(&list);
  single_factory<sample_two> two(&list);
  service_registry_table table;
  table.build(list);
  EXPECT_EQ(message_of<exception_service_duplicated>([&] { service_lookup_unique(table, sample_service::class_guid); }),
            "Service duplicated");
  // Enumeration finds both, in some order.
  std::vector<int> seen;
  for (auto& service : service_list_t<sample_service>(table)) seen.push_back(service->identity());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(ServiceRegistry, SingleInstancesAreSharedAndCountedOnesAreNew) {
  service_factory* list = nullptr;
  single_factory<sample_one> single(&list);
  service_registry_table table;
  table.build(list);
  EXPECT_EQ(service_lookup_unique(table, sample_service::class_guid).get(),
            service_lookup_unique(table, sample_service::class_guid).get());

  service_factory* counted_list = nullptr;
  counted_factory<sample_two> counted(&counted_list);
  service_registry_table counted_table;
  counted_table.build(counted_list);
  service_handle first = service_lookup_unique(counted_table, sample_service::class_guid);
  service_handle second = service_lookup_unique(counted_table, sample_service::class_guid);
  EXPECT_NE(first.get(), second.get());
  // The handle holds the only reference: one more and one less leave it alive.
  EXPECT_EQ(first->add_ref(), 2);
  EXPECT_EQ(first->release(), 1);
}

TEST(ServiceRegistry, EnumerationEndsAtAnImplementationThatFailsToCreate) {
  service_factory* list = nullptr;
  failing_factory failing(&list);
  service_registry_table table;
  table.build(list);
  service_enumerator walk(table.find_class(sample_service::class_guid));
  service_handle handle;
  EXPECT_FALSE(walk.next(handle));
  EXPECT_FALSE(walk.next(handle));
}

TEST(ServiceRegistry, BinarySearchFindsEveryClassAmongMany) {
  constexpr int count = 37;
  std::vector<GUID> guids(count);
  service_factory* list = nullptr;
  class guid_factory final : public service_factory {
  public:
    guid_factory(const GUID& guid, service_factory** list) : service_factory(guid, list) {}
    void create(service_handle& out) override { out.reset(); }
  };
  std::vector<std::unique_ptr<guid_factory>> factories;
  for (int i = 0; i < count; ++i) {
    guids[i] = GUID{static_cast<unsigned long>(i * 7919u), static_cast<unsigned short>(i), 0, {0, 0, 0, 0, 0, 0, 0, static_cast<unsigned char>(i)}};
    factories.push_back(std::make_unique<guid_factory>(guids[i], &list));
    if (i % 3 == 0) factories.push_back(std::make_unique<guid_factory>(guids[i], &list));  // a second implementation
  }
  service_registry_table table;
  table.build(list);
  for (int i = 0; i < count; ++i) {
    const service_class_entry* entry = table.find_class(guids[i]);
    ASSERT_NE(entry, nullptr) << i;
    EXPECT_EQ(entry->guid, guids[i]);
    EXPECT_EQ(entry->count, i % 3 == 0 ? 2u : 1u);
  }
  EXPECT_EQ(table.find_class(GUID{1, 1, 1, {1}}), nullptr);
}

TEST(ServiceQuery, AnswersTheInterfaceChainAndLeavesTheHandleAloneOtherwise) {
  service_single_instance<sample_one> one;
  EXPECT_TRUE(service_query<sample_service>(&one));
  EXPECT_TRUE(service_query<sample_extension>(&one));
  service_single_instance<sample_two> two;
  EXPECT_TRUE(service_query<sample_service>(&two));
  service_handle kept(&one);
  EXPECT_FALSE(two.query(kept, sample_extension::class_guid));
  EXPECT_EQ(kept.get(), &one);
  EXPECT_THROW(service_query_required<sample_extension>(&two), exception_service_extension_not_found);
}

TEST(ServicePointer, SelfAssignmentKeepsTheObjectAlive) {
  service_handle handle(new service_counted<sample_two>());
  service_object* object = handle.get();
  handle = object;  // takes the new reference before it releases the old one
  EXPECT_EQ(handle.get(), object);
  EXPECT_EQ(handle->add_ref(), 2);
  EXPECT_EQ(handle->release(), 1);
}

// Stores and the tag-service check of the process registry.
class recording_store : public persistent_store {
public:
  void load() override { events.push_back("load"); }
  void save(bool reset) override { events.push_back(reset ? "save reset" : "save"); }
  static inline std::vector<std::string> events;
};


class ProcessRegistry : public ::testing::Test {
protected:
  void SetUp() override {
    recording_store::events.clear();
    app::state().profile_read_only = false;
  }
  void TearDown() override {
    service_registry::free();
    app::state().profile_read_only = false;
  }
};

TEST_F(ProcessRegistry, BuildLoadsStoresAndShutdownSavesThemUnlessReadOnly) {
  service_factory* list = nullptr;
  single_factory<sample_tag_service> tags(&list);
  single_factory<recording_store> store(&list);
  service_registry::build(list);
  EXPECT_EQ(recording_store::events, (std::vector<std::string>{"load"}));
  service_registry::save_stores(true);
  EXPECT_EQ(recording_store::events, (std::vector<std::string>{"load", "save reset"}));
  app::state().profile_read_only = true;
  service_registry::save_stores(false);
  EXPECT_EQ(recording_store::events.size(), 2u);
}

TEST_F(ProcessRegistry, MissingOrDuplicatedTagServiceMeansADamagedInstallation) {
  service_factory* none = nullptr;
  single_factory<recording_store> store(&none);
  EXPECT_THROW(service_registry::build(none), exception_installdamaged);
  EXPECT_TRUE(recording_store::events.empty());  // nothing loads from a damaged installation

  service_factory* two = nullptr;
  single_factory<sample_tag_service> first(&two);
  single_factory<sample_tag_service> second(&two);
  EXPECT_EQ(message_of<exception_installdamaged>([&] { service_registry::build(two); }),
            "Internal error - one or more of the installed components have been damaged.");
}

}  // namespace
