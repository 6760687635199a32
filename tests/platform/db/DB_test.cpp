#include "platform/db/DB.h"

#include <gtest/gtest.h>

#include "platform/db/TestDataSet.h"
#include "platform/rtl/FormatSettings.h"

namespace {

using dbtest::Column;
using dbtest::Day;
using dbtest::Int;
using dbtest::MessageOf;
using dbtest::Null;
using dbtest::Str;
using dbtest::TTestDataSet;

class DataSetTest : public ::testing::Test {
protected:
  void SetUp() override {
    FormatSettings() = TFormatSettings::EnUS();
    Pests.Columns = {{"common", TFieldType::ftString, 30},
                     {"count", TFieldType::ftInteger},
                     {"inspected", TFieldType::ftDate},
                     {"notes", TFieldType::ftMemo}};
    Pests.AddRow({Str("Spider"), Int(2), Day(2002, 4, 1), Str("web")});
    Pests.AddRow({Str("Psocid"), Int(1), Day(2002, 4, 4), Null()});
    Pests.AddRow({Str("psyllid"), Int(5), Day(2002, 3, 30), Null()});
    Pests.AddRow({Str("Moth"), Int(3), Null(), Null()});
    Pests.AddRow({Str("Beetle"), Int(4), Day(2002, 5, 1), Null()});
  }

  std::string Common() { return Pests.FieldByName("common").AsString(); }

  TTestDataSet Pests{"pests"};
};

TEST_F(DataSetTest, NavigationMovesAndReportsTheEnds) {
  struct Step {
    const char* What;
    std::function<int32_t(TDataSet&)> Action;
    int32_t Moved;
    const char* Current;
    bool Bof;
    bool Eof;
  };
  const std::vector<Step> steps = {
      {"First", [](TDataSet& d) { d.First(); return 0; }, 0, "Spider", true, false},
      {"Next", [](TDataSet& d) { return d.MoveBy(1); }, 1, "Psocid", false, false},
      {"MoveBy(2)", [](TDataSet& d) { return d.MoveBy(2); }, 2, "Moth", false, false},
      {"Next to the last", [](TDataSet& d) { return d.MoveBy(1); }, 1, "Beetle", false, false},
      {"Next past the last", [](TDataSet& d) { return d.MoveBy(1); }, 0, "Beetle", false, true},
      {"Next at Eof", [](TDataSet& d) { return d.MoveBy(1); }, 0, "Beetle", false, true},
      {"Prior", [](TDataSet& d) { return d.MoveBy(-1); }, -1, "Moth", false, false},
      {"MoveBy(-10)", [](TDataSet& d) { return d.MoveBy(-10); }, -3, "Spider", true, false},
      {"Last", [](TDataSet& d) { d.Last(); return 0; }, 0, "Beetle", false, true},
      {"MoveBy(-2)", [](TDataSet& d) { return d.MoveBy(-2); }, -2, "psyllid", false, false},
  };
  Pests.Open();
  for (const Step& step : steps) {
    EXPECT_EQ(step.Action(Pests), step.Moved) << step.What;
    EXPECT_EQ(Common(), step.Current) << step.What;
    EXPECT_EQ(Pests.Bof(), step.Bof) << step.What;
    EXPECT_EQ(Pests.Eof(), step.Eof) << step.What;
  }
}

TEST_F(DataSetTest, OpenFetchesTheFirstRecordAndCloseDropsTheDefaultFields) {
  Pests.Open();
  EXPECT_EQ(Pests.State(), TDataSetState::dsBrowse);
  EXPECT_TRUE(Pests.DefaultFields());
  ASSERT_EQ(Pests.FieldCount(), 4);
  EXPECT_EQ(Pests.FieldByName("COMMON").FieldNo(), 1);
  EXPECT_EQ(Pests.FieldByName("notes").DataType(), TFieldType::ftMemo);
  EXPECT_EQ(Common(), "Spider");
  EXPECT_TRUE(Pests.Bof());
  Pests.Close();
  EXPECT_EQ(Pests.State(), TDataSetState::dsInactive);
  EXPECT_EQ(Pests.FieldCount(), 0);
  EXPECT_TRUE(Pests.IsEmpty());
}

TEST_F(DataSetTest, DestroyingAnOpenDataSetFiresNoCloseEvents) {
  int closeEvents = 0;
  {
    TTestDataSet dataSet("pests");
    dataSet.Columns = Pests.Columns;
    dataSet.BeforeClose = [&](TDataSet&) { ++closeEvents; };
    dataSet.AfterClose = [&](TDataSet&) { ++closeEvents; };
    dataSet.Open();
    dataSet.Close();
    EXPECT_EQ(closeEvents, 2);
    dataSet.Open();
  }
  EXPECT_EQ(closeEvents, 2);
}

TEST_F(DataSetTest, AnEmptyDataSetHasNoRecordToMoveToOrDelete) {
  Pests.Rows.clear();
  Pests.Open();
  EXPECT_TRUE(Pests.IsEmpty());
  EXPECT_TRUE(Pests.Bof());
  EXPECT_TRUE(Pests.Eof());
  EXPECT_EQ(Pests.MoveBy(1), 0);
  EXPECT_TRUE(Pests.FieldByName("common").IsNull());
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Pests.Delete(); }),
            "pests: Cannot perform this operation on an empty dataset");
  EXPECT_TRUE(Pests.GetBookmark().empty());
  Pests.Edit();  // an empty data set edits by inserting
  EXPECT_EQ(Pests.State(), TDataSetState::dsInsert);
  Pests.FieldByName("common").SetAsString("Ant");
  Pests.Post();
  EXPECT_EQ(Column(Pests, "common"), std::vector<std::string>{"Ant"});
}

TEST_F(DataSetTest, RefusalsCarryThePlatformMessages) {
  struct Case {
    const char* What;
    std::function<void(TTestDataSet&)> Prepare;
    std::function<void(TTestDataSet&)> Action;
    std::string Message;
  };
  const auto open = [](TTestDataSet& d) { d.Open(); };
  const std::vector<Case> cases = {
      {"First while closed", nullptr, [](TTestDataSet& d) { d.First(); },
       "pests: Cannot perform this operation on a closed dataset"},
      {"Next while closed", nullptr, [](TTestDataSet& d) { d.Next(); },
       "pests: Cannot perform this operation on a closed dataset"},
      {"Append while closed", nullptr, [](TTestDataSet& d) { d.Append(); },
       "pests: Cannot perform this operation on a closed dataset"},
      {"Delete while closed", nullptr, [](TTestDataSet& d) { d.Delete(); },
       "pests: Cannot perform this operation on a closed dataset"},
      {"Refresh while closed", nullptr, [](TTestDataSet& d) { d.Refresh(); },
       "pests: Cannot perform this operation on a closed dataset"},
      {"Post while closed", nullptr, [](TTestDataSet& d) { d.Post(); }, "pests: Dataset not in edit or insert mode"},
      {"Post while browsing", open, [](TTestDataSet& d) { d.Post(); }, "pests: Dataset not in edit or insert mode"},
      {"field write while browsing", open, [](TTestDataSet& d) { d.FieldByName("count").SetAsInteger(9); },
       "pests: Dataset not in edit or insert mode"},
      {"memo write while browsing", open, [](TTestDataSet& d) { d.FieldByName("notes").SetAsString("x"); },
       "pests: Dataset not in edit or insert mode"},
      {"unknown field", open, [](TTestDataSet& d) { d.FieldByName("nope"); }, "pests: Field 'nope' not found"},
      {"unknown field while closed", nullptr, [](TTestDataSet& d) { d.FieldByName("common"); },
       "pests: Field 'common' not found"},
      {"Edit of a read-only data set", [](TTestDataSet& d) { d.ReadOnlySource = true; d.Open(); },
       [](TTestDataSet& d) { d.Edit(); }, "pests: Cannot modify a read-only dataset"},
      {"Append to a read-only data set", [](TTestDataSet& d) { d.ReadOnlySource = true; d.Open(); },
       [](TTestDataSet& d) { d.Append(); }, "pests: Cannot modify a read-only dataset"},
      {"read-only field", [](TTestDataSet& d) { d.Open(); d.FieldByName("count").SetReadOnly(true); d.Edit(); },
       [](TTestDataSet& d) { d.FieldByName("count").SetAsInteger(1); }, "Field 'count' cannot be modified"},
      {"adding a field while open", open,
       [](TTestDataSet& d) { d.Fields().Add(std::make_unique<TStringField>()); },
       "pests: Cannot perform this operation on an open dataset"},
      {"bookmark of another size", open, [](TTestDataSet& d) { d.GotoBookmark(TBookmark{1, 2}); },
       "pests: Record not found"},
  };
  for (const Case& c : cases) {
    TTestDataSet dataSet("pests");
    dataSet.Columns = Pests.Columns;
    dataSet.Rows = Pests.Rows;
    if (c.Prepare) c.Prepare(dataSet);
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { c.Action(dataSet); }), c.Message) << c.What;
  }
}

TEST_F(DataSetTest, EventsFireInThePlatformOrder) {
  struct Case {
    const char* What;
    std::function<void(TDataSet&)> Prepare;
    std::function<void(TDataSet&)> Action;
    std::vector<std::string> Events;
  };
  const auto edit = [](TDataSet& d) { d.Edit(); };
  const std::vector<Case> cases = {
      {"Open", [](TDataSet& d) { d.Close(); }, [](TDataSet& d) { d.Open(); }, {"BeforeOpen", "AfterOpen", "AfterScroll"}},
      {"Close", nullptr, [](TDataSet& d) { d.Close(); }, {"BeforeClose", "AfterClose"}},
      {"Next", nullptr, [](TDataSet& d) { d.Next(); }, {"BeforeScroll", "AfterScroll"}},
      {"Next at Eof", [](TDataSet& d) { d.Last(); }, [](TDataSet& d) { d.Next(); }, {"BeforeScroll"}},
      {"Edit", nullptr, edit, {"BeforeEdit", "AfterEdit"}},
      {"Post", [](TDataSet& d) { d.Edit(); d.FieldByName("count").SetAsInteger(8); },
       [](TDataSet& d) { d.Post(); }, {"BeforePost", "AfterPost"}},
      {"Cancel", edit, [](TDataSet& d) { d.Cancel(); }, {"BeforeCancel", "AfterCancel"}},
      {"Insert", nullptr, [](TDataSet& d) { d.Insert(); },
       {"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"}},
      {"Append", nullptr, [](TDataSet& d) { d.Append(); },
       {"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"}},
      {"Delete", nullptr, [](TDataSet& d) { d.Delete(); }, {"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}},
      {"Refresh", nullptr, [](TDataSet& d) { d.Refresh(); }, {"BeforeRefresh", "AfterRefresh"}},
      {"Next posts a changed record", [](TDataSet& d) { d.Edit(); d.FieldByName("count").SetAsInteger(8); },
       [](TDataSet& d) { d.Next(); }, {"BeforePost", "AfterPost", "BeforeScroll", "AfterScroll"}},
      {"Next cancels an unchanged record", edit, [](TDataSet& d) { d.Next(); },
       {"BeforeCancel", "AfterCancel", "BeforeScroll", "AfterScroll"}},
      {"Delete while inserting cancels", [](TDataSet& d) { d.Insert(); }, [](TDataSet& d) { d.Delete(); },
       {"BeforeCancel", "AfterCancel"}},
  };
  for (const Case& c : cases) {
    TTestDataSet dataSet("pests");
    dataSet.Columns = Pests.Columns;
    dataSet.Rows = Pests.Rows;
    dataSet.Open();
    if (c.Prepare) c.Prepare(dataSet);
    std::vector<std::string> log;
    const auto hook = [&log](const char* name) { return [&log, name](TDataSet&) { log.push_back(name); }; };
    dataSet.BeforeOpen = hook("BeforeOpen");
    dataSet.AfterOpen = hook("AfterOpen");
    dataSet.BeforeClose = hook("BeforeClose");
    dataSet.AfterClose = hook("AfterClose");
    dataSet.BeforeInsert = hook("BeforeInsert");
    dataSet.AfterInsert = hook("AfterInsert");
    dataSet.BeforeEdit = hook("BeforeEdit");
    dataSet.AfterEdit = hook("AfterEdit");
    dataSet.BeforePost = hook("BeforePost");
    dataSet.AfterPost = hook("AfterPost");
    dataSet.BeforeCancel = hook("BeforeCancel");
    dataSet.AfterCancel = hook("AfterCancel");
    dataSet.BeforeDelete = hook("BeforeDelete");
    dataSet.AfterDelete = hook("AfterDelete");
    dataSet.BeforeScroll = hook("BeforeScroll");
    dataSet.AfterScroll = hook("AfterScroll");
    dataSet.BeforeRefresh = hook("BeforeRefresh");
    dataSet.AfterRefresh = hook("AfterRefresh");
    dataSet.OnNewRecord = hook("OnNewRecord");
    c.Action(dataSet);
    EXPECT_EQ(log, c.Events) << c.What;
  }
}

TEST_F(DataSetTest, PostCancelAndDeleteLeaveTheExpectedRecordCurrent) {
  struct Case {
    const char* What;
    std::function<void(TDataSet&)> Action;  // starts on the second record, "Psocid"
    std::vector<std::string> Rows;
    const char* Current;
    TDataSetState State;
  };
  const auto setCommon = [](TDataSet& d, const char* name) { d.FieldByName("common").SetAsString(name); };
  const std::vector<Case> cases = {
      {"edit and post", [&](TDataSet& d) { d.Edit(); setCommon(d, "Wasp"); d.Post(); },
       {"Spider", "Wasp", "psyllid", "Moth", "Beetle"}, "Wasp", TDataSetState::dsBrowse},
      {"edit and cancel", [&](TDataSet& d) { d.Edit(); setCommon(d, "Wasp"); d.Cancel(); },
       {"Spider", "Psocid", "psyllid", "Moth", "Beetle"}, "Psocid", TDataSetState::dsBrowse},
      {"insert and post", [&](TDataSet& d) { d.Insert(); setCommon(d, "Ant"); d.Post(); },
       {"Spider", "Ant", "Psocid", "psyllid", "Moth", "Beetle"}, "Ant", TDataSetState::dsBrowse},
      {"insert and cancel", [&](TDataSet& d) { d.Insert(); setCommon(d, "Ant"); d.Cancel(); },
       {"Spider", "Psocid", "psyllid", "Moth", "Beetle"}, "Psocid", TDataSetState::dsBrowse},
      {"append and post", [&](TDataSet& d) { d.Append(); setCommon(d, "Zebra"); d.Post(); },
       {"Spider", "Psocid", "psyllid", "Moth", "Beetle", "Zebra"}, "Zebra", TDataSetState::dsBrowse},
      {"append and cancel", [&](TDataSet& d) { d.Append(); setCommon(d, "Zebra"); d.Cancel(); },
       {"Spider", "Psocid", "psyllid", "Moth", "Beetle"}, "Beetle", TDataSetState::dsBrowse},
      {"delete", [](TDataSet& d) { d.Delete(); }, {"Spider", "psyllid", "Moth", "Beetle"}, "psyllid",
       TDataSetState::dsBrowse},
      {"delete the last", [](TDataSet& d) { d.Last(); d.Delete(); }, {"Spider", "Psocid", "psyllid", "Moth"}, "Moth",
       TDataSetState::dsBrowse},
      {"delete while editing", [&](TDataSet& d) { d.Edit(); setCommon(d, "Wasp"); d.Delete(); },
       {"Spider", "psyllid", "Moth", "Beetle"}, "psyllid", TDataSetState::dsBrowse},
      {"post fails on a required field", [&](TDataSet& d) {
         d.FieldByName("common").SetRequired(true);
         d.Append();
         EXPECT_EQ(MessageOf<EDatabaseError>([&] { d.Post(); }), "Field 'common' must have a value");
       },
       {"Spider", "Psocid", "psyllid", "Moth", "Beetle"}, "", TDataSetState::dsInsert},
  };
  for (const Case& c : cases) {
    TTestDataSet dataSet("pests");
    dataSet.Columns = Pests.Columns;
    dataSet.Rows = Pests.Rows;
    dataSet.Open();
    dataSet.Next();
    c.Action(dataSet);
    EXPECT_EQ(dataSet.State(), c.State) << c.What;
    EXPECT_EQ(dataSet.FieldByName("common").AsString(), c.Current) << c.What;
    if (dataSet.State() != TDataSetState::dsBrowse) dataSet.Cancel();
    EXPECT_EQ(Column(dataSet, "common"), c.Rows) << c.What;
  }
}

TEST_F(DataSetTest, NewRecordsTakeTheirDefaultsUnmodified) {
  Pests.OnNewRecord = [](TDataSet& d) { d.FieldByName("count").SetAsInteger(7); };
  Pests.Open();
  Pests.Append();
  EXPECT_EQ(Pests.FieldByName("count").AsInteger(), 7);
  EXPECT_TRUE(Pests.FieldByName("common").IsNull());
  EXPECT_FALSE(Pests.Modified());
  Pests.First();  // nothing typed: the new record is dropped
  EXPECT_EQ(Pests.RecordCount(), 5);
  Pests.Append();
  Pests.FieldByName("common").SetAsString("Ant");
  EXPECT_TRUE(Pests.Modified());
  Pests.First();  // typed: posted
  EXPECT_EQ(Pests.RecordCount(), 6);
  EXPECT_EQ(Pests.Rows.back().Values[0]->c_str(), std::string("Ant"));
}

TEST_F(DataSetTest, ErrorHandlersRetryAbortOrFail) {
  struct Case {
    TDataAction Action;
    int Failures;  // times the store fails before it works
    std::string Raised;  // message expected from Post, empty = none
    int Stored;
  };
  const std::vector<Case> cases = {
      {TDataAction::daRetry, 2, "", 9},
      {TDataAction::daFail, 1, "store failed", 1},
      {TDataAction::daAbort, 1, "Operation aborted", 1},
  };
  for (const Case& c : cases) {
    TTestDataSet dataSet("pests");
    dataSet.Columns = Pests.Columns;
    dataSet.Rows = Pests.Rows;
    dataSet.Open();
    dataSet.Next();
    int failures = c.Failures;
    dataSet.BeforeStore = [&failures] {
      if (failures-- > 0) throw EDatabaseError("store failed");
    };
    int calls = 0;
    dataSet.OnPostError = [&](TDataSet&, Exception& error, TDataAction& action) {
      EXPECT_EQ(error.Message(), "store failed");
      EXPECT_EQ(action, TDataAction::daFail);
      ++calls;
      action = c.Action;
    };
    dataSet.Edit();
    dataSet.FieldByName("count").SetAsInteger(9);
    if (c.Raised.empty()) {
      dataSet.Post();
      EXPECT_EQ(dataSet.State(), TDataSetState::dsBrowse);
    } else {
      EXPECT_EQ(MessageOf<Exception>([&] { dataSet.Post(); }), c.Raised);
      EXPECT_EQ(dataSet.State(), TDataSetState::dsEdit);  // still cancellable
      dataSet.Cancel();
    }
    EXPECT_EQ(calls, c.Failures);
    EXPECT_EQ(dataSet.FieldByName("count").AsInteger(), c.Stored);
  }
}

TEST_F(DataSetTest, BookmarksReturnToTheirRecordAndCompareInOrder) {
  Pests.Open();
  Pests.MoveBy(2);
  const TBookmark third = Pests.GetBookmark();
  ASSERT_EQ(third.size(), 4u);
  Pests.First();
  const TBookmark first = Pests.GetBookmark();
  Pests.GotoBookmark(third);
  EXPECT_EQ(Common(), "psyllid");
  EXPECT_LT(Pests.CompareBookmarks(first, third), 0);
  EXPECT_GT(Pests.CompareBookmarks(third, first), 0);
  EXPECT_EQ(Pests.CompareBookmarks(third, Pests.GetBookmark()), 0);
  EXPECT_TRUE(Pests.BookmarkValid(third));
  Pests.Delete();
  EXPECT_FALSE(Pests.BookmarkValid(third));
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Pests.GotoBookmark(third); }), "pests: Record not found");
  EXPECT_EQ(Common(), "Moth");  // a failed move keeps the current record
  Pests.Next();
  EXPECT_EQ(Common(), "Beetle");
  Pests.Insert();
  EXPECT_TRUE(Pests.GetBookmark().empty());
}

TEST_F(DataSetTest, RecNoFollowsTheCurrentRecordAndPositionsDirectly) {
  Pests.Open();
  EXPECT_EQ(Pests.RecNo(), 1);
  Pests.SetRecNo(4);
  EXPECT_EQ(Common(), "Moth");
  EXPECT_EQ(Pests.RecNo(), 4);
  Pests.Last();
  EXPECT_EQ(Pests.RecNo(), 5);
  Pests.Append();
  EXPECT_EQ(Pests.RecNo(), -1);
}

TEST_F(DataSetTest, LocateMatchesWholeOrPartialKeysWithOrWithoutCase) {
  using O = TLocateOption;
  struct Case {
    const char* Fields;
    std::vector<Variant> Values;
    TLocateOptions Options;
    const char* Found;  // nullptr = not found
  };
  const std::vector<Case> cases = {
      {"common", {Variant::FromString("ps")}, {O::loPartialKey, O::loCaseInsensitive}, "Psocid"},
      {"common", {Variant::FromString("ps")}, {O::loPartialKey}, "psyllid"},
      {"common", {Variant::FromString("PSY")}, {O::loPartialKey, O::loCaseInsensitive}, "psyllid"},
      {"common", {Variant::FromString("ps")}, {}, nullptr},
      {"common", {Variant::FromString("psocid")}, {}, nullptr},
      {"common", {Variant::FromString("psocid")}, {O::loCaseInsensitive}, "Psocid"},
      {"common", {Variant::FromString("Psocid")}, {}, "Psocid"},
      {"common", {Variant::FromString("Psocidae")}, {O::loPartialKey}, nullptr},
      {"common;count", {Variant::FromString("Moth"), Variant::FromInteger(3)}, {}, "Moth"},
      {"common;count", {Variant::FromString("Moth"), Variant::FromInteger(4)}, {}, nullptr},
      {"count", {Variant::FromString("5")}, {}, "psyllid"},
      {"count", {Variant::FromDouble(4)}, {}, "Beetle"},
      {"inspected", {Variant::FromString("4/4/2002")}, {}, "Psocid"},
      {"inspected", {Variant::FromDate(EncodeDate(2002, 5, 1))}, {}, "Beetle"},
      {"inspected", {Variant::Null()}, {}, "Moth"},
  };
  for (const Case& c : cases) {
    Pests.Close();
    Pests.Open();
    Pests.Last();
    const bool found = Pests.Locate(c.Fields, c.Values, c.Options);
    EXPECT_EQ(found, c.Found != nullptr) << c.Fields << " " << c.Values[0].AsString();
    EXPECT_EQ(Common(), c.Found != nullptr ? c.Found : "Beetle") << c.Fields << " " << c.Values[0].AsString();
  }
}

TEST_F(DataSetTest, LocateFiresTheScrollEventsAndLookupDoesNotMove) {
  Pests.Open();
  std::vector<std::string> log;
  Pests.BeforeScroll = [&](TDataSet&) { log.push_back("BeforeScroll"); };
  Pests.AfterScroll = [&](TDataSet&) { log.push_back("AfterScroll"); };
  EXPECT_FALSE(Pests.Locate("common", {Variant::FromString("Wasp")}, {}));
  EXPECT_EQ(log, std::vector<std::string>{"BeforeScroll"});
  EXPECT_TRUE(Pests.Locate("common", {Variant::FromString("Moth")}, {}));
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeScroll", "BeforeScroll", "AfterScroll"}));
  log.clear();
  const std::vector<Variant> values = Pests.Lookup("common", {Variant::FromString("Spider")}, "count;inspected");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].AsInt64(), 2);
  EXPECT_EQ(values[1].AsDouble(), EncodeDate(2002, 4, 1));
  EXPECT_EQ(Common(), "Moth");
  EXPECT_TRUE(log.empty());
  const std::vector<Variant> missing = Pests.Lookup("common", {Variant::FromString("Wasp")}, "count");
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_TRUE(missing[0].IsNull());
  Pests.Next();  // the cursor went back to the current record for the next move
  EXPECT_EQ(Common(), "Beetle");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Pests.Lookup("nope", {Variant::FromString("x")}, "count"); }),
            "pests: Field 'nope' not found");
}

TEST_F(DataSetTest, FindSearchesUseTheFilterWhileNotFiltered) {
  Pests.OnFilterRecord = [](TDataSet& d, bool& accept) { accept = d.FieldByName("count").AsInteger() >= 3; };
  Pests.Open();
  struct Step {
    std::function<bool(TDataSet&)> Find;
    bool Found;
    const char* Current;
  };
  const std::vector<Step> steps = {
      {[](TDataSet& d) { return d.FindFirst(); }, true, "psyllid"},
      {[](TDataSet& d) { return d.FindNext(); }, true, "Moth"},
      {[](TDataSet& d) { return d.FindNext(); }, true, "Beetle"},
      {[](TDataSet& d) { return d.FindNext(); }, false, "Beetle"},
      {[](TDataSet& d) { return d.FindPrior(); }, true, "Moth"},
      {[](TDataSet& d) { return d.FindLast(); }, true, "Beetle"},
      {[](TDataSet& d) { d.First(); return d.FindPrior(); }, false, "Spider"},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i].Find(Pests), steps[i].Found) << i;
    EXPECT_EQ(Pests.Found(), steps[i].Found) << i;
    EXPECT_EQ(Common(), steps[i].Current) << i;
  }
  EXPECT_FALSE(Pests.Filtered());
  EXPECT_EQ(Column(Pests, "common").size(), 5u);
}

TEST_F(DataSetTest, FilteringRunsOnFilterRecordAndMovesToTheFirstRecord) {
  Pests.Open();
  Pests.Next();  // Psocid, which the filter drops
  Pests.OnFilterRecord = [](TDataSet& d, bool& accept) {
    EXPECT_EQ(d.State(), TDataSetState::dsFilter);
    accept = d.FieldByName("common").AsString().find('o') != std::string::npos;
  };
  Pests.SetFiltered(true);
  EXPECT_EQ(Common(), "Psocid");  // first accepted record
  Pests.OnFilterRecord = [](TDataSet& d, bool& accept) { accept = d.FieldByName("count").AsInteger() > 2; };
  Pests.SetFiltered(true);
  EXPECT_EQ(Common(), "psyllid");
  EXPECT_EQ(Column(Pests, "common"), (std::vector<std::string>{"psyllid", "Moth", "Beetle"}));
  Pests.SetFiltered(false);
  EXPECT_EQ(Column(Pests, "common").size(), 5u);
  EXPECT_EQ(Pests.State(), TDataSetState::dsBrowse);
}

TEST_F(DataSetTest, RefreshRereadsTheCurrentRecordOrGoesToTheFirst) {
  Pests.Open();
  Pests.MoveBy(2);
  Pests.Rows[2].Values[1] = Int(50);  // changed behind the data set's back
  EXPECT_EQ(Pests.FieldByName("count").AsInteger(), 5);
  Pests.Refresh();
  EXPECT_EQ(Pests.FieldByName("count").AsInteger(), 50);
  EXPECT_EQ(Common(), "psyllid");
  Pests.Rows.erase(Pests.Rows.begin() + 2);
  Pests.Refresh();
  EXPECT_EQ(Common(), "Spider");
  EXPECT_TRUE(Pests.Bof());
}

TEST_F(DataSetTest, CalculatedFieldsFollowEachRecordAndEachChange) {
  Pests.Fields().Add(std::make_unique<TStringField>()).SetFieldName("common");
  Pests.Fields().Add(std::make_unique<TIntegerField>()).SetFieldName("count");
  auto& twice = Pests.Fields().Add(std::make_unique<TIntegerField>());
  twice.SetFieldName("twice");
  twice.SetFieldKind(TFieldKind::fkCalculated);
  int calculations = 0;
  Pests.OnCalcFields = [&](TDataSet& d) {
    EXPECT_EQ(d.State(), TDataSetState::dsCalcFields);
    ++calculations;
    if (!d.FieldByName("count").IsNull()) d.FieldByName("twice").SetAsInteger(d.FieldByName("count").AsInteger() * 2);
  };
  Pests.Open();
  EXPECT_EQ(Column(Pests, "twice"), (std::vector<std::string>{"4", "2", "10", "6", "8"}));
  Pests.First();
  Pests.Edit();
  Pests.FieldByName("count").SetAsInteger(21);
  EXPECT_EQ(twice.AsInteger(), 42);
  Pests.Cancel();
  EXPECT_EQ(twice.AsInteger(), 4);
  Pests.Append();
  EXPECT_TRUE(twice.IsNull());
  Pests.Cancel();
  Pests.SetAutoCalcFields(false);
  Pests.First();
  Pests.Edit();
  const int before = calculations;
  Pests.FieldByName("count").SetAsInteger(30);
  EXPECT_EQ(calculations, before);
  EXPECT_EQ(twice.AsInteger(), 4);
  Pests.Cancel();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { twice.SetAsInteger(1); }), "pests: Dataset not in edit or insert mode");
}

TEST_F(DataSetTest, PersistentFieldsKeepTheirOwnSizeAndSettings) {
  auto& common = Pests.Fields().Add(std::make_unique<TStringField>());
  common.SetFieldName("common");
  common.SetSize(4);
  common.SetDisplayLabel("COMMON");
  common.SetDisplayWidth(15);
  Pests.Fields().Add(std::make_unique<TIntegerField>()).SetFieldName("count");
  Pests.Open();
  EXPECT_FALSE(Pests.DefaultFields());
  EXPECT_EQ(Pests.FieldCount(), 2);
  EXPECT_EQ(Column(Pests, "common"), (std::vector<std::string>{"Spid", "Psoc", "psyl", "Moth", "Beet"}));
  Pests.First();
  Pests.Edit();
  common.SetAsString("Caterpillar");
  Pests.Post();
  EXPECT_STREQ(Pests.Rows[0].Values[0]->c_str(), "Cate");
  Pests.Close();
  ASSERT_EQ(Pests.FieldCount(), 2);
  EXPECT_EQ(&Pests.FieldByName("common"), &common);
  EXPECT_EQ(common.FieldNo(), 0);
  EXPECT_EQ(common.DisplayLabel(), "COMMON");
  EXPECT_EQ(common.DisplayWidth(), 15);
  EXPECT_EQ(Pests.FieldByName("count").DisplayLabel(), "count");
}

TEST_F(DataSetTest, BindingRefusesMissingColumnsAndOtherKinds) {
  struct Case {
    std::function<std::unique_ptr<TField>()> Make;
    const char* Name;
    std::string Message;
  };
  const std::vector<Case> cases = {
      {[] { return std::make_unique<TStringField>(); }, "species", "pests: Field 'species' not found"},
      {[] { return std::make_unique<TFloatField>(); }, "common",
       "pests: Type mismatch for field 'common', expecting: Float actual: String"},
      {[] { return std::make_unique<TBooleanField>(); }, "count",
       "pests: Type mismatch for field 'count', expecting: Boolean actual: Integer"},
  };
  for (const Case& c : cases) {
    TTestDataSet dataSet("pests");
    dataSet.Columns = Pests.Columns;
    dataSet.Fields().Add(c.Make()).SetFieldName(c.Name);
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { dataSet.Open(); }), c.Message);
    EXPECT_FALSE(dataSet.Active());
    EXPECT_EQ(dataSet.FieldCount(), 1);
  }
  // kinds of one class bind to each other: currency to float, auto-increment to integer
  TTestDataSet dataSet("pests");
  dataSet.Columns = {{"amount", TFieldType::ftFloat}, {"id", TFieldType::ftInteger}};
  dataSet.Fields().Add(std::make_unique<TCurrencyField>()).SetFieldName("amount");
  dataSet.Fields().Add(std::make_unique<TAutoIncField>()).SetFieldName("id");
  dataSet.Open();
  EXPECT_TRUE(dataSet.Active());
}

TEST_F(DataSetTest, SetKeyEditsTheKeyBufferOnly) {
  Pests.KeyField = "common";
  Pests.Open();
  Pests.SetKey();
  EXPECT_EQ(Pests.State(), TDataSetState::dsSetKey);
  EXPECT_TRUE(Pests.FieldByName("common").IsNull());
  Pests.FieldByName("common").SetAsString("Moth");
  Pests.Post();  // keeps the key
  EXPECT_EQ(Pests.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(Common(), "Spider");
  Pests.SetKey();
  EXPECT_EQ(Common(), "Moth");
  Pests.FieldByName("common").SetAsString("Beetle");
  Pests.Cancel();  // restores the key
  EXPECT_TRUE(Pests.GotoKey());
  EXPECT_EQ(Common(), "Moth");
  EXPECT_EQ(Pests.Rows[0].Values[0]->c_str(), std::string("Spider"));
}

TEST_F(DataSetTest, ReadRecordsShowsNeighboursWithoutMoving) {
  Pests.Open();
  Pests.MoveBy(2);  // psyllid
  struct Case {
    int32_t Offset;
    int32_t Count;
    std::vector<std::pair<int32_t, std::string>> Rows;
  };
  const std::vector<Case> cases = {
      {-1, 3, {{-1, "Psocid"}, {0, "psyllid"}, {1, "Moth"}}},
      {-5, 4, {{-2, "Spider"}}},
      {1, 5, {{1, "Moth"}, {2, "Beetle"}}},
      {2, 1, {{2, "Beetle"}}},
      {-2, 5, {{-2, "Spider"}, {-1, "Psocid"}, {0, "psyllid"}, {1, "Moth"}, {2, "Beetle"}}},
      {0, 0, {}},
  };
  int scrolls = 0;
  Pests.AfterScroll = [&](TDataSet&) { ++scrolls; };
  for (const Case& c : cases) {
    std::vector<std::pair<int32_t, std::string>> rows;
    const int32_t visited = Pests.ReadRecords(c.Offset, c.Count, [&](int32_t distance) { rows.emplace_back(distance, Common()); });
    EXPECT_EQ(rows, c.Rows) << c.Offset << "," << c.Count;
    EXPECT_EQ(visited, static_cast<int32_t>(c.Rows.size()));
    EXPECT_EQ(Common(), "psyllid");
  }
  EXPECT_EQ(scrolls, 0);
  Pests.Next();  // the cursor is put back before the next move
  EXPECT_EQ(Common(), "Moth");

  // pending edits show in the current row; a new record shows between its neighbours
  const auto around = [&] {
    std::vector<std::string> rows;
    Pests.ReadRecords(-1, 3, [&](int32_t) { rows.push_back(Common()); });
    return rows;
  };
  Pests.Edit();
  Pests.FieldByName("common").SetAsString("Mothra");
  EXPECT_EQ(around(), (std::vector<std::string>{"psyllid", "Mothra", "Beetle"}));
  Pests.Cancel();
  Pests.Insert();
  Pests.FieldByName("common").SetAsString("Ant");
  EXPECT_EQ(around(), (std::vector<std::string>{"psyllid", "Ant", "Moth"}));
  Pests.Cancel();
  Pests.Append();
  Pests.FieldByName("common").SetAsString("Zebra");
  EXPECT_EQ(around(), (std::vector<std::string>{"Beetle", "Zebra"}));
  Pests.Post();
  EXPECT_EQ(Column(Pests, "common").back(), "Zebra");
}

TEST(DataSetLargeTest, AScreenOfRowsCostsAScreenOfFetches) {
  TTestDataSet big("big");
  big.Columns = {{"n", TFieldType::ftInteger}};
  for (int32_t i = 1; i <= 100000; ++i) big.AddRow({Int(i)});
  big.Open();
  big.SetRecNo(50000);
  EXPECT_EQ(big.FieldByName("n").AsInteger(), 50000);
  big.GetRecordCalls = 0;
  std::vector<int32_t> seen;
  big.ReadRecords(-3, 25, [&](int32_t) { seen.push_back(big.FieldByName("n").AsInteger()); });
  ASSERT_EQ(seen.size(), 25u);
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], 49997 + static_cast<int32_t>(i));
  EXPECT_LE(big.GetRecordCalls, 26);
  big.GetRecordCalls = 0;
  const TBookmark mark = big.GetBookmark();
  big.MoveBy(20);
  big.GotoBookmark(mark);
  EXPECT_EQ(big.FieldByName("n").AsInteger(), 50000);
  EXPECT_LE(big.GetRecordCalls, 22);
}

}  // namespace
