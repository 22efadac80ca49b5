// XML export: escaping, names, quoting, dates, BLOBs, the layouts' starts and
// ends, appending and the stylesheet.

#include <gtest/gtest.h>

#include <limits>

#include "export/ZelEEscape.h"
#include "export/formats/ZelE2XML.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

struct Xml : TWriterRun<TZelExportToXML> {
  void SetUp() override {
    TWriterRun::SetUp();
    w.KeyGenerator = "gen";
  }
  // The document from the records start on (after the fixed entity block).
  std::string Body(TOpenTable& t) {
    std::string s = Run(t);
    size_t p = s.find("]>");
    return p == std::string::npos ? s : s.substr(p + 2);
  }
};

TEST_F(Xml, ValuesAreEscapedAndCharactersXmlCannotCarryAreCounted) {
  TOpenTable t("Name=A40,Notes=M40", {{TWriterValue("a&b<c>\"d\"'e'"), TWriterValue("x\r\ny\tz")},
                                      {TWriterValue("bell\x07"), std::nullopt}});
  w.Settings().BLOBEncoding = beNone;
  std::string s = Body(t);
  EXPECT_NE(s.find("      Name=\"a&amp;b&lt;c&gt;&quot;d&quot;&apos;e&apos;\"\r\n"), std::string::npos) << s;
  // Memo text with beNone: escaped inside the wrapper, line breaks as references.
  EXPECT_NE(s.find("Notes=\"[CDATA[x&#13;&#10;y&#9;z]]\""), std::string::npos) << s;
  EXPECT_NE(s.find("Name=\"bell\xEF\xBF\xBD\""), std::string::npos) << s;
  // The empty memo is left out.
  EXPECT_EQ(s.find("Notes=\"\""), std::string::npos);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_EQ(w.ChangedValues(), 1);
  EXPECT_NE(w.Statistic.Message.find("1 values held NUL bytes or control characters"), std::string::npos)
      << w.Statistic.Message;
  EXPECT_NE(Run(t).find("encoding=\"UTF-8\""), std::string::npos);

  // With soExportBlankValues an empty value is written.
  w.Options.Include(soExportBlankValues);
  EXPECT_NE(Body(t).find("Notes=\"\""), std::string::npos);
}

TEST_F(Xml, NamesAreValidUniqueAndTheFieldListKeepsTheOriginal) {
  TOpenTable t("Customer #=A10,Order=I,0240=I,a b=I,a_b=I,Unit Price (%)=N",
               {{TWriterValue("x"), TWriterValue(1), TWriterValue(2), TWriterValue(3), TWriterValue(4),
                 TWriterValue(5.0)}});
  w.AddTitle = true;
  std::string s = Body(t);
  for (const char* attr : {"Customer__=\"x\"", "Order=\"1\"", "_0240=\"2\"", "a_b=\"3\"", "a_b_2=\"4\"",
                           "Unit_Price____=\"5\""})
    EXPECT_NE(s.find(attr), std::string::npos) << attr << "\n" << s;
  EXPECT_NE(s.find("<FIELD fieldname=\"Customer #\" attrname=\"Customer__\" fieldtype=\"string\" WIDTH=\"10\""),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("<FIELD attrname=\"Order\" fieldtype=\"i4\""), std::string::npos) << s;
  EXPECT_NE(s.find("<FIELD fieldname=\"a_b\" attrname=\"a_b_2\""), std::string::npos) << s;

  // A table name used as the records tag is made a name too.
  w.TableName = "1 table<x>";
  w.Settings().TableNameAsRecordsTag = true;
  s = Body(t);
  EXPECT_EQ(s.rfind("</_1_table_x_>"), s.size() - 14) << s;
}

TEST_F(Xml, DateTimesJoinDateAndTimeWithABlank) {
  const double ts = PdxTimestamp(2004, 3, 5, 14, 30, 0);
  const double midnight = PdxTimestamp(2004, 3, 5, 0, 0, 0);
  TOpenTable t("D=D,T=T,S=@,L=L", {{TWriterValue(PdxDayNumber(2004, 3, 5)), TWriterValue(PdxTimeOfDay(8, 5, 1, 250)),
                                    TWriterValue(ts), TWriterValue(true)},
                                   {std::nullopt, std::nullopt, TWriterValue(midnight), TWriterValue(false)}});
  // The format's own pattern: the date before "T", the time from "H" on.
  std::string s = Body(t);
  EXPECT_NE(s.find("D=\"20040305\""), std::string::npos) << s;
  EXPECT_NE(s.find("T=\"08:05:01:250\""), std::string::npos) << s;
  EXPECT_NE(s.find("S=\"20040305 14:30:00:000\""), std::string::npos) << s;
  EXPECT_NE(s.find("S=\"20040305\""), std::string::npos) << s;
  EXPECT_NE(s.find("L=\"True\""), std::string::npos) << s;
  EXPECT_NE(s.find("L=\"False\""), std::string::npos) << s;

  // The wizard's formats: the date pattern, a blank, the time (milliseconds kept).
  w.DataFormats = TZelEDataFormats::MainWindowDefaults();
  s = Body(t);
  EXPECT_NE(s.find("S=\"05/03/2004 14:30:00\""), std::string::npos) << s;
  EXPECT_NE(s.find("T=\"08:05:01.250\""), std::string::npos) << s;
}

TEST_F(Xml, TheSchemaLayoutWritesValuesInTheirSchemaTypesForms) {
  const double ts = PdxTimestamp(2004, 3, 5, 14, 30, 0);
  TOpenTable t("D=D,T=T,S=@,L=L,F=N,C=$,B=#2,I=I",
               {{TWriterValue(PdxDayNumber(2004, 3, 5)), TWriterValue(PdxTimeOfDay(8, 5, 1, 250)), TWriterValue(ts),
                 TWriterValue(true), TWriterValue(1.5e-5), TWriterValue(1e16), TWriterValue(PdxBcdFromString("-12.50")),
                 TWriterValue(-7)},
                {TWriterValue(PdxDayNumber(1, 1, 1)), TWriterValue(PdxTimeOfDay(0, 0, 0)),
                 TWriterValue(PdxTimestamp(9999, 12, 31, 0, 0, 0)), TWriterValue(false),
                 TWriterValue(-std::numeric_limits<double>::infinity()), TWriterValue(0.1), std::nullopt,
                 std::nullopt}});
  w.Settings().Format = xmlMSSQL;
  // Display patterns, separators and boolean texts do not reach the schema's values.
  w.DataFormats = TZelEDataFormats::MainWindowDefaults();
  w.DataFormats.DecimalSeparator = ',';
  w.DataFormats.BooleanTrue = "Yes";
  w.Options.Include(soFieldMask);
  std::string s = Body(t);
  EXPECT_NE(s.find("\t\t<D>2004-03-05</D>\r\n\t\t<T>08:05:01.250</T>\r\n\t\t<S>2004-03-05T14:30:00</S>\r\n"
                   "\t\t<L>true</L>\r\n\t\t<F>1.5e-05</F>\r\n\t\t<C>10000000000000000</C>\r\n"
                   "\t\t<B>-12.50</B>\r\n\t\t<I>-7</I>\r\n"),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("\t\t<D>0001-01-01</D>\r\n\t\t<T>00:00:00</T>\r\n\t\t<S>9999-12-31T00:00:00</S>\r\n"
                   "\t\t<L>false</L>\r\n\t\t<F>-INF</F>\r\n\t\t<C>0.1</C>\r\n\t</RECORD>"),
            std::string::npos)
      << s;
  EXPECT_EQ(w.Statistic.TotalErrors, 0);

  // Years outside 1 to 9999 and infinite amounts have no schema form: written
  // as dump writes them, and counted.
  TOpenTable out("D=D,S=@,C=$", {{TWriterValue(int32_t{-366}), TWriterValue(-366.0 * 86400000 + 3600000),
                                      TWriterValue(std::numeric_limits<double>::infinity())}});
  s = Body(out);
  EXPECT_NE(s.find("<D>-0001-12-31</D>\r\n\t\t<S>-0001-12-31 01:00:00</S>\r\n"
                   "\t\t<C>inf</C>"),
            std::string::npos)
      << s;
  EXPECT_EQ(w.OutsideSchemaValues(), 3);
  EXPECT_EQ(w.Statistic.TotalErrors, 3);
  EXPECT_NE(w.Statistic.Message.find("3 values lie outside what the types of the document's schema hold"),
            std::string::npos)
      << w.Statistic.Message;

  // The other layouts keep the display texts.
  w.Settings().Format = xmlIE;
  EXPECT_NE(Body(t).find("L=\"Yes\""), std::string::npos);
}

TEST_F(Xml, QuoteTermIsADoubleOrSingleQuoteAndNeverInsideElements) {
  TOpenTable t("Name=A10", {{TWriterValue("Smith")}});
  w.Settings().QuoteTerm = 0;
  EXPECT_NE(Body(t).find("Name=\"Smith\""), std::string::npos);
  w.Settings().QuoteTerm = '\'';
  EXPECT_NE(Body(t).find("Name='Smith'"), std::string::npos);
  w.Settings().Format = xmlElement;
  EXPECT_EQ(Body(t), "  \r\n<RECORDS>\r\n<RECORD>\r\n      <Name>Smith</Name>\r\n</RECORD>\r\n</RECORDS>");
  w.Settings().Format = xmlMSSQL;
  EXPECT_EQ(Body(t), "<VFPData>\r\n\t<RECORD>\r\n\t\t<Name>Smith</Name>\r\n\t</RECORD>\r\n</VFPData>");
}

TEST_F(Xml, BlobsBytesAndMemosAreBase64) {
  TOpenTable t("Notes=M20,Pic=B20,Raw=Y3",
               {{TWriterValue(std::string("hi\0", 3)), TWriterValue(std::string("\x01\x02\xFF", 3)),
                 TWriterValue(std::string("\x00\x10\x20", 3))}});
  std::string s = Body(t);
  EXPECT_NE(s.find("Notes=\"[CDATA[aGkA]]\""), std::string::npos) << s;  // "hi\0", NUL kept
  EXPECT_NE(s.find("Pic=\"[CDATA[AQL/]]\""), std::string::npos) << s;
  EXPECT_NE(s.find("Raw=\"[CDATA[ABAg]]\""), std::string::npos) << s;
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
  // The client dataset has no wrapper.
  w.Settings().Format = xmlClientDataset;
  EXPECT_NE(Body(t).find("<ROW Notes=\"aGkA\" Pic=\"AQL/\" Raw=\"ABAg\"/>"), std::string::npos);
  // beNone: the memo's NUL is dropped and counted.
  w.Settings().BLOBEncoding = beNone;
  EXPECT_NE(Body(t).find("Notes=\"hi\""), std::string::npos);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
}

TEST_F(Xml, ClientDatasetWritesHeaderAndFooterAsComments) {
  TOpenTable t("N=I", {{TWriterValue(1)}, {TWriterValue(2)}});
  w.Settings().Format = xmlClientDataset;
  w.Header = {"top -- line"};
  w.Footer = {"end-"};
  std::string s = Run(t);
  EXPECT_EQ(s.find("Generated by"), std::string::npos);
  EXPECT_NE(s.find("]>  <DATAPACKET Version=\"2.0\"><ROWDATA><!-- top - - line --><ROW N=\"1\"/><ROW N=\"2\"/>"
                   "<!-- end-  --></ROWDATA></DATAPACKET>"),
            std::string::npos)
      << s;
}

TEST_F(Xml, TheGeneratorCommentCannotBeEnded) {
  TOpenTable t("N=I", {{TWriterValue(1)}});
  w.KeyGenerator = "a--b-";
  EXPECT_NE(Run(t).find("<!-- Generated by a- -b- -->\r\n"), std::string::npos);
}

TEST_F(Xml, EveryLayoutStartsAndEndsItsOwnWay) {
  TOpenTable t("N=I,S=A5", {{TWriterValue(7), TWriterValue("x")}});
  w.AddTitle = true;
  w.Settings().XMLParams.clear();
  w.Settings().Format = xmlIECompact;
  EXPECT_EQ(Body(t),
            "  <RECORDS><METADATA><FIELDS><FIELD attrname=\"N\" fieldtype=\"i4\" readonly=\"true\"/><FIELD attrname=\"S\" "
            "fieldtype=\"string\" WIDTH=\"5\" readonly=\"true\"/></FIELDS></METADATA><RECORD><ROW N=\"7\" S=\"x\"/></RECORD></RECORDS>");
  w.Settings().Format = xmlMSSQL;
  std::string s = Body(t);
  EXPECT_NE(s.find("xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""), std::string::npos);
  EXPECT_NE(s.find("<xsd:element name=\"N\" type=\"xsd:int\" minOccurs=\"0\"/>"), std::string::npos) << s;
  EXPECT_NE(s.find("<xsd:maxLength value=\"5\"/>"), std::string::npos) << s;
  TOpenTable u("F=N,C=$,B=#2,TS=@", {{TWriterValue(1.5), TWriterValue(2.0), TWriterValue("1.25"), std::nullopt}});
  s = Body(u);
  for (const char* type : {"\"xsd:double\"", "\"xsd:decimal\"", "\"xsd:dateTime\""})
    EXPECT_NE(s.find(type), std::string::npos) << type;
  for (const char* bad : {"xsd:r8", "xsd:money", "xsd:datetime", "xsd:autoinc"}) EXPECT_EQ(s.find(bad), std::string::npos);
}

TEST_F(Xml, AppendingGoesBeforeTheDocumentsEndOrLeavesTheFileAlone) {
  TOpenTable t("N=I", {{TWriterValue(1)}});
  const std::string dir = TempDir();
  w.DBGrid = &t.Grid;
  for (TZelEXMLFormat layout : {xmlIE, xmlClientDataset, xmlMSSQL}) {
    const std::string path = dir + "/a" + std::to_string(layout) + ".xml";
    w.Settings().Format = layout;
    w.FileName = path;
    w.Options.Exclude(soMergeData);
    w.Execute();
    ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
    const std::string first = ReadFile(path);
    w.Options.Include(soMergeData);
    w.Execute();
    ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
    const std::string both = ReadFile(path);
    // One document: the same start and end, the records twice.
    size_t rows = 0;
    for (size_t p = both.find("N=\"1\""); p != std::string::npos; p = both.find("N=\"1\"", p + 1)) ++rows;
    for (size_t p = both.find("<N>1</N>"); p != std::string::npos; p = both.find("<N>1</N>", p + 1)) ++rows;
    EXPECT_EQ(rows, 2u) << both;
    EXPECT_EQ(both.substr(both.size() - 10), first.substr(first.size() - 10)) << both;
    EXPECT_EQ(both.find("<?xml", 1), std::string::npos) << both;
  }
  // A file that does not end as the layout's documents do is refused untouched.
  const std::string other = dir + "/other.xml";
  WriteFile(other, "<RECORDS></RECORDS>\r\n");
  w.Settings().Format = xmlClientDataset;
  w.FileName = other;
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("does not end with </ROWDATA></DATAPACKET>"), std::string::npos)
      << w.Statistic.Message;
  EXPECT_EQ(ReadFile(other), "<RECORDS></RECORDS>\r\n");
}

TEST_F(Xml, TheStylesheetIsXslt10BesideTheDocument) {
  TOpenTable t("N=I", {{TWriterValue(1)}});
  const std::string dir = TempDir();
  w.DBGrid = &t.Grid;
  w.FileName = dir + "/out/data.xml";
  w.Settings().GenerateXSL = true;
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_NE(ReadFile(dir + "/out/data.xml").find("<?xml-stylesheet type=\"text/xsl\" href=\"data.xsl\"?>"),
            std::string::npos);
  const std::string xsl = ReadFile(dir + "/out/data.xsl");
  EXPECT_NE(xsl.find("version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\""), std::string::npos);
  EXPECT_NE(xsl.find("select=\"RECORD/ROW\""), std::string::npos);
  // Tags are put in whole, never by replacing parts of other names.
  std::string cds = TZelExportToXML::StylesheetText(xmlClientDataset, "RECORDS", "REC", "R");
  EXPECT_NE(cds.find("match=\"DATAPACKET\""), std::string::npos);
  EXPECT_NE(cds.find("select=\"ROWDATA/R\""), std::string::npos) << cds;
  EXPECT_EQ(TZelExportToXML::StylesheetName("/a.b/c"), "/a.b/c.xsl");
}

TEST(XmlComment, DoubleHyphensControlsAndALastHyphen) {
  std::string out;
  EXPECT_EQ(AppendXmlComment(out, std::string("a---b\x01\0c-", 9)), 4u);
  EXPECT_EQ(out, "a- - -b\xEF\xBF\xBD" "c- ");
}

}  // namespace
}  // namespace korvane::test

namespace korvane::test {
namespace {

// Long BLOBs are written from pieces; the document must be the one a run
// holding each value whole writes, in every layout and encoding.
TEST_F(Xml, LongBlobsStreamedInPiecesWriteWhatWholeValuesWrite) {
  const std::string memo = LongMemoText();
  const std::string bin = LongBinary(300 * 1024 + 7);
  TOpenTable t("Name=A10,Notes=M20,Fmt=F10,Pic=G10,Raw=B10",
               {{TWriterValue("one"), TWriterValue(memo), TWriterValue("fmt\x01\\" + memo.substr(0, 300000)),
                 TWriterValue(LongJpegGraphic()), TWriterValue(std::string("\x01\x02", 2))},
                {TWriterValue("two"), TWriterValue("short"), std::nullopt, TWriterValue(bin), TWriterValue(bin)}});
  for (TZelEXMLFormat layout : {xmlIE, xmlIECompact, xmlClientDataset, xmlElement, xmlMSSQL}) {
    for (TZelEBLOBEncoding encoding : {beEncode64, beNone}) {
      w.Settings().Format = layout;
      w.Settings().BLOBEncoding = encoding;
      w.StreamBlobsAbove = int64_t{1} << 40;
      const std::string whole = Run(t);
      const int errors = w.Statistic.TotalErrors;
      w.StreamBlobsAbove = 100;
      const std::string pieces = Run(t);
      EXPECT_EQ(pieces.size(), whole.size()) << layout << encoding;
      EXPECT_TRUE(pieces == whole) << layout << encoding;
      EXPECT_EQ(w.Statistic.TotalErrors, errors) << layout << encoding;
      if (encoding == beNone) {
        EXPECT_GT(errors, 0);
      }
    }
  }
}

}  // namespace
}  // namespace korvane::test
