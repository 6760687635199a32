// The data controls over a data set: the grid model's screen-sized fetches, following the
// current record both ways, title clicks, cell edits, the navigator's actions and enabled
// buttons, the index drop-down, the incremental search and the progress bar's change event.
#include "platform/ui/DBControls.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "platform/db/TestDataSet.h"

using dbtest::Int;
using dbtest::Str;
using dbtest::TTestDataSet;

namespace {

std::string NameOf(int i) { return "name" + std::to_string(i); }

// A data set of `rows` records "name<i>", i, with a data source.
struct TFixture {
  TTestDataSet Set;
  TDataSource Source;
  explicit TFixture(int rows, std::vector<std::string> names = {}) {
    Set.Columns = {{"name", TFieldType::ftString, 20}, {"num", TFieldType::ftInteger}};
    if (names.empty())
      for (int i = 0; i < rows; ++i) names.push_back(NameOf(i));
    for (size_t i = 0; i < names.size(); ++i) Set.AddRow({Str(names[i]), Int(static_cast<int32_t>(i))});
    Source.SetDataSet(&Set);
    Set.Open();
  }
};

TEST(GridModel, FetchesAScreenOfRowsWithoutWalkingTheTable) {
  constexpr int Rows = 100000;
  TFixture f(Rows);
  TwwDBGrid grid;
  grid.AddColumn("name", "NAME", 10);
  grid.AddColumn("num", "NUM", 6);
  grid.SetDataSource(&f.Source);
  TwwGridModel& model = *grid.Model();
  ASSERT_EQ(model.rowCount(), Rows);
  const int limit = 2 * model.FetchSize() + 8;  // GetRecord calls one fetch may cost
  struct TCase {
    int Row;
  };
  for (const TCase c : {TCase{0}, TCase{30}, TCase{Rows / 2}, TCase{Rows - 1}, TCase{Rows - 40}, TCase{7}}) {
    SCOPED_TRACE(c.Row);
    f.Set.GetRecordCalls = 0;
    EXPECT_EQ(model.data(model.index(c.Row, 0)).toString(), QString::fromStdString(NameOf(c.Row)));
    EXPECT_EQ(model.data(model.index(c.Row, 1)).toString(), QString::number(c.Row));
    EXPECT_LE(f.Set.GetRecordCalls, limit);
    // Neighbouring rows come from the same fetch.
    const int next = c.Row + 1 < Rows ? c.Row + 1 : c.Row - 1;
    f.Set.GetRecordCalls = 0;
    EXPECT_EQ(model.data(model.index(next, 0)).toString(), QString::fromStdString(NameOf(next)));
    EXPECT_EQ(f.Set.GetRecordCalls, 0);
    // Reading never moves the current record.
    EXPECT_EQ(f.Set.RecNo(), 1);
    EXPECT_EQ(f.Set.State(), TDataSetState::dsBrowse);
  }
}

TEST(GridModel, FollowsTheCurrentRecordBothWays) {
  TFixture f(200);
  TwwDBGrid grid;
  grid.AddColumn("name", "NAME", 10);
  grid.SetDataSource(&f.Source);
  grid.SetCurrentRowColor(QColor(0xFF, 0x80, 0x80));
  TwwGridModel& model = *grid.Model();
  struct TMove {
    std::function<void()> Action;
    int Row;
  };
  const std::vector<TMove> moves = {
      {[&] { f.Set.MoveBy(5); }, 5},
      {[&] { f.Set.Last(); }, 199},
      {[&] { f.Set.First(); }, 0},
      {[&] { grid.selectionModel()->setCurrentIndex(model.index(20, 0), QItemSelectionModel::ClearAndSelect); }, 20},
      {[&] { grid.selectionModel()->setCurrentIndex(model.index(150, 0), QItemSelectionModel::ClearAndSelect); }, 150},
      {[&] { grid.selectionModel()->setCurrentIndex(model.index(149, 0), QItemSelectionModel::ClearAndSelect); }, 149},
  };
  for (size_t i = 0; i < moves.size(); ++i) {
    SCOPED_TRACE(i);
    moves[i].Action();
    EXPECT_EQ(f.Set.RecNo(), moves[i].Row + 1);
    EXPECT_EQ(model.CurrentRow(), moves[i].Row);
    EXPECT_EQ(grid.currentIndex().row(), moves[i].Row);
    EXPECT_EQ(f.Set.FieldByName("name").AsString(), NameOf(moves[i].Row));
    EXPECT_EQ(model.data(model.index(moves[i].Row, 0), Qt::BackgroundRole).value<QColor>(), QColor(0xFF, 0x80, 0x80));
    EXPECT_FALSE(model.data(model.index(moves[i].Row == 0 ? 1 : 0, 0), Qt::BackgroundRole).isValid());
  }
  // A deleted record disappears from the rows.
  f.Set.Delete();
  EXPECT_EQ(model.rowCount(), 199);
  EXPECT_EQ(model.data(model.index(149, 0)).toString(), QString::fromStdString(NameOf(150)));
}

TEST(GridModel, CellEditsWriteTheRecordThatIsPostedOnLeavingIt) {
  TFixture f(10);
  TwwDBGrid grid;
  grid.AddColumn("name", "NAME", 10);
  grid.SetDataSource(&f.Source);
  TwwGridModel& model = *grid.Model();
  EXPECT_TRUE(model.flags(model.index(3, 0)) & Qt::ItemIsEditable);
  ASSERT_TRUE(model.setData(model.index(3, 0), QString::fromUtf8("Caf\xc3\xa9"), Qt::EditRole));
  EXPECT_EQ(f.Set.State(), TDataSetState::dsEdit);
  EXPECT_EQ(f.Set.RecNo(), 4);
  EXPECT_EQ(model.data(model.index(3, 0)).toString(), QString::fromUtf8("Caf\xc3\xa9"));
  model.SetCurrentRow(6);
  EXPECT_EQ(f.Set.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(f.Set.Rows[3].Values[0]->substr(0, 5), std::string("Caf\xe9", 4) + '\0');
  model.ReadOnly = true;
  EXPECT_FALSE(model.flags(model.index(3, 0)) & Qt::ItemIsEditable);
  EXPECT_FALSE(model.setData(model.index(3, 0), QString("x"), Qt::EditRole));
}

TEST(Grid, TitleClicksReportTheFieldNameWhenTitlesAreButtons) {
  TwwDBGrid grid;
  grid.AddColumn("trapnum", "TRAP #", 8);
  grid.AddColumn("count", "CNT", 6);
  EXPECT_EQ(grid.columnCount(), 2);
  EXPECT_EQ(grid.horizontalHeaderItem(1)->text(), QString("CNT"));
  EXPECT_EQ(grid.Model()->headerData(0, Qt::Horizontal).toString(), QString("TRAP #"));
  EXPECT_EQ(grid.horizontalHeaderItem(2), nullptr);
  struct TCase {
    bool Buttons;
    int Column;
    QStringList Expected;
  };
  for (const TCase& c : {TCase{true, 1, {"count"}}, TCase{true, 0, {"trapnum"}}, TCase{false, 1, {}}}) {
    grid.SetTitleButtons(c.Buttons);
    QSignalSpy spy(&grid, &TwwDBGrid::TitleButtonClick);
    emit grid.horizontalHeader()->sectionClicked(c.Column);
    QStringList got;
    for (const auto& args : spy) got << args.at(0).toString();
    EXPECT_EQ(got, c.Expected);
  }
}

TEST(Navigator, ActionsMoveAndEditTheDataSet) {
  TFixture f(35);
  TwwDBNavigator nav;
  nav.SetDataSource(&f.Source);
  using B = TNavigateBtn;
  struct TStep {
    B Button;
    int RecNo;  // -1: not checked (inserting)
    TDataSetState State;
  };
  const std::vector<TStep> steps = {
      {B::nbNextPage, 11, TDataSetState::dsBrowse},    {B::nbNextPage, 21, TDataSetState::dsBrowse},
      {B::nbNext, 22, TDataSetState::dsBrowse},        {B::nbSaveBookmark, 22, TDataSetState::dsBrowse},
      {B::nbPriorPage, 12, TDataSetState::dsBrowse},   {B::nbPrior, 11, TDataSetState::dsBrowse},
      {B::nbLast, 35, TDataSetState::dsBrowse},
      {B::nbRestoreBookmark, 22, TDataSetState::dsBrowse}, {B::nbFirst, 1, TDataSetState::dsBrowse},
      {B::nbEdit, 1, TDataSetState::dsEdit},
      {B::nbCancel, 1, TDataSetState::dsBrowse},       {B::nbInsert, -1, TDataSetState::dsInsert},
      {B::nbPost, 1, TDataSetState::dsBrowse},         {B::nbRefresh, 1, TDataSetState::dsBrowse},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    if (steps[i].Button == B::nbRestoreBookmark) {
      EXPECT_FALSE(nav.Button(B::nbNextPage)->isEnabled());  // after Last
    }
    ASSERT_TRUE(nav.Button(steps[i].Button)->isEnabled());
    nav.Button(steps[i].Button)->click();
    EXPECT_EQ(f.Set.State(), steps[i].State);
    if (steps[i].RecNo > 0) {
      EXPECT_EQ(f.Set.RecNo(), steps[i].RecNo);
    }
  }
  EXPECT_EQ(f.Set.RecordCount(), 36);
  nav.Button(B::nbDelete)->click();
  EXPECT_EQ(f.Set.RecordCount(), 35);
  EXPECT_EQ(f.Set.FieldByName("name").AsString(), NameOf(0));
}

TEST(Navigator, ButtonsAreEnabledAsTheStateAllows) {
  TFixture f(3);
  TwwDBNavigator nav;
  using B = TNavigateBtn;
  const auto enabled = [&] {
    std::string s;
    for (int i = 0; i < NavigateBtnCount; ++i) s += nav.Button(static_cast<B>(i))->isEnabled() ? '1' : '0';
    return s;
  };
  //                       F P p n N L I D E P C R b B
  EXPECT_EQ(enabled(), "11111111111111");  // unbound: the bar only reports clicks
  nav.SetDataSource(&f.Source);
  struct TCase {
    std::function<void()> Action;
    const char* Enabled;
  };
  const std::vector<TCase> cases = {
      {[] {}, "00011111100110"},
      {[&] { f.Set.Next(); }, "11111111100110"},
      {[&] { f.Set.Last(); f.Set.Next(); }, "11100011100110"},
      {[&] { nav.BtnClick(B::nbSaveBookmark); }, "11100011100111"},
      {[&] { f.Set.Edit(); }, "11100001011000"},
      {[&] { f.Set.Cancel(); f.Set.Close(); }, "00000000000000"},
      {[&] { f.Set.Open(); f.Source.SetEnabled(false); }, "00000000000000"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    cases[i].Action();
    EXPECT_EQ(enabled(), cases[i].Enabled);
  }
}

TEST(KeyCombo, ListsIndexNamesSortedAndSetsTheChosenOne) {
  std::vector<std::string> names = {"trapnum", "area", "Common", "inspected"};
  std::string current = "inspected";
  TIndexHost host;
  host.IndexNames = [&] { return names; };
  host.IndexName = [&] { return current; };
  host.SetIndexName = [&](const std::string& n) { current = n; };
  TwwKeyCombo combo;
  combo.SetIndexHost(host);
  QStringList shown;
  for (int i = 0; i < combo.count(); ++i) shown << combo.itemText(i);
  EXPECT_EQ(shown, (QStringList{"area", "Common", "inspected", "trapnum"}));
  EXPECT_EQ(combo.currentText(), QString("inspected"));
  emit combo.activated(1);
  EXPECT_EQ(current, "Common");
}

TEST(IncrementalSearch, MovesToThePartialMatchAndSelectsTheUntypedPart) {
  TFixture f(0, {"Ant", "booklouse", "Psocid", "psyllid", "Spider"});
  TIndexHost host;
  host.IndexFieldNames = [] { return std::string("name;num"); };
  TwwIncrementalSearch box;
  box.SetDataSource(&f.Source);
  box.SetIndexHost(host);
  ASSERT_EQ(box.SearchField(), f.Set.FindField("name"));
  struct TCase {
    const char* Typed;
    bool Found;
    int RecNo;
    const char* Shown;
    const char* Selected;
  };
  const std::vector<TCase> cases = {
      {"ps", true, 3, "Psocid", "ocid"},  {"psy", true, 4, "psyllid", "llid"}, {"SP", true, 5, "Spider", "ider"},
      {"zz", false, 5, "zz", ""},         {"", true, 1, "", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Typed);
    box.clear();
    if (c.Typed[0] != '\0') QTest::keyClicks(&box, QString::fromLatin1(c.Typed));
    else EXPECT_EQ(box.Search(QString()), c.Found);
    EXPECT_EQ(f.Set.RecNo(), c.RecNo);
    EXPECT_EQ(box.text(), QString::fromLatin1(c.Shown));
    EXPECT_EQ(box.selectedText(), QString::fromLatin1(c.Selected));
  }
  // Typing over the selection keeps searching from what is typed.
  box.clear();
  QTest::keyClicks(&box, "p");
  EXPECT_EQ(box.text(), QString("Psocid"));
  QTest::keyClicks(&box, "sy");
  EXPECT_EQ(box.text(), QString("psyllid"));
  EXPECT_EQ(box.selectionStart(), 3);
}

TEST(BoundEditors, ShowTheFieldAndWriteItBack) {
  TFixture f(3);
  TwwDBEdit edit;
  edit.SetDataSource(&f.Source);
  edit.SetDataField("name");
  TwwDBSpinEdit spin;
  spin.SetDataSource(&f.Source);
  spin.SetDataField("num");
  EXPECT_EQ(edit.text(), QString("name0"));
  f.Set.Next();
  EXPECT_EQ(edit.text(), QString("name1"));
  EXPECT_EQ(spin.value(), 1);
  edit.selectAll();
  QTest::keyClicks(&edit, "Moth");
  EXPECT_EQ(f.Set.State(), TDataSetState::dsEdit);
  f.Set.Post();
  EXPECT_EQ(f.Set.FieldByName("name").AsString(), "Moth");
  spin.setValue(7);
  EXPECT_EQ(f.Set.FieldByName("num").AsInteger(), 7);
  f.Set.Cancel();
  EXPECT_EQ(spin.value(), 1);
}

TEST(ProgressBar, ChangeEventRunsOnEveryNewPosition) {
  TfcProgressBar bar;
  bar.SetMin(0);
  bar.SetMax(100);
  std::vector<int> seen;
  bar.OnChange = [&](TfcProgressBar& b) { seen.push_back(b.Position()); };
  for (int p : {10, 10, 20, 100, 0}) bar.SetPosition(p);
  EXPECT_EQ(seen, (std::vector<int>{10, 20, 100, 0}));
}

}  // namespace
