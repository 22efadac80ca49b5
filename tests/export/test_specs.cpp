// Export settings files: the lines written, reading them back, values that are
// not valid, and the save and load entry points with their dialogs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "export/ZelESpecs.h"
#include "export/formats/ZelE2TXT.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

std::vector<std::string> SavedLines(TZelExportBaseComponent& c, const std::string& name = "spec") {
  std::string text;
  c.SaveSpecificationToStream(text, name);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  return SpecSplitLines(text);
}

bool HasLine(const std::vector<std::string>& lines, const std::string& l) {
  return std::find(lines.begin(), lines.end(), l) != lines.end();
}

void ThreeColumns(TZelExportBaseComponent& c) {
  for (const char* n : {"Name", "Qty", "Price"}) {
    TZelEColumn& col = c.Columns.Add();
    col.FieldName = n;
    col.Title.Caption = std::string(n) + " title";
    col.Width = 7;
  }
}

TEST(Specs, TextSettingsAreWrittenInHexadecimal) {
  TZelExportToText w;
  w.Separator = ';';
  w.TextQualifier = '"';
  w.RecordSeparator = "\r\n";
  std::vector<std::string> L = SavedLines(w);
  EXPECT_TRUE(HasLine(L, "FieldDelimiter=3B"));
  EXPECT_TRUE(HasLine(L, "TextQualifier=22"));
  EXPECT_TRUE(HasLine(L, "RecordSeparator=0D0A"));
  EXPECT_TRUE(HasLine(L, "TableType=Text"));
  EXPECT_EQ(L[0], "[Common]");
  EXPECT_EQ(L[2], "Description=ZelExport: specification");
  // Sections after the first follow an empty line.
  auto it = std::find(L.begin(), L.end(), "[Text]");
  ASSERT_NE(it, L.end());
  EXPECT_EQ(*(it - 1), "");
  TZelExportToText none;
  none.TextQualifier = 0;
  EXPECT_TRUE(HasLine(SavedLines(none), "TextQualifier=00"));
}

TEST(Specs, UncheckedColumnIsSavedWithoutMappingAndLoadsInvisible) {
  TZelExportToText w;
  ThreeColumns(w);
  w.Columns[1].Visible = false;
  std::vector<std::string> L = SavedLines(w);
  EXPECT_TRUE(HasLine(L, "Map0=Name = Field0"));
  EXPECT_TRUE(HasLine(L, "Map1=Qty = "));
  EXPECT_TRUE(HasLine(L, "Map2=Price = Field1"));
  w.Fixed = true;
  EXPECT_TRUE(HasLine(SavedLines(w), "Map2=Price = Text1-7"));

  TZelExportToText r;
  r.LoadSpecificationFromStrings(L);
  ASSERT_EQ(r.Columns.Count(), 3);
  EXPECT_TRUE(r.Columns[0].Visible);
  EXPECT_EQ(r.Columns[0].Title.Caption, "Field0");  // the mapping becomes the caption
  EXPECT_FALSE(r.Columns[1].Visible);
  EXPECT_EQ(r.Columns[1].FieldName, "Qty");
  EXPECT_EQ(r.Columns[1].Title.Caption, "Qty");
  EXPECT_EQ(r.Columns[2].Width, 7);
}

TEST(Specs, SavedAndLoadedAgainGivesTheSameSettings) {
  TZelExportToText w;
  ThreeColumns(w);
  w.Columns[0].Alignment = taRightJustify;
  w.Columns[0].Color = 0x00123456;
  w.Columns[0].Font.Name = "Courier New";
  w.Columns[0].Font.Size = 11;
  w.Columns[0].Font.Bold = true;
  w.Columns[0].Font.Italic = true;
  w.Columns[2].Title.Color = 0xFF000005;
  w.FileName = "/tmp/out dir/export.csv";
  w.TableName = "orders";
  w.AddTitle = true;
  w.BlankIfZero = true;
  w.SelectedRecord = true;
  w.ExportIfEmpty = false;
  w.CharacterSet = csEBCDIC;
  w.RowsPerFile = 250;
  w.ActionAfterExport = aeEMail;
  w.Options = TZelOptions{soFieldMask, soMergeData, soExportBands, soUseFieldNameAsCaption};
  w.ExportStyle.SetStyle(esMarine);
  w.Layout = elTabularForm;
  w.PageSetup.Measure = emCentimeters;
  w.PageSetup.UseDefault = false;
  w.PageSetup.TopMargin = 1.25f;
  w.PageSetup.LeftMargin = 0.1f;
  w.PageSetup.TableWidth = 19.5f;
  w.PageSetup.Orientation = emLandscape;
  w.SendTo.EMailRecipient = "a@b.c;d@e.f";
  w.SendTo.EMailSubject = "Orders";
  w.SendTo.EMailOpenBeforeSend = false;
  w.Header = {"A", "", "B"};
  w.Footer = {"end"};
  w.Separator = '|';
  w.TextQualifier = '\'';
  w.RecordSeparator = "\n";
  w.Fixed = false;
  w.AutoFitColumns = true;
  w.DataFormats.DateOrder = doYDM;
  w.DataFormats.DateSeparator = 0;
  w.DataFormats.TimeSeparator = '.';
  w.DataFormats.ThousandSeparator = ' ';
  w.DataFormats.DecimalSeparator = ',';
  w.DataFormats.CurrencyString = "\xE2\x82\xAC";
  w.DataFormats.FourDigitYear = true;
  w.DataFormats.LeadingZerosInDate = false;
  w.DataFormats.CustomDateTimeFormat = "yyyy-mm-dd";
  w.DataFormats.BooleanTrue = "ja";
  w.DataFormats.BooleanFalse = "nein";

  std::vector<std::string> L = SavedLines(w);
  EXPECT_TRUE(HasLine(L, "Header0=A"));
  EXPECT_TRUE(HasLine(L, "Header1="));
  EXPECT_TRUE(HasLine(L, "Header2=B"));
  EXPECT_TRUE(HasLine(L, "Style=8"));
  EXPECT_TRUE(HasLine(L, "RowFirst=4"));

  TZelExportToText r;
  r.LoadSpecificationFromStrings(L);
  EXPECT_EQ(r.FileName, w.FileName);
  EXPECT_EQ(r.TableName, w.TableName);
  EXPECT_EQ(r.TableType(), teText);
  EXPECT_EQ(r.AddTitle, w.AddTitle);
  EXPECT_EQ(r.BlankIfZero, w.BlankIfZero);
  EXPECT_EQ(r.SelectedRecord, w.SelectedRecord);
  EXPECT_EQ(r.ExportIfEmpty, w.ExportIfEmpty);
  EXPECT_EQ(r.CharacterSet, w.CharacterSet);
  EXPECT_EQ(r.RowsPerFile, w.RowsPerFile);
  EXPECT_EQ(r.ActionAfterExport, w.ActionAfterExport);
  EXPECT_EQ(r.Options, w.Options);
  EXPECT_EQ(r.ExportStyle, w.ExportStyle);
  EXPECT_EQ(r.Layout, w.Layout);
  EXPECT_EQ(r.PageSetup, w.PageSetup);
  EXPECT_EQ(r.SendTo.EMailRecipient, w.SendTo.EMailRecipient);
  EXPECT_EQ(r.SendTo.EMailSubject, w.SendTo.EMailSubject);
  EXPECT_EQ(r.SendTo.EMailOpenBeforeSend, w.SendTo.EMailOpenBeforeSend);
  EXPECT_EQ(r.Header, w.Header);
  EXPECT_EQ(r.Footer, w.Footer);
  EXPECT_EQ(r.Separator, w.Separator);
  EXPECT_EQ(r.TextQualifier, w.TextQualifier);
  EXPECT_EQ(r.RecordSeparator, w.RecordSeparator);
  EXPECT_EQ(r.Fixed, w.Fixed);
  EXPECT_EQ(r.AutoFitColumns, w.AutoFitColumns);
  EXPECT_EQ(r.DataFormats, w.DataFormats);
  ASSERT_EQ(r.Columns.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    TZelEColumn expected = w.Columns[i];
    expected.Title.Caption = "Field" + std::to_string(i);  // delimited text stores its mapping names
    EXPECT_EQ(r.Columns[i], expected) << i;
  }
  // And saving what was loaded writes the same file again.
  EXPECT_EQ(SavedLines(r), L);
}

TEST(Specs, ValuesOutOfRangeOrNotNumbersKeepTheSettings) {
  TZelExportToText w;
  w.ExportStyle.SetStyle(esBrick);
  w.CharacterSet = csASCII_MSDOS;
  w.Layout = elReversedColumnar;
  w.DataFormats.DateOrder = doYMD;
  w.ActionAfterExport = aeOpenView;
  w.PageSetup.Orientation = emPortrait;
  w.PageSetup.TopMargin = 2;
  w.Options = TZelOptions{soFieldMask};
  w.Separator = ';';
  w.LoadSpecificationFromStrings({"[Common]", "TableType=NoSuchFormat", "Style=99", "CharacterSet=3",
                                  "Layout=-1", "DateOrder=6", "ActionAfterExport=x", "Orientation=1e9",
                                  "TopMargin=abc", "Options=70000", "RowsPerFile=-5", "FieldDelimiter=",
                                  "OddColor=99999999999", "Width0=12"});
  EXPECT_EQ(w.ExportStyle.Style(), esBrick);
  EXPECT_EQ(w.ExportStyle.OddColor, 0x00CFDFDFu);
  EXPECT_EQ(w.CharacterSet, csASCII_MSDOS);
  EXPECT_EQ(w.Layout, elReversedColumnar);
  EXPECT_EQ(w.DataFormats.DateOrder, doYMD);
  EXPECT_EQ(w.ActionAfterExport, aeOpenView);
  EXPECT_EQ(w.PageSetup.Orientation, emPortrait);
  EXPECT_EQ(w.PageSetup.TopMargin, 2);
  EXPECT_EQ(w.Options, TZelOptions{soFieldMask});
  EXPECT_EQ(w.RowsPerFile, 0);
  EXPECT_EQ(w.Separator, ';');
  EXPECT_EQ(w.TableType(), teText);
  EXPECT_EQ(w.Columns.Count(), 0);
  // A bad piece of a style text stops there; what came before is applied.
  w.LoadSpecificationFromStrings({"Map0=A = a", "Col0=1,255,Arial,x,7"});
  ASSERT_EQ(w.Columns.Count(), 1);
  EXPECT_EQ(w.Columns[0].Alignment, taRightJustify);
  EXPECT_EQ(w.Columns[0].Color, 255u);
  EXPECT_EQ(w.Columns[0].Font.Name, "Arial");
  EXPECT_EQ(w.Columns[0].Font.Color, TFontSpec{}.Color);
}

TEST(Specs, FirstLineOfAKeyWinsAndGapsInTheMapsAreSkipped) {
  TZelExportToText w;
  w.LoadSpecificationFromStrings({"[Common]", "TableName=first", "[Other]", "TableName=second", "Map0=A = a",
                                  "Map3=B = b", "Map200=C = c", "[SQL]", "SQLTerm=;"});
  EXPECT_EQ(w.TableName, "first");
  ASSERT_EQ(w.Columns.Count(), 2);  // Map200 lies after the gap that ends the list
  EXPECT_EQ(w.Columns[1].FieldName, "B");
  EXPECT_EQ(SpecHexDecode("0D0A4"), "\r\n");
}

TEST(Specs, LoadingSetsTheFormatBeforeTheFileName) {
  TZelExportToText w;
  w.LoadSpecificationFromStrings({"TableType=Text", "SourceFileName=/data/out.csv"});
  EXPECT_EQ(w.FileName, "/data/out.csv");
  EXPECT_EQ(w.TableType(), teText);
}

TEST(Specs, CancelInTheSaveDialogSavesNothing) {
  TRecordingServices services;
  TZelExportToText w;
  w.SetServices(&services);
  std::string dir = TempDir();
  w.SpecificationDir = dir;
  services.SaveDialogAnswer = false;
  EXPECT_FALSE(w.SaveSpecification("mine", dir + "/mine.zele", true));
  EXPECT_TRUE(FolderEntries(dir).empty());

  services.SaveDialogAnswer = true;
  services.SaveDialogFile = dir + "/sub/chosen.zele";
  EXPECT_TRUE(w.SaveSpecification("mine", dir + "/mine.zele", true));
  EXPECT_EQ(FolderEntries(dir + "/sub"), std::vector<std::string>{"chosen.zele"});
  std::vector<TZelESpecificationFile> list = ListSpecifications(dir + "/sub");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].SpecName, "mine");

  // Without the dialog the given names are used; an empty one saves nothing.
  EXPECT_TRUE(w.SaveSpecification("plain", dir + "/plain.zele", false));
  EXPECT_FALSE(w.SaveSpecification("", dir + "/noname.zele", false));
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"plain.zele", "sub"}));

  TZelExportToText r;
  r.Separator = ',';
  EXPECT_TRUE(r.LoadSpecification(dir + "/plain.zele"));
  EXPECT_EQ(r.Separator, '\t');
  EXPECT_FALSE(r.LoadSpecification(dir + "/missing.zele"));
}

TEST(Specs, AHugeFileIsRefusedNotReadIntoMemory) {
  std::string dir = TempDir();
  std::string path = dir + "/huge.zele";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 64L << 20, SEEK_SET);  // a sparse 64 MiB file
    std::fputc('x', f);
    std::fclose(f);
  }
  TZelExportToText w;
  EXPECT_THROW(w.LoadSpecification(path), EZelExportError);
}

TEST(Specs, GarbageLinesLeaveASaneComponent) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> lines;
    for (int i = 0; i < 40; ++i) {
      static const char* keys[] = {"Map0=", "Map1=", "Col0=", "ColTitle1=", "Width0=", "Header0=", "Style=",
                                   "Options=", "RowsPerFile=", "FieldDelimiter=", "DateSeparator=", "TopMargin=",
                                   "TableType=", "Layout=", "CharacterSet=", "RecordSeparator="};
      std::string l = keys[rng() % 16];
      for (int k = rng() % 12; k > 0; --k) l += static_cast<char>(rng() % 256);
      lines.push_back(l);
    }
    TZelExportToText w;
    w.LoadSpecificationFromStrings(lines);
    EXPECT_GE(w.RowsPerFile, 0);
    EXPECT_TRUE(w.Layout >= elColumnar && w.Layout <= elTabularForm);
    EXPECT_TRUE(w.CharacterSet >= csANSI_WINDOWS && w.CharacterSet <= csEBCDIC);
    EXPECT_TRUE(w.ExportStyle.Style() >= esNormal && w.ExportStyle.Style() <= esWheat);
    for (const TZelEColumn& c : w.Columns.Items()) {
      EXPECT_TRUE(c.Alignment >= taLeftJustify && c.Alignment <= taCenter);
      EXPECT_GE(c.Width, 0);
    }
  }
}

}  // namespace
}  // namespace korvane::test
