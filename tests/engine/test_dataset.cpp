// The dataset base over tables written by the project's writer and over real
// tables: cursor movement and its window, notifications, field objects and their
// typed values, BLOB streams, Locate, bookmarks and record peeks.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/pdx.h"
#include "engine/pdxwriter.h"
#include "support/fixtures.h"
#include "support/paths.h"

namespace korvane {
namespace {

// A table of n records: Id (long) = record number, Name (alpha) = "Name <n>".
std::string IdTable(int n, int recordsPerBlock = 3, const std::string& name = "ids.db") {
  std::vector<TWriterRow> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({i, "Name " + std::to_string(i)});
  TPdxWriterOptions opt;
  opt.RecordsPerBlock = recordsPerBlock;
  return test::MakeTable({{"Id", pdxtype::kLong, 0}, {"Name", pdxtype::kAlpha, 20}}, rows, opt, name);
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

int Id(const TDataSet& t) { return static_cast<int>(t.FieldByName("Id").AsInteger()); }

// Records every event it is told.
struct Recorder : TDataSetObserver {
  std::vector<TDataEvent> Events;
  void DataSetEvent(TDataSet&, TDataEvent e) override { Events.push_back(e); }
  size_t Count(TDataEvent e) const { return static_cast<size_t>(std::count(Events.begin(), Events.end(), e)); }
};

TEST(DataSetCursor, EmptyTable) {
  TPdx t;
  t.SetTableName(test::MakeTable("A10,I", {}));
  t.Open();
  EXPECT_TRUE(t.Active());
  EXPECT_TRUE(t.Eof());
  EXPECT_TRUE(t.Bof());
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.RecNo(), 0);
  t.Next();
  t.Prior();
  t.Last();
  EXPECT_TRUE(t.Eof() && t.Bof());
  t.First();
  EXPECT_TRUE(t.Eof() && t.Bof());
  t.SetRecNo(1);
  EXPECT_EQ(t.RecNo(), 0);
  EXPECT_EQ(t.MoveBy(3), 0);
  EXPECT_TRUE(t.Fields(0).IsNull());
  EXPECT_EQ(t.Fields(0).AsString(), "");
  EXPECT_FALSE(t.PeekRecord(1).Valid());
  EXPECT_FALSE(t.Locate("Alpha1", "", {false, true}));
  EXPECT_EQ(t.CreateBlobStream(t.Fields(0), bmRead)->Size(), 0);
  EXPECT_EQ(ErrorOf([&] { t.Delete(); }), "Pdx1: Cannot perform this operation on an empty dataset");
  EXPECT_EQ(ErrorOf([&] { t.Edit(); }), "Pdx1: Cannot modify a read-only dataset");
  EXPECT_EQ(ErrorOf([&] { t.Append(); }), "Pdx1: Cannot modify a read-only dataset");
}

TEST(DataSetCursor, OneRecord) {
  TPdx t;
  t.SetTableName(IdTable(1));
  t.Open();
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(t.RecNo(), 1);
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.RecNo(), 1);
  t.Next();  // a move forward that finds no record: Eof, and no longer Bof
  EXPECT_TRUE(t.Eof());
  EXPECT_FALSE(t.Bof());
  EXPECT_EQ(t.RecNo(), 1);
  t.Last();
  EXPECT_TRUE(t.Eof());
  EXPECT_FALSE(t.Bof());
  EXPECT_EQ(Id(t), 1);
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(Id(t), 1);
  EXPECT_EQ(ErrorOf([&] { t.Delete(); }), "");  // removes nothing
  EXPECT_EQ(t.RecordCount(), 1);
}

TEST(DataSetCursor, WalkBothWaysOverManyBlocks) {
  TPdx t;
  t.SetTableName(IdTable(10));  // 4 blocks of 3, 3, 3 and 1 records
  t.Open();
  std::vector<int> seen;
  for (t.First(); !t.Eof(); t.Next()) seen.push_back(Id(t));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(t.RecNo(), 10);  // Next past the last record stays on it
  t.Next();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.RecNo(), 10);

  seen.clear();
  for (t.Last(); !t.Bof(); t.Prior()) seen.push_back(Id(t));
  EXPECT_EQ(seen, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(t.RecNo(), 1);

  // Prior from First is Bof at once; Next then leaves Bof.
  t.First();
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.RecNo(), 1);
  t.Next();
  EXPECT_FALSE(t.Bof());
  EXPECT_EQ(t.RecNo(), 2);
  // Last then Prior leaves Eof.
  t.Last();
  EXPECT_TRUE(t.Eof());
  t.Prior();
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(Id(t), 9);

  // MoveBy answers the records actually passed.
  t.First();
  EXPECT_EQ(t.MoveBy(4), 4);
  EXPECT_EQ(t.RecNo(), 5);
  EXPECT_EQ(t.MoveBy(100), 5);
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.MoveBy(1), 0);
  EXPECT_EQ(t.MoveBy(-3), -3);
  EXPECT_EQ(t.RecNo(), 7);
  EXPECT_EQ(t.MoveBy(-100), -6);
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.MoveBy(0), 0);
}

TEST(DataSetCursor, SetRecNoInAndOutOfRange) {
  TPdx t;
  t.SetTableName(IdTable(10));
  t.Open();
  t.SetRecNo(7);
  EXPECT_EQ(t.RecNo(), 7);
  EXPECT_EQ(Id(t), 7);
  EXPECT_FALSE(t.Bof() || t.Eof());
  Recorder r;
  t.AddObserver(&r);
  for (int n : {0, -1, 11, INT_MAX, INT_MIN}) {
    t.SetRecNo(n);
    EXPECT_EQ(t.RecNo(), 7) << n;
    EXPECT_EQ(Id(t), 7) << n;
  }
  EXPECT_TRUE(r.Events.empty());
  t.SetRecNo(10);  // the record count: the last record is active
  EXPECT_EQ(Id(t), 10);
  EXPECT_FALSE(t.Eof());
  t.Next();
  EXPECT_TRUE(t.Eof());
  t.SetRecNo(1);
  EXPECT_EQ(Id(t), 1);
  EXPECT_FALSE(t.Bof());
  t.Prior();
  EXPECT_TRUE(t.Bof());
  // After Eof or Bof a SetRecNo moves and clears both.
  t.Last();
  t.Next();
  t.SetRecNo(3);
  EXPECT_FALSE(t.Eof() || t.Bof());
  t.Next();
  EXPECT_EQ(Id(t), 4);
  t.RemoveObserver(&r);
}

TEST(DataSetCursor, WindowFillsAndRefills) {
  TPdx t;
  t.SetTableName(IdTable(10));
  t.SetBufferCount(4);
  t.Open();
  auto rows = [&] {
    std::vector<int> v;
    for (int i = 0; i < t.WindowRecordCount(); ++i) v.push_back(t.WindowRecNo(i));
    return v;
  };
  EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(t.ActiveRecord(), 0);
  EXPECT_EQ(t.WindowRecNo(4), 0);
  EXPECT_EQ(t.WindowRecNo(-1), 0);
  // Next moves inside the window, then shifts it by one record.
  t.MoveBy(3);
  EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(t.ActiveRecord(), 3);
  t.Next();
  EXPECT_EQ(rows(), (std::vector<int>{2, 3, 4, 5}));
  EXPECT_EQ(t.ActiveRecord(), 3);
  EXPECT_EQ(Id(t), 5);
  // Last fills backwards.
  t.Last();
  EXPECT_EQ(rows(), (std::vector<int>{7, 8, 9, 10}));
  EXPECT_EQ(t.ActiveRecord(), 3);
  EXPECT_EQ(Id(t), 10);
  t.MoveBy(-4);
  EXPECT_EQ(rows(), (std::vector<int>{6, 7, 8, 9}));
  EXPECT_EQ(t.ActiveRecord(), 0);
  EXPECT_EQ(Id(t), 6);
  // SetRecNo keeps the active row's place where it can.
  t.Next();  // active row 1
  t.SetRecNo(5);
  EXPECT_EQ(rows(), (std::vector<int>{4, 5, 6, 7}));
  EXPECT_EQ(t.ActiveRecord(), 1);
  t.MoveBy(2);  // active row 3
  t.SetRecNo(2);
  EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(t.ActiveRecord(), 1);
  t.SetRecNo(10);
  EXPECT_EQ(rows(), (std::vector<int>{7, 8, 9, 10}));
  EXPECT_EQ(t.ActiveRecord(), 3);
  EXPECT_EQ(Id(t), 10);
  // Reading another row of the window, and back.
  EXPECT_EQ(t.SetActiveRecord(0), 3);
  EXPECT_EQ(Id(t), 7);
  EXPECT_EQ(t.SetActiveRecord(9), 0);  // outside the window: unchanged
  EXPECT_EQ(Id(t), 7);
  t.SetActiveRecord(3);
  // Growing and shrinking the window while open keeps the active record.
  t.SetRecNo(5);
  t.SetBufferCount(6);
  EXPECT_EQ(Id(t), 5);
  EXPECT_EQ(t.WindowRecordCount(), 6);
  t.SetBufferCount(1);
  EXPECT_EQ(rows(), (std::vector<int>{5}));
  t.SetBufferCount(0);
  EXPECT_EQ(t.BufferCount(), 1);

  // A table shorter than the window.
  TPdx s;
  s.SetTableName(IdTable(2, 3, "short.db"));
  s.SetBufferCount(5);
  s.Open();
  EXPECT_EQ(s.WindowRecordCount(), 2);
  s.Last();
  EXPECT_EQ(s.WindowRecordCount(), 2);
  EXPECT_EQ(s.RecNo(), 2);
  s.Next();
  EXPECT_TRUE(s.Eof());
  s.SetRecNo(1);
  EXPECT_EQ(s.WindowRecordCount(), 2);
  EXPECT_EQ(s.RecNo(), 1);
}

TEST(DataSetCursor, ClosedDatasetAndReopening) {
  TPdx t;
  EXPECT_EQ(ErrorOf([&] { t.First(); }), "Pdx1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { t.Next(); }), "Pdx1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { t.SetRecNo(1); }), "Pdx1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { (void)t.RecordCount(); }), "Pdx1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { (void)t.Locate("X", "", {}); }),
            "Pdx1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(t.RecNo(), 0);
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_FALSE(t.PeekRecord(1).Valid());
  EXPECT_EQ(ErrorOf([&] { t.Open(); }), "TableName is not set");
  EXPECT_FALSE(t.Active());

  // A failed open leaves the dataset closed, with the message of the failure.
  t.SetTableName(test::TempDir() + "/missing.db");
  std::string e = ErrorOf([&] { t.Open(); });
  EXPECT_EQ(e.rfind("Unable to open database \"" + t.TableName() + "\" - Cannot open file", 0), 0u) << e;
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.FieldCount(), 0);

  t.SetTableName(IdTable(5));
  t.Open();
  t.SetRecNo(4);
  t.Close();
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.FieldCount(), 0);
  EXPECT_EQ(t.RecNo(), 0);
  EXPECT_EQ(t.FindField("Id"), nullptr);
  t.Open();
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_EQ(Id(t), 1);
  EXPECT_EQ(t.RecordCount(), 5);
  t.Open();  // opening an open table changes nothing
  EXPECT_EQ(t.RecNo(), 1);
  t.SetActive(false);
  EXPECT_FALSE(t.Active());
}

TEST(DataSetNotify, EventsPerChangeAndWhileDisabled) {
  TPdx t;
  t.SetTableName(IdTable(10));
  Recorder r;
  t.AddObserver(&r);
  t.AddObserver(&r);  // once only
  t.Open();
  EXPECT_EQ(r.Events, std::vector<TDataEvent>{TDataEvent::ActiveChanged});
  r.Events.clear();
  t.Next();
  t.Prior();
  t.MoveBy(5);  // one event for the whole move
  EXPECT_EQ(r.Events, std::vector<TDataEvent>(3, TDataEvent::DataSetScroll));
  r.Events.clear();
  t.First();
  t.Last();
  t.SetRecNo(4);
  t.Resync();
  EXPECT_EQ(r.Events, std::vector<TDataEvent>(4, TDataEvent::DataSetChanged));
  r.Events.clear();
  // Moves that move nothing tell nothing.
  t.Last();
  r.Events.clear();
  t.Next();
  t.MoveBy(2);
  EXPECT_FALSE(t.Locate("Id", "77", {}));
  EXPECT_TRUE(r.Events.empty());

  // Disabled, nested: nothing until the outermost EnableControls, then once.
  t.DisableControls();
  t.DisableControls();
  EXPECT_TRUE(t.ControlsDisabled());
  for (t.First(); !t.Eof(); t.Next()) {
  }
  t.SetRecNo(3);
  t.EnableControls();
  EXPECT_TRUE(r.Events.empty());
  EXPECT_TRUE(t.ControlsDisabled());
  t.EnableControls();
  EXPECT_FALSE(t.ControlsDisabled());
  EXPECT_EQ(r.Events, std::vector<TDataEvent>{TDataEvent::DataSetChanged});
  r.Events.clear();
  t.EnableControls();  // unbalanced: ignored
  EXPECT_FALSE(t.ControlsDisabled());
  EXPECT_TRUE(r.Events.empty());
  // Nothing happened while disabled: nothing to tell.
  t.DisableControls();
  t.EnableControls();
  EXPECT_TRUE(r.Events.empty());
  // Closing and opening while disabled: the views hear of the new state.
  t.DisableControls();
  t.Close();
  t.Open();
  t.Next();
  t.EnableControls();
  EXPECT_EQ(r.Events, (std::vector<TDataEvent>{TDataEvent::ActiveChanged, TDataEvent::DataSetChanged}));
  r.Events.clear();
  t.DisableControls();
  t.Close();
  t.EnableControls();
  EXPECT_EQ(r.Events, std::vector<TDataEvent>{TDataEvent::ActiveChanged});
  t.RemoveObserver(&r);
  r.Events.clear();
  t.Open();
  EXPECT_TRUE(r.Events.empty());
}

TEST(DataSetNotify, ObserverDetachingWhileTold) {
  TPdx t;
  t.SetTableName(IdTable(3));
  struct Leaver : TDataSetObserver {
    TDataSet* Ds = nullptr;
    TDataSetObserver* Other = nullptr;
    int Told = 0;
    void DataSetEvent(TDataSet&, TDataEvent) override {
      ++Told;
      Ds->RemoveObserver(this);
      if (Other) Ds->RemoveObserver(Other);
    }
  };
  Recorder second;
  Leaver leaver;
  leaver.Ds = &t;
  leaver.Other = &second;
  t.AddObserver(&leaver);
  t.AddObserver(&second);
  t.Open();
  t.Next();
  EXPECT_EQ(leaver.Told, 1);
  EXPECT_TRUE(second.Events.empty());  // removed before its turn
}

TEST(DataSetFields, DefinitionsAndLookup) {
  TPdx t;
  t.SetTableName(test::MakeAllTypesTable());
  t.Open();
  ASSERT_EQ(t.FieldCount(), 17);
  const TFieldType kinds[] = {ftString, ftDate,  ftSmallint, ftInteger,    ftCurrency, ftFloat,
                              ftBoolean, ftMemo, ftBlob,     ftFmtMemo,    ftParadoxOle, ftGraphic,
                              ftTime,   ftDateTime, ftAutoInc, ftBCD,      ftBytes};
  const int dataSizes[] = {21, 8, 2, 4, 8, 8, 2, 0, 0, 0, 0, 0, 8, 8, 4, 34, 4};
  for (int i = 0; i < t.FieldCount(); ++i) {
    const TField& f = t.Fields(i);
    EXPECT_EQ(f.DataType(), kinds[i]) << i;
    EXPECT_EQ(f.Index(), i);
    EXPECT_EQ(f.FieldNo(), i + 1);
    EXPECT_EQ(f.DataSize(), dataSizes[i]) << f.FieldName();
    EXPECT_FALSE(f.Required());
    EXPECT_TRUE(f.ReadOnly());
    EXPECT_TRUE(f.Visible());
    EXPECT_EQ(f.DisplayLabel(), f.FieldName());
    EXPECT_EQ(&t.FieldByName(f.FieldName()), &f);
    EXPECT_EQ(f.Alignment(), IsNumericType(f.DataType()) ? taRightJustify : taLeftJustify) << i;
  }
  EXPECT_EQ(t.Fields(0).Size(), 20);
  EXPECT_EQ(t.Fields(7).Size(), 20);
  EXPECT_EQ(t.Fields(3).Size(), 0);
  EXPECT_EQ(t.FieldByName("money").FieldName(), "Money");  // names compare without case
  EXPECT_EQ(t.FindField("Nope"), nullptr);
  EXPECT_EQ(ErrorOf([&] { t.FieldByName("Nope"); }), "Pdx1: Field 'Nope' not found");
  TPdx other("Table2");
  other.SetTableName(t.TableName());
  other.Open();
  EXPECT_EQ(ErrorOf([&] { other.FieldByName(""); }), "Table2: Field '' not found");
  EXPECT_EQ(t.GetFieldNames().front(), "Alpha");
  EXPECT_EQ(t.GetFieldNames().size(), 17u);
  EXPECT_THROW(t.Fields(17), std::out_of_range);
}

TEST(DataSetFields, TypedValuesOfEveryKind) {
  TPdx t;
  t.SetTableName(test::MakeAllTypesTable());
  t.Open();
  auto F = [&](const char* n) -> const TField& { return t.FieldByName(n); };

  // Record 1: a value in every field.
  EXPECT_EQ(F("Alpha").AsString(), "Erste Zeile");
  EXPECT_EQ(F("Date").AsDateTime(), EncodeDate(2000, 1, 1));
  EXPECT_EQ(F("Date").AsFloat(), EncodeDate(2000, 1, 1));
  EXPECT_EQ(F("Short").AsInteger(), 1);
  EXPECT_EQ(F("Long").AsInteger(), 100000);
  EXPECT_EQ(F("Long").AsFloat(), 100000.0);
  EXPECT_EQ(F("Money").AsFloat(), 12.5);
  EXPECT_EQ(F("Money").AsInteger(), 13);
  EXPECT_EQ(F("Number").AsFloat(), 3.25);
  EXPECT_EQ(F("Number").AsInteger(), 3);
  EXPECT_TRUE(F("Logical").AsBoolean());
  EXPECT_EQ(F("Logical").AsInteger(), 1);
  EXPECT_EQ(F("Time").AsDateTime(), EncodeTime(12, 0, 0, 0));
  EXPECT_DOUBLE_EQ(F("Timestamp").AsDateTime(), EncodeDate(2020, 2, 1) + EncodeTime(1, 0, 1, 0));
  EXPECT_EQ(F("AutoInc").AsInteger(), 1);
  EXPECT_DOUBLE_EQ(F("Bcd").AsFloat(), 1.23);
  EXPECT_EQ(F("Bcd").AsInteger(), 1);
  EXPECT_TRUE(F("Short").AsBoolean());
  EXPECT_FALSE(F("Alpha").AsBoolean());  // only text starting with T or Y is true
  for (const char* n : {"Alpha", "Date", "Short", "Long", "Money", "Number", "Logical", "Time", "Timestamp",
                        "AutoInc", "Bcd", "Bytes"})
    EXPECT_FALSE(F(n).IsNull()) << n;
  // BLOB kinds hold no native value.
  for (const char* n : {"Memo", "Blob", "FmtMemo", "Ole", "Graphic"}) EXPECT_TRUE(F(n).IsNull()) << n;

  TVariant v = F("Long").AsVariant();
  EXPECT_EQ(v.kind, TVariant::vInteger);
  EXPECT_EQ(v.i, 100000);
  EXPECT_EQ(F("Money").AsVariant().kind, TVariant::vCurrency);
  EXPECT_EQ(F("Number").AsVariant().kind, TVariant::vFloat);
  EXPECT_EQ(F("Logical").AsVariant().kind, TVariant::vBoolean);
  EXPECT_EQ(F("Date").AsVariant().kind, TVariant::vDateTime);
  EXPECT_EQ(F("Bcd").AsVariant().s, "1.23");
  EXPECT_EQ(F("Memo").AsVariant().s, "kurz");
  EXPECT_EQ(F("Alpha").AsVariant().s, "Erste Zeile");

  // Record 2: negatives and extremes.
  t.Next();
  EXPECT_EQ(F("Short").AsInteger(), -1);
  EXPECT_EQ(F("Long").AsInteger(), -1);
  EXPECT_EQ(F("Money").AsFloat(), -40.0);
  EXPECT_FALSE(F("Logical").AsBoolean());
  EXPECT_FALSE(F("Logical").IsNull());
  EXPECT_EQ(F("Date").AsDateTime(), EncodeDate(1, 1, 1));
  EXPECT_DOUBLE_EQ(F("Time").AsDateTime(), EncodeTime(23, 59, 59, 999));
  EXPECT_EQ(F("Timestamp").AsDateTime(), EncodeDate(1, 1, 1));
  EXPECT_DOUBLE_EQ(F("Bcd").AsFloat(), -1.23);

  // Record 3: limits.
  t.Next();
  EXPECT_EQ(F("Alpha").AsString(), std::string(20, 'Z'));  // filled to its size
  EXPECT_EQ(F("Date").AsDateTime(), EncodeDate(9999, 12, 31));
  EXPECT_EQ(F("Short").AsInteger(), 32767);
  EXPECT_EQ(F("Long").AsInteger(), 2147483647);
  EXPECT_FALSE(F("Time").IsNull());  // midnight is a value
  EXPECT_EQ(F("Time").AsDateTime(), 0.0);
  EXPECT_TRUE(F("Timestamp").IsNull());
  EXPECT_EQ(F("Bcd").AsString(), "0.00");

  // Record 4: empty text and huge numbers.
  t.Next();
  EXPECT_EQ(F("Alpha").AsString(), "");
  EXPECT_FALSE(F("Alpha").IsNull());  // alpha is never null
  EXPECT_EQ(F("Alpha").AsInteger(), 0);
  EXPECT_EQ(F("Alpha").AsFloat(), 0.0);
  EXPECT_EQ(F("Short").AsInteger(), -32767);
  EXPECT_EQ(F("Long").AsInteger(), -2147483647);
  EXPECT_EQ(F("Number").AsFloat(), 1e308);
  EXPECT_EQ(ErrorOf([&] { F("Number").AsInteger(); }), "'1e+308' is not a valid integer value");

  // Record 5: nulls read as empty text, 0 and false.
  t.Next();
  for (const char* n : {"Date", "Short", "Long", "Logical", "Time", "Timestamp"}) {
    EXPECT_TRUE(F(n).IsNull()) << n;
    EXPECT_EQ(F(n).AsString(), "") << n;
    EXPECT_EQ(F(n).DisplayText(), "") << n;
    EXPECT_EQ(F(n).AsFloat(), 0.0) << n;
    EXPECT_TRUE(F(n).AsVariant().IsNull()) << n;
  }
  EXPECT_EQ(F("Long").AsInteger(), 0);
  EXPECT_FALSE(F("Logical").AsBoolean());
  EXPECT_EQ(F("Date").AsDateTime(), 0.0);
  EXPECT_EQ(F("Money").AsFloat(), -1e-300);
  // Money keeps every stored digit; no fixed-point text holds this one.
  EXPECT_EQ(F("Money").AsString(), "-1E-300");
  EXPECT_EQ(F("Number").AsFloat(), 5e-324);
  EXPECT_DOUBLE_EQ(F("Bcd").AsFloat(), -99999999.99);
  EXPECT_EQ(F("Bcd").AsInteger(), -100000000);

  // Kinds without the asked form refuse it instead of inventing a value.
  EXPECT_EQ(ErrorOf([&] { F("Date").AsInteger(); }), "Cannot access field 'Date' as type Integer");
  EXPECT_EQ(ErrorOf([&] { F("Memo").AsInteger(); }), "Cannot access field 'Memo' as type Integer");
  EXPECT_EQ(ErrorOf([&] { F("Blob").AsFloat(); }), "Cannot access field 'Blob' as type Float");
  EXPECT_EQ(ErrorOf([&] { F("Long").AsDateTime(); }), "Cannot access field 'Long' as type DateTime");
  EXPECT_EQ(ErrorOf([&] { F("Alpha").AsDateTime(); }), "Cannot access field 'Alpha' as type DateTime");
  EXPECT_EQ(ErrorOf([&] { F("Date").AsBoolean(); }), "Cannot access field 'Date' as type Boolean");
}

TEST(DataSetFields, TextToNumberConversions) {
  const char* texts[] = {"42", " -7 ", "+5", "12abc", "", "3.5", "1e3", "True", "yes", "0x10", "9999999999999999999",
                         "inf", "1.5.2", "-"};
  std::vector<TWriterRow> rows;
  for (const char* s : texts) rows.push_back({s});
  TPdx t;
  t.SetTableName(test::MakeTable("Text=A30", rows));
  t.Open();
  const TField& f = t.Fields(0);
  struct Want {
    const char* integer;  // value, or the error text
    const char* real;
    bool boolean;
  };
  const Want want[] = {
      {"42", "42", false},
      {"-7", "-7", false},
      {"5", "5", false},
      {"'12abc' is not a valid integer value", "'12abc' is not a valid floating point value", false},
      {"0", "0", false},
      {"'3.5' is not a valid integer value", "3.5", false},
      {"'1e3' is not a valid integer value", "1000", false},
      {"'True' is not a valid integer value", "'True' is not a valid floating point value", true},
      {"'yes' is not a valid integer value", "'yes' is not a valid floating point value", true},
      {"'0x10' is not a valid integer value", "'0x10' is not a valid floating point value", false},
      {"'9999999999999999999' is not a valid integer value", "1E19", false},
      {"'inf' is not a valid integer value", "'inf' is not a valid floating point value", false},
      {"'1.5.2' is not a valid integer value", "'1.5.2' is not a valid floating point value", false},
      {"'-' is not a valid integer value", "'-' is not a valid floating point value", false},
  };
  TFormatSettings fs;
  for (const Want& w : want) {
    std::string got;
    try {
      got = std::to_string(f.AsInteger());
    } catch (const EConvertError& e) {
      got = e.what();
    }
    EXPECT_EQ(got, w.integer) << f.AsString();
    try {
      got = FloatToStr(f.AsFloat(), fs);
    } catch (const EConvertError& e) {
      got = e.what();
    }
    EXPECT_EQ(got, w.real) << f.AsString();
    EXPECT_EQ(f.AsBoolean(), w.boolean) << f.AsString();
    t.Next();
  }
  // Text numbers follow the dataset's decimal separator.
  TFormatSettings de;
  de.DecimalSeparator = ',';
  t.SetFormatSettings(de);
  t.SetRecNo(6);
  EXPECT_EQ(ErrorOf([&] { f.AsFloat(); }), "'3.5' is not a valid floating point value");
}

TEST(DataSetFields, DisplayTextAndAsStringUnderFormatSettings) {
  TPdx t;
  t.SetTableName(test::MakeAllTypesTable());
  t.Open();
  auto F = [&](const char* n) -> const TField& { return t.FieldByName(n); };
  // Defaults.
  EXPECT_EQ(F("Date").AsString(), "1/1/2000");
  EXPECT_EQ(F("Time").AsString(), "12:00:00 PM");
  EXPECT_EQ(F("Timestamp").AsString(), "2/1/2020 1:00:01 AM");
  EXPECT_EQ(F("Money").AsString(), "12.50");
  EXPECT_EQ(F("Money").DisplayText(), "$12.50");
  EXPECT_EQ(F("Number").AsString(), "3.25");
  EXPECT_EQ(F("Logical").DisplayText(), "True");
  EXPECT_EQ(F("Bcd").DisplayText(), "1.23");
  EXPECT_EQ(F("Short").DisplayText(), "1");
  EXPECT_EQ(F("Bytes").DisplayText(), "(Bytes)");
  EXPECT_EQ(F("Memo").DisplayText(), "(Memo)");
  EXPECT_EQ(F("Blob").DisplayText(), "(Blob)");
  EXPECT_EQ(F("FmtMemo").DisplayText(), "(FmtMemo)");
  EXPECT_EQ(F("Ole").DisplayText(), "(ParadoxOle)");
  EXPECT_EQ(F("Graphic").DisplayText(), "(Graphic)");

  TFormatSettings de;
  de.DecimalSeparator = ',';
  de.ThousandSeparator = '.';
  de.DateSeparator = '.';
  de.ShortDateFormat = "dd/mm/yyyy";
  de.LongTimeFormat = "hh:nn:ss";
  de.CurrencyString = "\xe2\x82\xac";
  de.CurrencyFormat = 3;
  de.NegCurrFormat = 8;
  t.SetFormatSettings(de);
  EXPECT_EQ(F("Date").DisplayText(), "01.01.2000");
  EXPECT_EQ(F("Time").DisplayText(), "12:00:00");
  EXPECT_EQ(F("Timestamp").DisplayText(), "01.02.2020 01:00:01");
  EXPECT_EQ(F("Money").AsString(), "12,50");
  EXPECT_EQ(F("Money").DisplayText(), "12,50 \xe2\x82\xac");
  EXPECT_EQ(F("Number").AsString(), "3,25");
  EXPECT_EQ(F("Bcd").AsString(), "1,23");
  EXPECT_EQ(F("Logical").AsString(), "True");
  t.Next();
  EXPECT_EQ(F("Money").DisplayText(), "-40,00 \xe2\x82\xac");
  EXPECT_EQ(F("Timestamp").DisplayText(), "01.01.0001");  // midnight: the date alone
  EXPECT_EQ(F("Logical").DisplayText(), "False");
  t.SetRecNo(4);
  EXPECT_EQ(F("Number").AsString(), "1E308");
}

TEST(DataSetBlobs, StreamsFromTheRecordAndTheMemoFile) {
  test::TAllTypes fx = test::AllTypesFixture();
  TPdx t;
  t.SetTableName(test::MakeAllTypesTable());
  const std::string mbPath = t.TableName().substr(0, t.TableName().size() - 3) + ".mb";
  const std::string dbBytes = test::ReadFile(t.TableName()), mbBytes = test::ReadFile(mbPath);
  t.Open();
  auto Blob = [&](const char* n, TBlobStreamMode m = bmRead) {
    auto s = t.CreateBlobStream(t.FieldByName(n), m);
    EXPECT_EQ(s->Position(), 0);
    return s->Data();
  };
  // Record 1: short data kept in the record slot.
  EXPECT_EQ(Blob("Memo"), "kurz");
  EXPECT_EQ(Blob("Blob"), std::string("\x01\x02\x03", 3));
  EXPECT_EQ(Blob("Graphic"), fx.Rows[0][11]->Bytes());
  EXPECT_EQ(t.FieldByName("Memo").AsString(), "kurz");
  TMemoryStream saved;
  t.FieldByName("Blob").SaveToStream(saved);
  EXPECT_EQ(saved.Data(), std::string("\x01\x02\x03", 3));
  // Any mode but read gives an empty stream.
  EXPECT_EQ(Blob("Memo", bmWrite), "");
  EXPECT_EQ(Blob("Memo", bmReadWrite), "");
  {
    auto w = t.CreateBlobStream(t.FieldByName("Blob"), bmWrite);
    w->Write(std::string("changed"));
  }
  EXPECT_EQ(test::ReadFile(t.TableName()), dbBytes);  // the table files stay as they were
  EXPECT_EQ(test::ReadFile(mbPath), mbBytes);
  EXPECT_EQ(Blob("Blob"), std::string("\x01\x02\x03", 3));
  // A field that is no BLOB has no stream.
  EXPECT_EQ(Blob("Alpha"), "");
  // Record 2: long data in the memo file.
  t.Next();
  EXPECT_EQ(Blob("Memo"), "Ein Memo, das nicht in den Datensatz passt.");
  EXPECT_EQ(Blob("Blob"), fx.Rows[1][8]->Bytes());
  EXPECT_EQ(Blob("FmtMemo"), fx.Rows[1][9]->Bytes());
  EXPECT_EQ(Blob("Ole"), std::string(300, 'o'));
  EXPECT_EQ(Blob("Graphic"), fx.Rows[1][11]->Bytes());
  // Record 3: a memo of 5000 bytes and null BLOBs.
  t.Next();
  EXPECT_EQ(Blob("Memo"), fx.Rows[2][7]->Bytes());
  EXPECT_EQ(Blob("Blob"), "");
  EXPECT_EQ(Blob("Graphic"), "");
  TMemoryStream none;
  t.FieldByName("Graphic").SaveToStream(none);
  EXPECT_EQ(none.Size(), 0);
  // The stream belongs to the caller and outlives the table.
  auto kept = t.CreateBlobStream(t.FieldByName("Memo"), bmRead);
  t.Close();
  EXPECT_EQ(kept->Data(), fx.Rows[2][7]->Bytes());
  char buf[6] = {};
  EXPECT_EQ(kept->Read(buf, 5), 5u);
  EXPECT_EQ(std::string(buf), "Zeile");
  kept->SetPosition(kept->Size() + 10);
  EXPECT_EQ(kept->Read(buf, 5), 0u);

  // A field object of another table reads nothing from this one.
  TPdx a, b("Pdx2");
  a.SetTableName(test::MakeAllTypesTable());
  b.SetTableName(IdTable(2));
  a.Open();
  b.Open();
  EXPECT_EQ(b.CreateBlobStream(a.FieldByName("Memo"), bmRead)->Size(), 0);
}

TEST(DataSetLocate, OptionsAndWhereTheCursorEnds) {
  std::vector<TWriterRow> rows = {{1, "Mueller"}, {2, "Meier"}, {3, "MEIER"}, {4, "Maier"}, {5, "meier"}};
  TPdx t;
  t.SetTableName(test::MakeTable({{"Id", pdxtype::kLong, 0}, {"Name", pdxtype::kAlpha, 20}}, rows));
  t.Open();
  t.SetRecNo(5);
  // Exact and case-sensitive by default.
  EXPECT_TRUE(t.Locate("Name", "MEIER", {}));
  EXPECT_EQ(Id(t), 3);
  EXPECT_TRUE(t.Locate("Name", "meier", {true, false}));
  EXPECT_EQ(Id(t), 2);  // the first match in record order, not the next after the cursor
  EXPECT_TRUE(t.Locate("Name", "ma", {true, true}));
  EXPECT_EQ(Id(t), 4);
  EXPECT_TRUE(t.Locate("name", "Mu", {false, true}));  // the field name compares without case
  EXPECT_EQ(Id(t), 1);
  EXPECT_TRUE(t.Locate("Name", "", {false, true}));  // an empty partial key matches at once
  EXPECT_EQ(Id(t), 1);
  // Not found: the cursor stays and the views hear nothing.
  t.SetRecNo(4);
  Recorder r;
  t.AddObserver(&r);
  EXPECT_FALSE(t.Locate("Name", "Mei", {}));
  EXPECT_FALSE(t.Locate("Name", "mueller", {false, false}));
  EXPECT_FALSE(t.Locate("Name", "Meiers", {true, true}));
  EXPECT_EQ(Id(t), 4);
  EXPECT_TRUE(r.Events.empty());
  EXPECT_TRUE(t.Locate("Id", "5", {}));  // numbers compare as their text
  EXPECT_EQ(Id(t), 5);
  EXPECT_EQ(r.Events, std::vector<TDataEvent>{TDataEvent::DataSetChanged});
  EXPECT_EQ(ErrorOf([&] { t.Locate("Nope", "x", {}); }), "Pdx1: Field 'Nope' not found");
  EXPECT_EQ(Id(t), 5);
  t.RemoveObserver(&r);
}

TEST(DataSetLocate, NumbersAndLettersBeyondAscii) {
  std::vector<TWriterRow> rows = {{"K\xc3\x96LN", 12.5, 0.1 + 0.2}, {"\xd0\x9f\xd0\xa0\xd0\x98\xd0\x92\xd0\x95\xd0\xa2", -3.0, 7.0},
                                  {"\xc5\xbb\xc3\x93\xc5\x81W", std::nullopt, std::nullopt}};
  TPdx t;
  t.SetTableName(test::MakeTable("Name=A30,Price=$,Ratio=N", rows));
  t.Open();
  EXPECT_TRUE(t.Locate("Name", "k\xc3\xb6ln", {true, false}));
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_FALSE(t.Locate("Name", "k\xc3\xb6ln", {false, false}));
  EXPECT_TRUE(t.Locate("Name", "\xd0\xbf\xd1\x80\xd0\xb8", {true, true}));  // "при"
  EXPECT_EQ(t.RecNo(), 2);
  EXPECT_TRUE(t.Locate("Name", "\xc5\xbc\xc3\xb3\xc5\x82w", {true, false}));  // "żółw"
  EXPECT_EQ(t.RecNo(), 3);
  // Numbers by value or by their text.
  EXPECT_TRUE(t.Locate("Price", "12.5", {}));
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_TRUE(t.Locate("Price", "-3", {}));
  EXPECT_EQ(t.RecNo(), 2);
  EXPECT_TRUE(t.Locate("Price", "12.50", {}));
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_TRUE(t.Locate("Ratio", "0.3", {}));  // 0.30000000000000004 shows as 0.3
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_TRUE(t.Locate("Ratio", "7", {}));
  EXPECT_EQ(t.RecNo(), 2);
  EXPECT_FALSE(t.Locate("Price", "0", {}));  // a null is no 0
  EXPECT_FALSE(t.Locate("Price", "abc", {}));
  EXPECT_TRUE(t.Locate("Price", "", {}));  // the null's empty text
  EXPECT_EQ(t.RecNo(), 3);
}

TEST(DataSetLocate, RealTables) {
  TPdx t;
  t.SetTableName(test::TestData("paradoxdriver/db/GENERAL.DB"));
  t.Open();
  ASSERT_EQ(t.RecordCount(), 3);
  EXPECT_TRUE(t.Locate("NAME", "kat", {true, true}));
  EXPECT_EQ(t.RecNo(), 2);
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 2);
  EXPECT_EQ(t.FieldByName("MONEYS").AsFloat(), 150.0);
  EXPECT_EQ(t.FieldByName("MONEYS").DisplayText(), "$150.00");
  EXPECT_TRUE(t.Locate("ID", "333333333", {}));
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "Elizabet");

  TPdx a;
  a.SetTableName(test::TestData("paradoxdriver/db/AREACODES.DB"));
  a.Open();
  ASSERT_EQ(a.RecordCount(), 370);
  a.Last();
  EXPECT_TRUE(a.Locate("State", "nj", {true, false}));
  EXPECT_EQ(a.RecNo(), 1);
  EXPECT_EQ(a.FieldByName("AC").AsString(), "201");
  EXPECT_EQ(a.FieldByName("Cities").AsString(), "Hackensack, Jersey City (201/551 overlay)");
  a.SetRecNo(200);
  EXPECT_FALSE(a.Locate("State", "No such state", {true, true}));
  EXPECT_EQ(a.RecNo(), 200);
}

TEST(DataSetBookmarks, RecordNumbersRoundTrip) {
  TPdx t;
  t.SetTableName(IdTable(10));
  t.Open();
  t.SetRecNo(6);
  TBookmark bm = t.GetBookmark();
  EXPECT_EQ(bm, 6);
  EXPECT_TRUE(t.BookmarkValid(bm));
  t.Last();
  t.GotoBookmark(bm);
  EXPECT_EQ(Id(t), 6);
  t.FreeBookmark(bm);
  // Bookmarks that lead nowhere leave the cursor.
  for (TBookmark b : {0, -3, 11}) {
    EXPECT_FALSE(t.BookmarkValid(b));
    t.GotoBookmark(b);
    EXPECT_EQ(Id(t), 6);
  }
  t.Close();
  EXPECT_FALSE(t.BookmarkValid(bm));
  EXPECT_EQ(t.GetBookmark(), 0);
}

TEST(DataSetPeek, PeekedRecordsAndTheCursor) {
  TPdx t;
  t.SetTableName(IdTable(10));
  t.SetBufferCount(3);
  t.Open();
  t.SetRecNo(4);
  const TField& id = t.FieldByName("Id");
  {
    auto p = t.PeekRecord(9);
    ASSERT_TRUE(p.Valid());
    EXPECT_EQ(id.AsInteger(), 9);
    EXPECT_EQ(t.FieldByName("Name").AsString(), "Name 9");
    EXPECT_EQ(t.RecNo(), 4);  // the cursor stays
    {
      auto inner = t.PeekRecord(2);
      EXPECT_EQ(id.AsInteger(), 2);
    }
    EXPECT_EQ(id.AsInteger(), 9);  // the outer peek reads its own record again
    auto moved = std::move(p);
    EXPECT_FALSE(p.Valid());
    EXPECT_EQ(id.AsInteger(), 9);
  }
  EXPECT_EQ(id.AsInteger(), 4);
  // Peeks ended out of order.
  {
    auto a = std::make_unique<TDataSet::TRecordPeek>(t.PeekRecord(1));
    auto b = t.PeekRecord(10);
    a.reset();
    EXPECT_EQ(id.AsInteger(), 10);
  }
  EXPECT_EQ(id.AsInteger(), 4);
  EXPECT_FALSE(t.PeekRecord(0).Valid());
  EXPECT_FALSE(t.PeekRecord(11).Valid());
  EXPECT_EQ(id.AsInteger(), 4);
  // Moving after a peek continues from the active record, not from the peeked one.
  { auto p = t.PeekRecord(8); }
  t.Next();
  EXPECT_EQ(id.AsInteger(), 5);
  t.Prior();
  t.Prior();
  EXPECT_EQ(id.AsInteger(), 3);
  // A peek that outlives the table's open state is harmless.
  {
    auto p = t.PeekRecord(7);
    t.Close();
    EXPECT_FALSE(t.Active());
  }
  t.Open();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 1);
}

TEST(DataSetReal, TimesTimestampsAndNulls) {
  TFormatSettings iso;
  iso.ShortDateFormat = "yyyy-mm-dd";
  iso.DateSeparator = '-';
  iso.LongTimeFormat = "hh:nn:ss";
  TPdx t;
  t.SetFormatSettings(iso);
  t.SetTableName(test::TestData("paradoxdriver/fields/time.db"));
  t.Open();
  std::vector<std::string> got;
  for (t.First(); !t.Eof(); t.Next()) got.push_back(t.Fields(t.FieldCount() - 1).AsString());
  EXPECT_EQ(got, (std::vector<std::string>{"01:00:01", "", "03:00:03"}));
  t.Close();
  t.SetTableName(test::TestData("paradoxdriver/fields/timestamp.db"));
  t.Open();
  got.clear();
  for (t.First(); !t.Eof(); t.Next()) got.push_back(t.Fields(t.FieldCount() - 1).AsString());
  EXPECT_EQ(got, (std::vector<std::string>{"", "2020-02-01 01:00:01"}));
  t.Close();
  t.SetTableName(test::TestData("paradoxdriver/fields/long.db"));
  t.Open();
  t.Last();
  EXPECT_TRUE(t.FieldByName("LONG").IsNull());
  EXPECT_EQ(t.FieldByName("LONG").AsInteger(), 0);
  t.Prior();
  EXPECT_EQ(t.FieldByName("LONG").AsInteger(), 2);
}

TEST(DataSetReal, MemosFromRecordAndFile) {
  TPdx t;
  t.SetTableName(test::TestData("paradoxdriver/fields/memo.db"));
  t.Open();
  TField* memo = nullptr;
  for (int i = 0; i < t.FieldCount(); ++i)
    if (t.Fields(i).DataType() == ftMemo) memo = &t.Fields(i);
  ASSERT_NE(memo, nullptr);
  ASSERT_TRUE(t.Locate("Id", "1", {}));
  EXPECT_EQ(memo->AsString().size(), 555u);
  ASSERT_TRUE(t.Locate("Id", "2", {}));
  EXPECT_EQ(memo->AsString(), "01234567890\n");
  EXPECT_EQ(memo->DisplayText(), "(Memo)");
}

}  // namespace
}  // namespace korvane
