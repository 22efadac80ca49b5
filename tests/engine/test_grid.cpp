// The data source between a dataset and its views, and the grid's columns model.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/grid.h"
#include "engine/pdx.h"
#include "support/fixtures.h"

namespace korvane {
namespace {

struct Recorder : TDataSetObserver {
  std::vector<TDataEvent> Events;
  std::vector<const TDataSet*> From;
  void DataSetEvent(TDataSet& ds, TDataEvent e) override {
    Events.push_back(e);
    From.push_back(&ds);
  }
};

std::vector<std::string> Names(const TGridColumns& g) {
  std::vector<std::string> v;
  for (const TGridColumn& c : g.Columns()) v.push_back(c.FieldName);
  return v;
}

TEST(GridColumns, DefaultColumnsForEveryFieldKind) {
  TPdx t;
  t.SetTableName(test::MakeAllTypesTable());
  TDataSource src;
  src.SetDataSet(&t);
  TGridColumns g;
  g.SetDataSource(&src);
  g.RebuildFromFields();
  EXPECT_EQ(g.Count(), 0);  // closed: no columns
  t.Open();
  g.RebuildFromFields();
  ASSERT_EQ(g.Count(), t.FieldCount());
  // Display width in '0' characters (6 pixels each by default) plus 4, at least the
  // title's width plus 4.
  const struct {
    const char* name;
    int width;
    TAlignment align;
  } want[] = {
      {"Alpha", 124, taLeftJustify},  {"Date", 64, taLeftJustify},     {"Short", 40, taRightJustify},
      {"Long", 70, taRightJustify},   {"Money", 64, taRightJustify},   {"Number", 64, taRightJustify},
      {"Logical", 46, taLeftJustify}, {"Memo", 64, taLeftJustify},     {"Blob", 64, taLeftJustify},
      {"FmtMemo", 64, taLeftJustify}, {"Ole", 64, taLeftJustify},      {"Graphic", 64, taLeftJustify},
      {"Time", 64, taLeftJustify},    {"Timestamp", 112, taLeftJustify}, {"AutoInc", 70, taRightJustify},
      {"Bcd", 64, taRightJustify},    {"Bytes", 64, taLeftJustify},
  };
  for (int i = 0; i < g.Count(); ++i) {
    EXPECT_EQ(g[i].FieldName, want[i].name);
    EXPECT_EQ(g[i].Title.Caption, want[i].name);
    EXPECT_EQ(g[i].Width, want[i].width) << want[i].name;
    EXPECT_EQ(g[i].Alignment, want[i].align) << want[i].name;
    EXPECT_TRUE(g[i].Visible);
    EXPECT_EQ(g.FieldOf(i), &t.Fields(i));
  }
  // The viewer's font metrics decide the pixels.
  g.TextWidth = [](const std::string& s) { return 7 * static_cast<int>(s.size()); };
  g.RebuildFromFields();
  EXPECT_EQ(g[0].Width, 7 * 20 + 4);
  EXPECT_EQ(g[6].Width, 7 * 7 + 4);  // "Logical" is wider than "False"
  // A field with a display width of its own.
  t.Fields(2).SetDisplayWidth(30);
  EXPECT_EQ(g.DefaultWidth(t.Fields(2)), 7 * 30 + 4);

  // No data source: no columns, no fields.
  TGridColumns lone;
  lone.RebuildFromFields();
  EXPECT_EQ(lone.Count(), 0);
  EXPECT_EQ(lone.FieldOf(0), nullptr);
  EXPECT_EQ(lone.DataSet(), nullptr);
}

TEST(GridColumns, HideReorderAndRebuild) {
  TPdx t;
  t.SetTableName(test::MakeTable("A=A10,B=I,C=N,D=D", {}));
  t.Open();
  TDataSource src;
  src.SetDataSet(&t);
  TGridColumns g;
  g.SetDataSource(&src);
  int changes = 0;
  g.AddListener([&] { ++changes; });
  g.RebuildFromFields();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Names(g), (std::vector<std::string>{"A", "B", "C", "D"}));

  g.At(1).Visible = false;
  g.At(2).Width = 200;
  g.Changed();
  EXPECT_EQ(changes, 2);
  g.Move(3, 0);
  EXPECT_EQ(Names(g), (std::vector<std::string>{"D", "A", "B", "C"}));
  g.Move(0, 3);
  EXPECT_EQ(Names(g), (std::vector<std::string>{"A", "B", "C", "D"}));
  g.Move(1, 2);
  EXPECT_EQ(Names(g), (std::vector<std::string>{"A", "C", "B", "D"}));
  EXPECT_FALSE(g[2].Visible);  // the hidden column moves with its settings
  EXPECT_EQ(g[1].Width, 200);
  EXPECT_EQ(g.FieldOf(1)->FieldName(), "C");
  EXPECT_EQ(g.IndexOfField("B"), 2);
  EXPECT_EQ(g.IndexOfField("X"), -1);
  EXPECT_EQ(changes, 5);
  // Moves that move nothing change nothing.
  g.Move(0, 0);
  g.Move(-1, 2);
  g.Move(1, 4);
  EXPECT_EQ(changes, 5);
  EXPECT_EQ(Names(g), (std::vector<std::string>{"A", "C", "B", "D"}));

  // Selected rows toggle as bookmarks.
  g.ToggleSelected(3);
  g.ToggleSelected(1);
  g.ToggleSelected(3);
  EXPECT_EQ(g.SelectedRows(), std::vector<TBookmark>{1});
  g.SetSelectedIndex(2);
  EXPECT_EQ(g.SelectedIndex(), 2);

  // A column whose field is gone shows no field.
  std::vector<TGridColumn> cols = g.Columns();
  cols[0].FieldName = "Gone";
  g.SetColumns(cols);
  EXPECT_EQ(g.FieldOf(0), nullptr);
  EXPECT_EQ(g.FieldOf(-1), nullptr);
  EXPECT_EQ(g.FieldOf(4), nullptr);

  // Rebuilding restores field order, default widths and visibility.
  g.RebuildFromFields();
  EXPECT_EQ(Names(g), (std::vector<std::string>{"A", "B", "C", "D"}));
  for (const TGridColumn& c : g.Columns()) EXPECT_TRUE(c.Visible);
  EXPECT_EQ(g[2].Width, g.DefaultWidth(t.Fields(2)));
  EXPECT_TRUE(g.SelectedRows().empty());
  EXPECT_EQ(g.SelectedIndex(), 0);
  t.Close();
  EXPECT_EQ(g.FieldOf(0), nullptr);
  g.RebuildFromFields();
  EXPECT_EQ(g.Count(), 0);
}

TEST(GridDataSource, ForwardsEventsWhileEnabled) {
  TPdx t;
  t.SetTableName(test::MakeTable("I", {{1}, {2}, {3}}));
  TDataSource src;
  Recorder view;
  src.AddObserver(&view);
  src.AddObserver(&view);  // once only
  src.SetDataSet(&t);
  EXPECT_EQ(view.Events, std::vector<TDataEvent>{TDataEvent::ActiveChanged});
  view.Events.clear();
  t.Open();
  t.Next();
  t.Last();
  EXPECT_EQ(view.Events, (std::vector<TDataEvent>{TDataEvent::ActiveChanged, TDataEvent::DataSetScroll,
                                                  TDataEvent::DataSetChanged}));
  view.Events.clear();
  // The dataset's controls switch holds the events back for every view.
  t.DisableControls();
  t.First();
  t.Next();
  EXPECT_TRUE(view.Events.empty());
  t.EnableControls();
  EXPECT_EQ(view.Events, std::vector<TDataEvent>{TDataEvent::DataSetChanged});
  view.Events.clear();

  // Disabled, the source tells nothing; enabling it again makes the views look again.
  src.SetEnabled(false);
  EXPECT_EQ(view.Events, std::vector<TDataEvent>{TDataEvent::ActiveChanged});
  view.Events.clear();
  t.Next();
  t.Close();
  EXPECT_TRUE(view.Events.empty());
  src.SetEnabled(false);
  EXPECT_TRUE(view.Events.empty());
  src.SetEnabled(true);
  EXPECT_EQ(view.Events, std::vector<TDataEvent>{TDataEvent::ActiveChanged});
  view.Events.clear();

  // Another dataset, and none.
  TPdx other("Pdx2");
  other.SetTableName(t.TableName());
  src.SetDataSet(&other);
  EXPECT_EQ(view.Events, std::vector<TDataEvent>{TDataEvent::ActiveChanged});
  EXPECT_EQ(view.From.back(), &other);
  t.Open();  // the old dataset is no longer followed
  EXPECT_EQ(view.Events.size(), 1u);
  src.SetDataSet(nullptr);
  EXPECT_EQ(view.Events.size(), 2u);
  EXPECT_EQ(view.From.back(), &other);
  EXPECT_EQ(src.DataSet(), nullptr);
  other.Open();
  EXPECT_EQ(view.Events.size(), 2u);
  src.RemoveObserver(&view);
  src.SetDataSet(&t);
  EXPECT_EQ(view.Events.size(), 2u);
}

TEST(GridDataSource, DatasetDestroyedFirst) {
  auto src = std::make_unique<TDataSource>();
  Recorder view;
  src->AddObserver(&view);
  {
    TPdx t;
    t.SetTableName(test::MakeTable("I", {{1}}));
    t.Open();
    src->SetDataSet(&t);
  }
  // The source forgot the dataset: nothing dangles.
  EXPECT_EQ(src->DataSet(), nullptr);
  TGridColumns g;
  g.SetDataSource(src.get());
  g.RebuildFromFields();
  EXPECT_EQ(g.Count(), 0);
  src.reset();
}

}  // namespace
}  // namespace korvane
