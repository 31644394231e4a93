// The dispatch from a path (or an open file) to the inputs that claim it.
#include "metadata/input_dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/io/model_file.h"
#include "tst_input.h"

namespace {

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

  bool is_our_content_type(const char* type) override {
    return std::find(mime_types.begin(), mime_types.end(), type) != mime_types.end();
  }
  bool is_our_path(const char*, const char* extension) override {
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
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
  // A writer is also a reader; its one title names the input that opened it.
  service_ptr<metadata_test::tst_writer> open() {
    if (log) log->push_back(name);
    if (on_open) on_open();
    service_ptr<metadata_test::tst_writer> writer(new service_counted<metadata_test::tst_writer>());
    writer->titles = {name};
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

// Registers the first `count` inputs, in this order, as the process's only ones.
class InputDispatch : public ::testing::Test {
protected:
  service_single_instance<fake_input> inputs[7];
  std::vector<std::string> log;
  raisable_abort_signal abort;

  void SetUp() override {
    for (std::size_t i = 0; i < std::size(inputs); ++i) {
      inputs[i].name = "input" + std::to_string(i);
      inputs[i].log = &log;
    }
  }
  void TearDown() override { service_registry::table().clear(); }

  void register_inputs(std::size_t count) {
    // The list holds the nodes in reverse order of construction.
    service_factory* list = nullptr;
    factories_.clear();
    for (std::size_t i = count; i-- > 0;) factories_.push_back(std::make_unique<input_factory>(&list, &inputs[i]));
    service_registry::table().build(list);
  }
  std::string open_reader(const char* path, const vantrel_io::file_ptr& file = {}, bool skip_flagged = false) {
    info_reader_ptr reader;
    input_dispatch::open_info_reader(reader, file, path, abort, skip_flagged);
    auto writer = service_query<info_writer>(reader.get());
    return static_cast<metadata_test::tst_writer*>(writer.get())->titles.at(0);
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

// What each claimant does when opened, and what the caller gets. The
// registry keeps no order among inputs: whichever comes first, the one that
// accepts the file must be reached, past more claimants than a list keeps inline.
TEST_F(InputDispatch, FailuresOfTheClaimantsCombineIntoOneOutcome) {
  const std::function<void()> accept;
  const std::function<void()> unsupported = [] { throw vantrel_io::exception_io_unsupported_format(); };
  const auto data_error = [](const char* text) { return [text] { throw data_error_with_text(text); }; };
  const std::function<void()> not_found = [] { throw vantrel_io::exception_io_not_found(); };
  enum outcome { opened, unsupported_format, data_error_text, not_found_error };
  constexpr std::size_t any = ~std::size_t(0);
  struct {
    std::vector<std::function<void()>> claimants;
    outcome expected;
    const char* text;  // the error's text, or the opener
    std::size_t asked;  // inputs opened; `any` where the order among claimants decides
  } const cases[] = {
      {{}, unsupported_format, "Unsupported file format", 0},  // no claimant at all
      {{unsupported, accept}, opened, "input1", 2},
      {{unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, accept}, opened, "input6", any},
      {{data_error("Bad header"), data_error("Bad frame")}, data_error_text, "Unsupported format or corrupted file", 2},
      {{data_error("Bad header"), unsupported}, data_error_text, "Bad header", 2},
      {{unsupported, unsupported}, unsupported_format, "Unsupported file format", 2},
      {{data_error("Invalid sample rate.")}, data_error_text, "Invalid sample rate.", 1},  // passes unchanged
      {{not_found, not_found}, not_found_error, "not found", 1},  // not a data error: no further attempt
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    for (std::size_t i = 0; i < std::size(inputs); ++i) {
      inputs[i].extensions = {i < c.claimants.size() ? "tst" : "none"};
      inputs[i].on_open = i < c.claimants.size() ? c.claimants[i] : nullptr;
    }
    register_inputs(std::max<std::size_t>(c.claimants.size(), 2));
    log.clear();
    try {
      const std::string opener = open_reader("file://a.tst");
      EXPECT_EQ(c.expected, opened);
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
    if (c.asked != any) {
      EXPECT_EQ(log.size(), c.asked);
    }
  }
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
  inputs[0].extensions = {"tst"};
  inputs[1].mime_types = {"audio/ogg"};
  register_inputs(2);
  service_ptr<typed_file> file(new service_counted<typed_file>());
  file->mime_type = "audio/ogg";
  EXPECT_EQ(open_reader("file://a.tst", vantrel_io::file_ptr(file.get())), "input1");
  file->mime_type = "audio/unknown";
  EXPECT_EQ(open_reader("file://a.tst", vantrel_io::file_ptr(file.get())), "input0");
}

TEST_F(InputDispatch, FlaggedInputIsSkippedOnlyWhenAsked) {
  inputs[0].extensions = inputs[1].extensions = {"tst"};
  inputs[0].flags = decoder_service::flag_skippable;
  inputs[1].on_open = [] { throw vantrel_io::exception_io_unsupported_format(); };
  register_inputs(2);
  EXPECT_THROW(open_reader("file://a.tst", {}, true), vantrel_io::exception_io_unsupported_format);
  EXPECT_EQ(open_reader("file://a.tst", {}, false), "input0");
}

// A folder's listing asks whether each of its files is claimed, of inputs
// gathered once: it must answer as the collection by path does.
TEST_F(InputDispatch, ClaimTestOfManyPathsAnswersAsCollectionByPath) {
  inputs[0].extensions = {"tst"};
  inputs[1].extensions = {"TX2", ""};
  inputs[2].extensions = {"skip"};
  inputs[2].flags = decoder_service::flag_skippable;
  register_inputs(3);
  const std::string long_extension = "file://a." + std::string(32, 'e');
  for (const bool skip_flagged : {false, true}) {
    const input_dispatch::path_claim_test claims(skip_flagged);
    for (const char* path : {"file://C:\\a.tst", "file://C:\\a.tst?x", "file://C:\\a.TX2", "file://C:\\a.tx2",
                             "file://C:\\noext", "file://C:\\x.tst\\noext", "file://C:\\a.skip", "file://C:\\a.flac",
                             long_extension.c_str(), ""}) {
      claimant_list list;
      EXPECT_EQ(claims.is_claimed(path), input_dispatch::collect_by_path(list, path, skip_flagged))
          << path << (skip_flagged ? " skipping" : "");
    }
  }
}

// Waiting for a file held elsewhere ends when the user aborts.
TEST_F(InputDispatch, WriterRetryEndsOnAbort) {
  inputs[0].extensions = {"tst"};
  inputs[0].on_open = [] { throw vantrel_io::exception_io_sharing_violation(); };
  register_inputs(1);
  info_writer_ptr writer;
  abort.raise();
  EXPECT_THROW(input_dispatch::open_info_writer_with_retry(writer, {}, "file://a.tst", abort, 60.0),
               vantrel_io::exception_aborted);
}

}  // namespace
