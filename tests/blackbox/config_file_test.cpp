// "config.dat" as the user's disk sees it: what zorv.exe writes at exit, when
// it leaves the file alone, and how it answers damaged files at start-up.
// The file is read back by a parser of its own, written from the file's
// layout rather than from the program's code.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/file_holder.h"
#include "support/program_copy.h"

namespace {

using test_support::file_exists;
using test_support::program_copy;
using test_support::program_options;
using test_support::program_result;
using test_support::run_program;
using test_support::scratch_folder;

using bytes = std::vector<std::uint8_t>;

// Starts the program and, once its main window shows, closes it as a user
// would, which saves the configuration.
program_result run_and_close(const program_copy& copy, const std::wstring& arguments = L"",
                             int message_box_answer = IDOK) {
  program_options options;
  options.program = copy.exe();
  options.arguments = arguments;
  options.message_box_answer = message_box_answer;
  options.on_window = [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); };
  return run_program(options);
}

bytes read_file(const std::wstring& path) {
  bytes content;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  content.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
  content.resize(read);
  CloseHandle(file);
  return content;
}

void write_file(const std::wstring& path, const bytes& content) {
  test_support::write_file(path, std::string(content.begin(), content.end()));
}

void append_u32(bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t load_u32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" as its 16 bytes in memory order.
bytes guid_bytes(const char* text) {
  bytes digits;
  for (const char* p = text; *p; ++p) {
    if (*p == '-') continue;
    char pair[3] = {p[0], p[1], 0};
    digits.push_back(static_cast<std::uint8_t>(std::strtoul(pair, nullptr, 16)));
    ++p;
  }
  return {digits[3], digits[2], digits[1], digits[0], digits[5], digits[4], digits[7], digits[6], digits[8],
          digits[9], digits[10], digits[11], digits[12], digits[13], digits[14], digits[15]};
}

const bytes file_guid = guid_bytes("B2223DD1-15C4-46F5-8031-96E692BC1E20");

bytes md5_of_salted(const bytes& payload) {
  const std::uint32_t salt_words[4] = {0x5A6F7276, 0x43666731, 0x9E3779B9, 0x7F4A7C15};
  bytes data;
  for (std::uint32_t word : salt_words) append_u32(data, word);
  data.insert(data.end(), payload.begin(), payload.end());
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  bytes digest(16);
  DWORD size = 16;
  CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT);
  CryptCreateHash(provider, CALG_MD5, 0, 0, &hash);
  CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0);
  CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &size, 0);
  CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  return digest;
}

bytes make_file(const bytes& payload) {
  bytes file = file_guid;
  const bytes digest = md5_of_salted(payload);
  file.insert(file.end(), digest.begin(), digest.end());
  append_u32(file, static_cast<std::uint32_t>(payload.size()));
  file.insert(file.end(), payload.begin(), payload.end());
  return file;
}

void append_record(bytes& payload, const char* guid, const bytes& value) {
  const bytes id = guid_bytes(guid);
  payload.insert(payload.end(), id.begin(), id.end());
  append_u32(payload, static_cast<std::uint32_t>(value.size()));
  payload.insert(payload.end(), value.begin(), value.end());
}

struct parsed_file {
  bool valid = false;
  std::string problem;
  std::map<bytes, bytes> records;  // GUID bytes -> value
};

parsed_file parse(const bytes& file) {
  parsed_file result;
  auto fail = [&](const char* problem) {
    result.problem = problem;
    return result;
  };
  if (file.size() < 36) return fail("shorter than the header");
  if (!std::equal(file_guid.begin(), file_guid.end(), file.begin())) return fail("file GUID");
  const std::uint32_t length = load_u32(&file[32]);
  if (length != file.size() - 36) return fail("payload length");
  const bytes payload(file.begin() + 36, file.end());
  if (!std::equal(file.begin() + 16, file.begin() + 32, md5_of_salted(payload).begin())) return fail("digest");
  std::size_t at = 0;
  while (at < payload.size()) {
    if (payload.size() - at < 20) return fail("record header cut short");
    const bytes guid(payload.begin() + at, payload.begin() + at + 16);
    const std::uint32_t size = load_u32(&payload[at + 16]);
    at += 20;
    if (size > payload.size() - at) return fail("record beyond the payload");
    if (result.records.count(guid)) return fail("record twice");
    result.records[guid] = bytes(payload.begin() + at, payload.begin() + at + size);
    at += size;
  }
  result.valid = true;
  return result;
}

bytes u32_bytes(std::initializer_list<std::uint32_t> values) {
  bytes out;
  for (std::uint32_t value : values) append_u32(out, value);
  return out;
}

bytes text_bytes(const char* text) { return bytes(text, text + std::strlen(text)); }

const bytes window_position_default = u32_bytes({0xFFFFFFFF, 0xFFFFFFFF, 0x80000000, 0x80000000, 0, 0});
const bytes minus_one = u32_bytes({0xFFFFFFFF});

// Every item the program stores, with its default value; the font depends
// on the system and is checked for its size only.
const std::map<std::string, bytes> default_records = {
    {"9C6E5D7A-A426-4960-A2E6-2A1AB834B8A2", u32_bytes({0})},
    {"5E8263F3-5D4C-4A03-BD41-2BBF1EE2C24D", u32_bytes({0})},
    {"A0AA0DBF-C6D0-4DB7-BC23-E2AF96BDBEC4", {1}},
    {"5AA02BF0-431E-4460-B1F0-9EE74D02754F", u32_bytes({0})},
    {"F44473BB-9025-4204-AFB5-8F46C2102298", {1}},
    {"4EF867C5-BD50-4E87-876B-9E347074C80B", guid_bytes("D41D2423-FBB0-4635-B233-7054F79814AB")},
    {"C9026507-B29B-4A35-A2B7-3C16BCCB0391", bytes(16, 0)},
    {"8815239B-FDF3-4DD8-B6E2-E4834E83761C", u32_bytes({0})},
    {"262B5E5F-A13B-485B-8FDD-288C45225696", u32_bytes({0})},
    {"F90B10FB-D8FE-461A-8154-4664B7E8AEE9", window_position_default},
    {"C70F0A8C-3CD5-4BA9-88CD-CC161A87A00E", u32_bytes({2, 1, 0, 0})},
    {"1DE8F186-735F-4F81-B687-430C92993A15", guid_bytes("8321EE01-0E2F-4CDD-9988-2CFADA2CED4C")},
    {"B9624A96-1DBB-4608-AF6D-073CB8C40E20", {1}},
    {"B0C5417D-AF6E-482F-AB45-71FB6C76795A", window_position_default},
    {"783995B3-6E3F-4E7F-BB3E-8D2070DCA979", minus_one},
    {"634E853D-60B8-4A4D-9FCC-A48CF67A1514", minus_one},
    {"91366412-7D62-43D3-8B32-B99930DB3BC5", minus_one},
    {"98A89E74-9D81-4A1C-B42C-FE0D05AF5742", minus_one},
    {"31CADE7B-918E-46E6-BAE2-7C708ABB2F13", text_bytes("&\r\nand\r\n,\r\n;")},
    {"153F164F-1F4A-49BC-82CD-56774C99C55B", {1}},
    {"F402A43D-B1F6-451A-8E42-03E4607030E8", text_bytes("%title%")},
    {"CEE7EC8C-285C-44BC-93F4-78382AFE40D1", window_position_default},
    {"C48D91D6-9112-479F-90CD-E818A4321724", window_position_default},
    {"484E0404-8A2F-4461-8E75-86012E40A6E7", minus_one},
    {"FF7CDFE6-BF79-4AA3-97C4-33B1426E44DB", minus_one},
    {"40AEF7FE-E254-4003-91F6-132BD33F4260", minus_one},
    {"77B22631-D660-4A99-BDE6-BB19BEAA663F",
     text_bytes("ARTIST\nTITLE\nALBUM\nGENRE\nTRACKNUMBER\nCOMPOSER\nDATE\nCOMMENT\nPERFORMER")},
    {"08C50151-294B-4F33-89C2-9D55794B2B65", window_position_default},
    {"6490F07D-F12E-4963-8946-FDE5DCC08F3A", u32_bytes({0, 2, 0, 0})},  // the albums root
};
constexpr char font_item[] = "BBF834C9-4075-4676-BA37-63AAEB8498C5";
constexpr char volume_item[] = "8815239B-FDF3-4DD8-B6E2-E4834E83761C";
constexpr char folders_item[] = "5AA02BF0-431E-4460-B1F0-9EE74D02754F";
constexpr char pattern_item[] = "F402A43D-B1F6-451A-8E42-03E4607030E8";

const std::wstring data_error_prompt =
    L"Error reading configuration file (Unsupported format or corrupted file).\nContinue?";
const std::wstring corrupted_prompt = L"Error reading configuration file (Corrupted configuration file).\nContinue?";

bool exited_on_shutdown_request(const program_result& result) {
  return result.exit_code == 0 && result.debug_output.find("Exiting (Shutdown Request)") != std::string::npos;
}

FILETIME write_time(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// A normal end that saved a whole, valid file holding every item, and left no
// ".tmp" behind.
parsed_file saved_at_clean_exit(const program_result& result, const program_copy& copy) {
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(result.message_boxes.empty());
  EXPECT_FALSE(file_exists(copy.config() + L".tmp"));
  parsed_file file = parse(read_file(copy.config()));
  EXPECT_TRUE(file.valid) << file.problem;
  EXPECT_EQ(file.records.size(), default_records.size() + 1);
  return file;
}

class ConfigFile : public ::testing::Test {
protected:
  void SetUp() override {
    if (test_support::built_program().empty()) GTEST_SKIP() << "ZORV_EXE is not set";
  }

  // The file a first run leaves behind.
  static bytes default_file() {
    program_copy copy;
    const program_result result = run_and_close(copy);
    EXPECT_EQ(result.exit_code, 0u) << result.debug_output;
    return read_file(copy.config());
  }
};

TEST_F(ConfigFile, FirstExitWritesEveryItemWithItsDefault) {
  program_copy copy;
  const parsed_file file = saved_at_clean_exit(run_and_close(copy), copy);
  for (const auto& [guid, value] : default_records) {
    const auto found = file.records.find(guid_bytes(guid.c_str()));
    ASSERT_NE(found, file.records.end()) << guid;
    EXPECT_EQ(found->second, value) << guid;
  }
  const auto font = file.records.find(guid_bytes(font_item));
  ASSERT_NE(font, file.records.end());
  EXPECT_EQ(font->second.size(), 76u);
}

TEST_F(ConfigFile, ExitWithNothingChangedLeavesTheFileAlone) {
  program_copy copy;
  ASSERT_EQ(run_and_close(copy).exit_code, 0u);
  // An old time stamp that any rewrite would replace.
  FILETIME old_time = {0x12345678, 0x01C00000};
  HANDLE file = CreateFileW(copy.config().c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFileTime(file, nullptr, nullptr, &old_time);
  CloseHandle(file);
  const bytes before = read_file(copy.config());

  const program_result result = run_and_close(copy);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(result.message_boxes.empty());
  const FILETIME after = write_time(copy.config());
  EXPECT_EQ(after.dwLowDateTime, old_time.dwLowDateTime);
  EXPECT_EQ(after.dwHighDateTime, old_time.dwHighDateTime);
  EXPECT_EQ(read_file(copy.config()), before);
  EXPECT_FALSE(file_exists(copy.config() + L".tmp"));
}

TEST_F(ConfigFile, AFlippedPayloadByteAsksAndTheAnswerDecidesWhatBecomesOfTheFile) {
  const bytes original = default_file();
  ASSERT_GT(original.size(), 40u);
  bytes damaged = original;
  damaged[40] ^= 0x01;
  const struct {
    const char* why;
    const wchar_t* arguments;
    int answer;
    bool asks;
    bool ends_at_startup;
    const bytes& file_after;
  } cases[] = {
      {"Cancel ends start-up without touching the file", L"", IDCANCEL, true, true, damaged},
      {"OK runs on defaults and rewrites the file", L"", IDOK, true, false, original},
      {"a quiet start neither asks nor touches it", L"/quiet", IDCANCEL, false, false, damaged},
  };
  for (const auto& c : cases) {
    program_copy copy;
    copy.create_profile();
    write_file(copy.config(), damaged);
    const program_result result = run_and_close(copy, c.arguments, c.answer);
    EXPECT_FALSE(result.timed_out) << c.why;
    EXPECT_EQ(result.exit_code, 0u) << c.why;
    EXPECT_EQ(exited_on_shutdown_request(result), c.ends_at_startup) << c.why << ": " << result.debug_output;
    ASSERT_EQ(result.message_boxes.size(), c.asks ? 1u : 0u) << c.why;
    if (c.asks) {
      EXPECT_EQ(result.message_boxes[0].text, corrupted_prompt) << c.why;
    }
    EXPECT_EQ(read_file(copy.config()), c.file_after) << c.why;
  }
}

TEST_F(ConfigFile, DamagedHeadersAskWithTheDataErrorText) {
  const bytes empty = make_file({});
  bytes length_beyond = empty;
  length_beyond[32] = 10;  // claims ten payload bytes that are not there
  bytes wrong_guid = empty;
  wrong_guid[0] ^= 0xFF;
  const std::map<std::string, bytes> cases = {
      {"twenty bytes", bytes(empty.begin(), empty.begin() + 20)},
      {"cut inside the header", bytes(empty.begin(), empty.begin() + 30)},
      {"length beyond the file", length_beyond},
      {"wrong file GUID", wrong_guid},
  };
  for (const auto& [name, content] : cases) {
    program_copy copy;
    copy.create_profile();
    write_file(copy.config(), content);
    const program_result result = run_and_close(copy, L"", IDCANCEL);
    EXPECT_TRUE(exited_on_shutdown_request(result)) << name << ": " << result.debug_output;
    ASSERT_EQ(result.message_boxes.size(), 1u) << name;
    EXPECT_EQ(result.message_boxes[0].text, data_error_prompt) << name;
  }
}

TEST_F(ConfigFile, RecordsLoadInAnyOrderPastUnknownAndDamagedOnes) {
  bytes payload;
  append_record(payload, pattern_item, text_bytes("%artist% - %title%"));
  append_record(payload, "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0", text_bytes("from a later version"));
  // A list of texts that claims two billion entries: only that item is skipped.
  append_record(payload, folders_item, u32_bytes({0x7FFFFFFF, 3}));
  append_record(payload, volume_item, u32_bytes({0xC0C00000}));  // -6.0 dB
  program_copy copy;
  copy.create_profile();
  write_file(copy.config(), make_file(payload));

  const parsed_file file = saved_at_clean_exit(run_and_close(copy), copy);
  ASSERT_TRUE(file.valid);
  EXPECT_EQ(file.records.count(guid_bytes("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0")), 0u);
  EXPECT_EQ(file.records.at(guid_bytes(pattern_item)), text_bytes("%artist% - %title%"));
  EXPECT_EQ(file.records.at(guid_bytes(volume_item)), u32_bytes({0xC0C00000}));
  EXPECT_EQ(file.records.at(guid_bytes(folders_item)), u32_bytes({0}));
}

// A backup, sync or indexing tool holding "config.dat" open while the program
// ends must not cost the user the changes: the save waits for it to let go.
TEST_F(ConfigFile, AFileHeldOpenAcrossExitStillGetsTheNewContent) {
  bytes payload;
  append_record(payload, pattern_item, text_bytes("%artist% - %title%"));
  program_copy copy;
  copy.create_profile();
  write_file(copy.config(), make_file(payload));

  std::unique_ptr<test_support::file_holder> holder;
  std::thread exit_sender;
  program_options options = test_support::options_for(copy.exe());
  options.on_window = [&](HWND) {
    if (exit_sender.joinable()) return;
    holder = std::make_unique<test_support::file_holder>(copy.config(), 2000);
    exit_sender = std::thread([&] { run_program(test_support::options_for(copy.exe(), L"/exit")); });
  };
  const program_result result = run_program(options);
  if (exit_sender.joinable()) exit_sender.join();
  holder.reset();
  const parsed_file file = saved_at_clean_exit(result, copy);
  ASSERT_TRUE(file.valid);
  EXPECT_EQ(file.records.at(guid_bytes(pattern_item)), text_bytes("%artist% - %title%"));
}

}  // namespace
