// The dispatch from a path (or an open file) to the inputs that claim it.
#include "metadata/input_dispatch.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "tests/io/model_file.h"

namespace {

// The object every fake input hands out: a writer is also a reader.
class fake_writer : public info_writer {
public:
  std::string opened_by;
  std::uint32_t get_subsong_count() override { return 1; }
  std::uint32_t get_subsong(std::uint32_t index) override { return index; }
  void get_info(std::uint32_t, track_info&, const abort_signal&) override {}
  vantrel_io::file_stats get_file_stats(const abort_signal&) override { return {}; }
  void set_info(std::uint32_t, const track_info&, const abort_signal&) override {}
  void commit(const abort_signal&) override {}
};

// A test input: claims its extensions and MIME types, and on every open does
// what the test says (succeed by default) and records that it was asked.
class fake_input : public decoder_service {
public:
  std::string name;
  std::vector<std::string> extensions;
  std::vector<std::string> mime_types;
  std::uint32_t flags = 0;
  std::function<void()> on_open;  // may throw
  std::vector<std::string>* log = nullptr;

  bool is_our_content_type(const char* mime_type) override {
    for (const auto& type : mime_types) {
      if (type == mime_type) return true;
    }
    return false;
  }
  bool is_our_path(const char*, const char* extension) override {
    for (const auto& known : extensions) {
      if (known == extension) return true;
    }
    return false;
  }
  void open_for_decoding(decoder_instance_ptr&, vantrel_io::file_ptr, const char*, const abort_signal&) override {
    throw vantrel_io::exception_io_unsupported_format();
  }
  void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr, const char*, const abort_signal&) override {
    out = open().get();
  }
  void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr, const char*, const abort_signal&) override {
    out = open().get();
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return flags; }

private:
  service_ptr<fake_writer> open() {
    if (log) log->push_back(name);
    if (on_open) on_open();
    service_ptr<fake_writer> writer(new service_counted<fake_writer>());
    writer->opened_by = name;
    return writer;
  }
};

class input_factory final : public service_factory {
public:
  input_factory(service_factory** list, decoder_service* input)
      : service_factory(decoder_service::class_guid, list), input_(input) {}
  void create(service_handle& out) override { out = input_; }

private:
  decoder_service* input_;
};

class data_error_with_text : public vantrel_io::exception_io_data {
public:
  explicit data_error_with_text(const char* text) : exception_io_data(vantrel_io::io_message("", text)) {}
};

// Registers the given inputs, in this order, as the process's only ones.
class InputDispatch : public ::testing::Test {
protected:
  service_single_instance<fake_input> first, second, third;
  std::vector<std::string> log;
  raisable_abort_signal abort;

  void register_inputs(std::initializer_list<fake_input*> inputs) {
    // The list holds the nodes in reverse order of construction.
    service_factory* list = nullptr;
    for (auto it = std::rbegin(inputs); it != std::rend(inputs); ++it) {
      (*it)->log = &log;
      factories_.push_back(std::make_unique<input_factory>(&list, *it));
    }
    service_registry::table().build(list);
  }
  void SetUp() override {
    first.name = "first";
    second.name = "second";
    third.name = "third";
  }
  void TearDown() override { service_registry::table().clear(); }

  std::string open_reader(const char* path, const vantrel_io::file_ptr& file = {}, bool skip_flagged = false) {
    info_reader_ptr reader;
    input_dispatch::open_info_reader(reader, file, path, abort, skip_flagged);
    auto writer = service_query<info_writer>(reader.get());
    return static_cast<fake_writer*>(writer.get())->opened_by;
  }

private:
  std::vector<std::unique_ptr<input_factory>> factories_;
};

std::string extension_of(const char* path) {
  qiv::string_buffer out;
  input_dispatch::get_extension(path, out);
  return out.get_ptr();
}

TEST(InputDispatchExtension, IsTheTextAfterTheLastDotOfTheFileNameBeforeAnyQuery) {
  const std::string thirty_one(31, 'e');
  struct {
    std::string path;
    std::string extension;
  } const cases[] = {
      {"file://C:\\Music\\a.FLAC", "FLAC"},
      {"file://C:\\Music\\x.ogg?id=3", "ogg"},
      {"file://C:\\Music\\archive.tar.gz", "gz"},
      {"file://C:\\Music\\.hidden", "hidden"},
      {"file://C:\\Music.d\\noext", ""},  // a dot in a folder name
      {"file://C:/Music.d/noext", ""},
      {"", ""},
      {"file://a." + thirty_one, thirty_one},
      {"file://a." + thirty_one + "e", ""},  // 32 bytes or more is no extension
  };
  for (const auto& c : cases) EXPECT_EQ(extension_of(c.path.c_str()), c.extension) << c.path;
}

// What each of two claimants does when opened, and what the caller gets.
TEST_F(InputDispatch, FailuresOfTheClaimantsCombineIntoOneOutcome) {
  const std::function<void()> accept;
  const std::function<void()> unsupported = [] { throw vantrel_io::exception_io_unsupported_format(); };
  const auto data_error = [](const char* text) { return [text] { throw data_error_with_text(text); }; };
  const std::function<void()> not_found = [] { throw vantrel_io::exception_io_not_found(); };
  enum outcome { opened_by_second, unsupported_format, data_error_text, not_found_error };
  struct {
    std::vector<std::function<void()>> claimants;
    outcome expected;
    const char* text;  // the error's text, or the opener
    std::size_t asked;
  } const cases[] = {
      {{}, unsupported_format, "Unsupported file format", 0},  // no claimant at all
      {{unsupported, accept}, opened_by_second, "second", 2},
      {{data_error("Bad header"), data_error("Bad frame")}, data_error_text, "Unsupported format or corrupted file", 2},
      {{data_error("Bad header"), unsupported}, data_error_text, "Bad header", 2},
      {{unsupported, unsupported}, unsupported_format, "Unsupported file format", 2},
      {{data_error("Invalid sample rate.")}, data_error_text, "Invalid sample rate.", 1},  // passes unchanged
      {{not_found, not_found}, not_found_error, nullptr, 1},  // not a data error: no further attempt
  };
  fake_input* inputs[] = {&first, &second};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "not found");
    for (std::size_t i = 0; i < 2; ++i) {
      inputs[i]->extensions = {i < c.claimants.size() ? "tst" : "none"};
      inputs[i]->on_open = i < c.claimants.size() ? c.claimants[i] : nullptr;
    }
    register_inputs({&first, &second});
    log.clear();
    try {
      const std::string opener = open_reader("file://a.tst");
      EXPECT_EQ(c.expected, opened_by_second);
      EXPECT_EQ(opener, c.text);
    } catch (const vantrel_io::exception_io_unsupported_format& error) {
      EXPECT_EQ(c.expected, unsupported_format);
      EXPECT_STREQ(error.what(), c.text);
    } catch (const vantrel_io::exception_io_data& error) {
      EXPECT_EQ(c.expected, data_error_text);
      EXPECT_STREQ(error.what(), c.text);
    } catch (const vantrel_io::exception_io_not_found&) {
      EXPECT_EQ(c.expected, not_found_error);
    }
    EXPECT_EQ(log.size(), c.asked);
  }
}

// The registry keeps no order among inputs: whichever comes first, the one
// that accepts the file must be reached.
TEST_F(InputDispatch, ManyClaimantsAreTriedUntilOneAccepts) {
  // More claimants than the list keeps inline.
  service_single_instance<fake_input> extra[4];
  std::vector<fake_input*> all = {&first, &second, &third};
  for (auto& input : extra) all.push_back(&input);
  for (std::size_t i = 0; i < all.size(); ++i) {
    all[i]->name = "input" + std::to_string(i);
    all[i]->extensions = {"tst"};
    if (i + 1 < all.size()) all[i]->on_open = [] { throw vantrel_io::exception_io_unsupported_format(); };
  }
  register_inputs({all[0], all[1], all[2], all[3], all[4], all[5], all[6]});
  EXPECT_EQ(open_reader("file://a.tst"), "input6");
  EXPECT_EQ(log.back(), "input6");
}

class typed_file : public io_test::model_file {
public:
  std::string mime_type;
  bool get_mime_type(qiv::string_object& out) override {
    if (mime_type.empty()) return false;
    out.set_string(mime_type.c_str());
    return true;
  }
};

TEST_F(InputDispatch, OpenFileContentTypeWinsOverTheExtension) {
  first.extensions = {"tst"};
  second.mime_types = {"audio/ogg"};
  register_inputs({&first, &second});
  service_ptr<typed_file> file(new service_counted<typed_file>());
  file->mime_type = "audio/ogg";
  EXPECT_EQ(open_reader("file://a.tst", vantrel_io::file_ptr(file.get())), "second");
  file->mime_type = "audio/unknown";
  EXPECT_EQ(open_reader("file://a.tst", vantrel_io::file_ptr(file.get())), "first");
}

TEST_F(InputDispatch, FlaggedInputIsSkippedOnlyWhenAsked) {
  first.extensions = second.extensions = {"tst"};
  first.flags = decoder_service::flag_skippable;
  second.on_open = [] { throw vantrel_io::exception_io_unsupported_format(); };
  register_inputs({&first, &second});
  EXPECT_THROW(open_reader("file://a.tst", {}, true), vantrel_io::exception_io_unsupported_format);
  EXPECT_EQ(open_reader("file://a.tst", {}, false), "first");
}

// A file held elsewhere is retried until it frees, the time runs out or the
// user aborts.
TEST_F(InputDispatch, WriterRetriesWhileTheFileIsHeldElsewhere) {
  first.extensions = {"tst"};
  int refusals = 3;
  first.on_open = [&] {
    if (refusals-- > 0) throw vantrel_io::exception_io_sharing_violation();
  };
  register_inputs({&first});
  info_writer_ptr writer;
  input_dispatch::open_info_writer_with_retry(writer, {}, "file://a.tst", abort, 60.0);
  EXPECT_TRUE(writer);
  EXPECT_EQ(log.size(), 4u);

  refusals = 1000000;
  EXPECT_THROW(input_dispatch::open_info_writer_with_retry(writer, {}, "file://a.tst", abort, 0.05),
               vantrel_io::exception_io_sharing_violation);
  abort.raise();
  EXPECT_THROW(input_dispatch::open_info_writer_with_retry(writer, {}, "file://a.tst", abort, 60.0),
               vantrel_io::exception_aborted);
}

}  // namespace
