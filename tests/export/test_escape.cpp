#include <gtest/gtest.h>

#include "export/ZelEEscape.h"

namespace korvane {
namespace {

TEST(Escape, Base64PadsAndNeverBreaksLines) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(Base64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64(std::string("\x00\xff\xfe", 3)), "AP/+");
  std::string big(1000, 'x');
  EXPECT_EQ(Base64(big).find('\n'), std::string::npos);
  EXPECT_EQ(Base64(big).size(), 1336u);
}

TEST(Escape, HtmlTouchesOnlyMarkupAndLineBreaks) {
  std::string out;
  AppendHtmlEscaped(out, "a&b<c>\"d\" 'e' |\r\nx\ry\nz");
  EXPECT_EQ(out, "a&amp;b&lt;c&gt;&quot;d&quot; &#39;e&#39; |<br>x<br>y<br>z");
  out.clear();
  // Multi-byte characters pass whole: Cyrillic a, e acute.
  AppendHtmlEscaped(out, "\xD0\xB0\xC3\xA9");
  EXPECT_EQ(out, "\xD0\xB0\xC3\xA9");
}

TEST(Escape, XmlKeepsLineBreaksAndCountsWhatItCannotWrite) {
  std::string out;
  EXPECT_EQ(AppendXmlEscaped(out, "<a href='x'>&\"\r\n\t"), 0u);
  EXPECT_EQ(out, "&lt;a href=&apos;x&apos;&gt;&amp;&quot;&#13;&#10;&#9;");
  out.clear();
  EXPECT_EQ(AppendXmlEscaped(out, std::string("a\0b\x1b" "c", 5)), 2u);
  EXPECT_EQ(out, "ab\xEF\xBF\xBD" "c");
  out.clear();
  // Each byte that is no UTF-8 becomes U+FFFD; valid text stays.
  EXPECT_EQ(AppendXmlEscaped(out, "\x80\xC3\xA9\xE2\x82"), 3u);
  EXPECT_EQ(out, "\xEF\xBF\xBD\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_TRUE(IsXmlSafe("a\tb\r\n\xC3\xA9"));
  EXPECT_FALSE(IsXmlSafe(std::string("a\0", 2)));
  EXPECT_FALSE(IsXmlSafe("\xC0\x80"));  // overlong NUL
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
}

TEST(Escape, XmlNamesAreValidAndUnique) {
  EXPECT_EQ(XmlName("Customer #"), "Customer__");
  EXPECT_EQ(XmlName("Datum/Zeit"), "Datum_Zeit");
  EXPECT_EQ(XmlName("N\xC2\xB0 Licence"), "N__Licence");
  EXPECT_EQ(XmlName("0240"), "_0240");
  EXPECT_EQ(XmlName("-x"), "_-x");
  EXPECT_EQ(XmlName("ns:tag"), "ns_tag");
  EXPECT_EQ(XmlName("W\xC3\xA4hrung"), "W\xC3\xA4hrung");
  EXPECT_EQ(XmlName(""), "_");

  TZelENameSet names(XmlName);
  EXPECT_EQ(names.Add("a b"), "a_b");
  EXPECT_EQ(names.Add("a(b"), "a_b_2");
  EXPECT_EQ(names.Add("a_b_2"), "a_b_2_2");
  EXPECT_EQ(names.Add("a)b"), "a_b_3");

  TZelENameSet folded({}, true, "-");
  EXPECT_EQ(folded.Add("Name"), "Name");
  EXPECT_EQ(folded.Add("NAME"), "NAME-2");
}

}  // namespace
}  // namespace korvane
