// The XML subset of the language files: what it accepts, what it refuses as
// damaged data, and how it hands one level at a time to its handler.
#include "io/xml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"

namespace {

// Records one level as "name[attr=value,...]{content}" or "name/" per element.
class recorder : public xml_handler {
public:
  void on_element(const char* name, const xml_attributes& attributes, const char* content,
                  std::size_t length) override {
    std::string seen = name;
    if (!attributes.is_empty()) {
      seen += "[";
      for (auto* node = attributes.first(); node; node = xml_attributes::step(node, true))
        seen += std::string(node->key.get_ptr()) + "=" + node->value.get_ptr() + ",";
      seen.back() = ']';
    }
    seen += content ? "{" + std::string(content, length) + "}" : "/";
    elements.push_back(seen);
  }
  void on_text(const char* text, std::size_t length) override { texts.emplace_back(text, length); }

  std::vector<std::string> elements;
  std::vector<std::string> texts;
};

recorder read_document(const std::string& document) {
  recorder handler;
  xml_read_document(handler, document.data(), document.size());
  return handler;
}

recorder read_content(const std::string& content) {
  recorder handler;
  xml_read_content(handler, content.data(), content.size());
  return handler;
}

std::string decode(const std::string& text) {
  qiv::string_buffer out;
  xml_decode_text(out, text.data(), text.size());
  return out.get_ptr();
}

using strings = std::vector<std::string>;

}  // namespace

TEST(XmlDeclaration, AcceptsOnlyADeclarationAtTheVeryFirstByte) {
  EXPECT_EQ(read_document("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<a/>").elements, strings{"a/"});
  EXPECT_EQ(read_document("<?xml  version=\"1.0\"?><a/>").elements, strings{"a/"});
  for (const std::string& refused : strings{
           "", "<?xml", "\xEF\xBB\xBF<?xml version=\"1.0\"?><a/>", "<?xml\tversion=\"1.0\"?><a/>",
           "<?xml version='1.0'?><a/>", "<?xml version=\"1.0\"", "<?xml version = \"1.0\"?><a/>",
           "<?xml version=\"1.0\"?<a/>", "<?xml ver-sion=\"1\"?><a/>"})
    EXPECT_THROW(read_document(refused), vantrel_io::exception_io_data) << refused;
}

TEST(XmlDeclaration, OnlyUtf8IsAcceptedAsEncodingIgnoringCase) {
  EXPECT_NO_THROW(read_document("<?xml encoding=\"Utf-8\"?><a/>"));
  EXPECT_NO_THROW(read_document("<?xml encoding=\"latin1\" encoding=\"utf-8\"?><a/>"));  // the last one counts
  try {
    read_document("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>");
    FAIL() << "a Latin-1 document was accepted";
  } catch (const vantrel_io::exception_io_data& e) {
    EXPECT_STREQ(e.what(), "Heathen character encodings not supported");
  }
}

TEST(XmlElements, EachElementOfALevelWithItsRawContentAndTheTextBetween) {
  const recorder seen = read_content("<a x=\"1\"><b>&amp;</b><!-- </a> --></a> between <c/>tail<d></d>");
  EXPECT_EQ(seen.elements, (strings{"a[x=1]{<b>&amp;</b><!-- </a> -->}", "c/", "d{}"}));
  EXPECT_EQ(seen.texts, (strings{" between ", "tail"}));
  // Descending is reading that content again.
  EXPECT_EQ(read_content("<b>&amp;</b><!-- </a> -->").elements, strings{"b{&amp;}"});
  EXPECT_EQ(read_content("<a><a>in</a></a>").elements, strings{"a{<a>in</a>}"});
}

TEST(XmlElements, EndTagsMatchIgnoringCaseAndUnbalancedNestingIsRefused) {
  EXPECT_EQ(read_content("<a>x</A >").elements, strings{"a{x}"});
  for (const std::string& refused :
       strings{"<a>x</b>", "<a>x</ a>", "<a><b></a>", "<a>", "<a>text<", "</a>", "<a", "<>", "</>", "< a/>"})
    EXPECT_THROW(read_content(refused), vantrel_io::exception_io_data) << refused;
}

TEST(XmlAttributes, AreDecodedFoundIgnoringCaseAndMustBeWellFormed) {
  EXPECT_EQ(read_content("<e id=\"a&amp;b\"text = \"&lt;x&gt;\"/>").elements, strings{"e[id=a&b,text=<x>]/"});
  struct lookup : xml_handler {
    void on_element(const char*, const xml_attributes& attributes, const char*, std::size_t) override {
      found = attributes.find("TEXT") != nullptr;
    }
    void on_text(const char*, std::size_t) override {}
    bool found = false;
  } handler;
  xml_read_content(handler, "<e Text=\"t\"/>", 13);
  EXPECT_TRUE(handler.found);
  for (const std::string& refused :
       strings{"<e id=\"a\" ID=\"b\"/>", "<e id='a'/>", "<e id=\"a/>", "<e id/>", "<e =\"a\"/>", "<e id=/>"})
    EXPECT_THROW(read_content(refused), vantrel_io::exception_io_data) << refused;
}

TEST(XmlComments, AreSkippedAndMustNotHoldDoubleHyphens) {
  EXPECT_EQ(read_content("a<!---->b<!-- x -->c").texts, (strings{"a", "b", "c"}));
  for (const std::string& refused : strings{"<!-- a -- b -->", "<!-- never closed", "<!-- a --"})
    EXPECT_THROW(read_content(refused), vantrel_io::exception_io_data) << refused;
}

TEST(XmlDecoding, EntitiesAndCharacterReferences) {
  EXPECT_EQ(decode("&#x41;&#65;&65;&AMP;&lt;&gt;&quot;&apos;"), "AAA&<>\"'");
  EXPECT_EQ(decode("&#8230; caf\xC3\xA9"), "\xE2\x80\xA6 caf\xC3\xA9");
  EXPECT_EQ(decode("a&#0;b"), "ab");  // code point 0 has no encoding and leaves nothing
  for (const std::string& refused :
       strings{"&#;", "&nbsp;", "a & b", "&#4294967296;", "bad \xC3", std::string("nul\0byte", 8)})
    EXPECT_THROW(decode(refused), vantrel_io::exception_io_data) << refused;
  EXPECT_THROW(decode("&#1a;"), qiv::exception_invalid_params);
}

TEST(XmlTextCollector, GathersDecodedTextAndRefusesChildElements) {
  qiv::string_buffer text;
  xml_text_collector collector(text);
  const std::string content = " Tom &amp; Jerry <!-- note -->";
  xml_read_content(collector, content.data(), content.size());
  EXPECT_STREQ(text.get_ptr(), " Tom & Jerry ");
  EXPECT_THROW(xml_read_content(collector, "a<b/>", 5), vantrel_io::exception_io_data);
}
