#include "platform/db/DBSource.h"

#include <gtest/gtest.h>

#include "platform/db/TestDataSet.h"
#include "platform/rtl/FormatSettings.h"

namespace {

using dbtest::Column;
using dbtest::Int;
using dbtest::MessageOf;
using dbtest::Str;
using dbtest::TTestDataSet;

// A link that counts what it is told.
class TCountingLink : public TDataLink {
public:
  struct TCounts {
    int Active = 0, Changed = 0, Scrolled = 0, Record = 0, Field = 0, Editing = 0, Update = 0, Browse = 0;
    int ScrollDistance = 0;
    bool operator==(const TCounts&) const = default;
  };
  TCounts Counts;
  std::function<void()> OnUpdateData;

protected:
  void ActiveChanged() override { ++Counts.Active; }
  void CheckBrowseMode() override { ++Counts.Browse; }
  void DataSetChanged() override { ++Counts.Changed; }
  void DataSetScrolled(int32_t distance) override {
    ++Counts.Scrolled;
    Counts.ScrollDistance += distance;
  }
  void EditingChanged() override { ++Counts.Editing; }
  void RecordChanged(TField* field) override { ++(field != nullptr ? Counts.Field : Counts.Record); }
  void UpdateData() override {
    ++Counts.Update;
    if (OnUpdateData) OnUpdateData();
  }
};

std::ostream& operator<<(std::ostream& out, const TCountingLink::TCounts& c) {
  return out << "active " << c.Active << " changed " << c.Changed << " scrolled " << c.Scrolled << " record "
             << c.Record << " field " << c.Field << " editing " << c.Editing << " update " << c.Update
             << " browse " << c.Browse << " distance " << c.ScrollDistance;
}

class DataSourceTest : public ::testing::Test {
protected:
  void SetUp() override {
    FormatSettings() = TFormatSettings::EnUS();
    Pests.Columns = {{"common", TFieldType::ftString, 30}, {"count", TFieldType::ftInteger}};
    for (const char* name : {"Spider", "Psocid", "Moth", "Beetle"}) Pests.AddRow({Str(name), Int(1)});
    Source.SetDataSet(&Pests);
    Link.SetDataSource(&Source);
  }

  TTestDataSet Pests{"pests"};
  TDataSource Source;
  TCountingLink Link;
};

TEST_F(DataSourceTest, LinksHearWhatTheDataSetDoes) {
  using C = TCountingLink::TCounts;
  struct Case {
    const char* What;
    std::function<void(TDataSet&)> Action;
    C Expected;
  };
  const std::vector<Case> cases = {
      {"Next", [](TDataSet& d) { d.Next(); }, C{.Scrolled = 1, .Browse = 1, .ScrollDistance = 1}},
      {"MoveBy(-2) from the third", [](TDataSet& d) { d.MoveBy(-2); }, C{.Scrolled = 1, .Browse = 1, .ScrollDistance = -2}},
      {"First", [](TDataSet& d) { d.First(); }, C{.Changed = 1, .Browse = 1}},
      {"Edit", [](TDataSet& d) { d.Edit(); }, C{.Record = 1, .Editing = 1, .Browse = 1}},
      {"field change", [](TDataSet& d) { d.Edit(); d.FieldByName("count").SetAsInteger(3); },
       C{.Record = 1, .Field = 1, .Editing = 1, .Browse = 1}},
      {"Post", [](TDataSet& d) { d.Edit(); d.FieldByName("count").SetAsInteger(3); d.Post(); },
       C{.Changed = 1, .Record = 1, .Field = 1, .Editing = 2, .Update = 1, .Browse = 2}},
      {"Insert", [](TDataSet& d) { d.Insert(); }, C{.Changed = 1, .Editing = 1, .Browse = 1}},
      {"Close", [](TDataSet& d) { d.Close(); }, C{.Active = 1}},
  };
  for (const Case& c : cases) {
    Pests.Close();
    Pests.Open();
    Pests.MoveBy(2);
    Link.Counts = {};
    c.Action(Pests);
    EXPECT_EQ(Link.Counts, c.Expected) << c.What;
  }
  Pests.Open();
  EXPECT_TRUE(Link.Active());
  Pests.Edit();
  EXPECT_TRUE(Link.Editing());
  Link.SetReadOnly(true);
  EXPECT_FALSE(Link.Editing());
  Pests.Cancel();
}

TEST_F(DataSourceTest, UpdateDataWritesPendingValuesBeforeAPost) {
  Pests.Open();
  Link.OnUpdateData = [&] { Pests.FieldByName("count").SetAsInteger(42); };
  Pests.Edit();
  Link.Counts = {};
  Pests.Post();
  EXPECT_EQ(Link.Counts.Field, 0);  // a link's own update is not reported back to it
  EXPECT_EQ(Pests.FieldByName("count").AsInteger(), 42);
  EXPECT_EQ(Link.Edit(), true);   // AutoEdit puts the data set in edit
  EXPECT_EQ(Pests.State(), TDataSetState::dsEdit);
  Pests.Cancel();
  Source.SetAutoEdit(false);
  EXPECT_EQ(Link.Edit(), false);
  EXPECT_EQ(Pests.State(), TDataSetState::dsBrowse);
}

TEST_F(DataSourceTest, DisabledControlsHearOneChangeAtTheEnd) {
  Pests.Open();
  Link.Counts = {};
  Pests.DisableControls();
  Pests.DisableControls();
  Pests.Next();
  Pests.Next();
  Pests.First();
  Pests.EnableControls();
  EXPECT_EQ(Link.Counts, TCountingLink::TCounts{});  // still disabled once
  Pests.EnableControls();
  EXPECT_EQ(Link.Counts, (TCountingLink::TCounts{.Changed = 1}));
  EXPECT_FALSE(Pests.ControlsDisabled());

  // a state change while disabled is reported when enabled
  Link.Counts = {};
  Pests.DisableControls();
  Pests.Edit();
  EXPECT_FALSE(Link.Editing());
  Pests.EnableControls();
  EXPECT_TRUE(Link.Editing());
  EXPECT_EQ(Link.Counts, (TCountingLink::TCounts{.Changed = 1, .Editing = 1}));
  Pests.Cancel();

  // closing gets through at once
  Link.Counts = {};
  Pests.DisableControls();
  Pests.Close();
  EXPECT_FALSE(Link.Active());
  EXPECT_EQ(Link.Counts, (TCountingLink::TCounts{.Active = 1}));
  Pests.Open();
  EXPECT_FALSE(Link.Active());
  Pests.EnableControls();
  EXPECT_TRUE(Link.Active());
  EXPECT_EQ(Link.Counts.Active, 2);
}

TEST_F(DataSourceTest, SourcesFollowEnabledStateAndDetachEitherWay) {
  std::vector<TDataSetState> states;
  Source.OnStateChange = [&](TDataSource& s) { states.push_back(s.State()); };
  int dataChanges = 0;
  Source.OnDataChange = [&](TDataSource&, TField*) { ++dataChanges; };
  Pests.Open();
  Pests.Next();
  Source.SetEnabled(false);
  EXPECT_FALSE(Link.Active());
  Pests.Next();
  Source.SetEnabled(true);
  EXPECT_TRUE(Link.Active());
  EXPECT_EQ(states, (std::vector<TDataSetState>{TDataSetState::dsBrowse, TDataSetState::dsInactive,
                                                TDataSetState::dsBrowse}));
  EXPECT_EQ(dataChanges, 1);
  {
    TTestDataSet other("other");
    other.Columns = Pests.Columns;
    other.Open();
    Source.SetDataSet(&other);
    EXPECT_EQ(Link.DataSet(), &other);
  }  // destroying the data set detaches the source
  EXPECT_EQ(Source.DataSet(), nullptr);
  EXPECT_FALSE(Link.Active());
  {
    TDataSource temporary;
    temporary.SetDataSet(&Pests);
    Link.SetDataSource(&temporary);
    EXPECT_TRUE(Link.Active());
  }  // destroying the source detaches the link
  EXPECT_EQ(Link.DataSource(), nullptr);
  EXPECT_FALSE(Link.Active());
}

class MasterDetailTest : public DataSourceTest {
protected:
  void SetUp() override {
    DataSourceTest::SetUp();
    Stages.Columns = {{"common", TFieldType::ftString, 30}, {"stage", TFieldType::ftString, 10}};
    for (const auto& [name, stage] : std::vector<std::pair<const char*, const char*>>{
             {"Moth", "Larva"}, {"Spider", "Adult"}, {"Moth", "Adult"}, {"Beetle", "Egg"}})
      Stages.AddRow({Str(name), Str(stage)});
  }
  TTestDataSet Stages{"stages"};
};

TEST_F(MasterDetailTest, TheDetailFollowsTheMasterRecord) {
  Pests.Open();
  Stages.Open();
  Stages.SetMasterSource(&Source, "common", "common");
  EXPECT_EQ(Column(Stages, "stage"), std::vector<std::string>{"Adult"});  // Spider's
  Pests.Next();
  EXPECT_TRUE(Stages.IsEmpty());  // no Psocid stages
  Pests.Next();
  EXPECT_EQ(Column(Stages, "stage"), (std::vector<std::string>{"Larva", "Adult"}));
  Pests.Edit();
  Pests.FieldByName("count").SetAsInteger(9);  // not a link field: the detail stays
  EXPECT_EQ(Stages.RecordCount(), 2);
  Stages.First();
  Pests.FieldByName("common").SetAsString("Beetle");  // a link field: the detail follows
  EXPECT_EQ(Column(Stages, "stage"), std::vector<std::string>{"Egg"});
  Pests.Cancel();
  Stages.Edit();
  Stages.FieldByName("stage").SetAsString("Pupa");
  Pests.Next();  // the master's move posts the detail first
  EXPECT_EQ(Stages.State(), TDataSetState::dsBrowse);
  EXPECT_STREQ(Stages.Rows[0].Values[1]->c_str(), "Pupa");
  EXPECT_EQ(Column(Stages, "stage"), std::vector<std::string>{"Egg"});  // Beetle's
  Pests.Close();  // the link stops: every detail record shows
  EXPECT_EQ(Stages.RecordCount(), 4);
}

TEST_F(MasterDetailTest, CircularLinksAndUnknownFieldsAreRefused) {
  Pests.Open();
  Stages.Open();
  TDataSource stagesSource;
  stagesSource.SetDataSet(&Stages);
  Stages.SetMasterSource(&Source, "common", "common");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Pests.SetMasterSource(&stagesSource, "common", "common"); }),
            "pests: Circular datalinks are not allowed");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Stages.SetMasterSource(&stagesSource, "common", "common"); }),
            "stages: Circular datalinks are not allowed");
  Source.SetName("pestsSource");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Source.SetDataSet(&Stages); }),
            "pestsSource: Circular datalinks are not allowed");
  EXPECT_EQ(Source.DataSet(), &Pests);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Stages.MasterLink.SetFieldNames("latin"); }),
            "pests: Field 'latin' not found");
}

}  // namespace
