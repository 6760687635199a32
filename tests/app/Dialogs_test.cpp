// The dialog service in scripted mode: answers by kind and order, refusals, the record.
#include "platform/ui/Dialogs.h"

#include "app/QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

class DialogsTest : public ::testing::Test {
protected:
  void SetUp() override { DialogService().Clear(); }
  void TearDown() override { DialogService().Clear(); }
};

// What a question call returned, in a comparable form.
struct TOutcome {
  bool Accepted;
  QString Text;
  bool operator==(const TOutcome&) const = default;
};

struct TScriptCase {
  const char* Name;
  std::vector<TDialogAnswer> Queue;
  std::vector<std::function<TOutcome()>> Calls;
  std::vector<TOutcome> Expected;
  std::vector<bool> Answered;  // per record
  std::size_t Left;            // answers still queued afterwards
};

TOutcome Confirm() { return {DialogService().Confirm(QStringLiteral("Go on ?")), {}}; }
TOutcome Input() {
  QString value = QStringLiteral("default");
  const bool ok = DialogService().InputQuery(QStringLiteral("Caption"), QStringLiteral("Prompt: "), value);
  return {ok, value};
}
TOutcome Save() {
  TSaveDialog dialog;
  dialog.SetFileName(QStringLiteral("before.csv"));
  const bool ok = dialog.Execute();
  return {ok, dialog.FileName()};
}

TEST_F(DialogsTest, QuestionsTakeTheNextAnswerOfTheirKind) {
  const std::vector<TScriptCase> cases = {
      {"yes then no", {TDialogAnswer::Yes(), TDialogAnswer::No()}, {Confirm, Confirm},
       {{true, {}}, {false, {}}}, {true, true}, 0},
      {"empty queue refuses", {}, {Confirm, Input, Save},
       {{false, {}}, {false, QStringLiteral("default")}, {false, QStringLiteral("before.csv")}},
       {false, false, false}, 0},
      {"wrong kind is not consumed", {TDialogAnswer::Input(QStringLiteral("typed"))}, {Confirm, Input},
       {{false, {}}, {true, QStringLiteral("typed")}}, {false, true}, 0},
      {"cancelled input keeps the default", {TDialogAnswer::InputCancel()}, {Input},
       {{false, QStringLiteral("default")}}, {true}, 0},
      {"save dialog takes the file", {TDialogAnswer::SaveFile(QStringLiteral("/tmp/x.csv")), TDialogAnswer::Yes()},
       {Save}, {{true, QStringLiteral("/tmp/x.csv")}}, {true}, 1},
      {"cancelled save keeps the name", {TDialogAnswer::FileCancel(TDialogKind::SaveFile)}, {Save},
       {{false, QStringLiteral("before.csv")}}, {true}, 0},
  };
  for (const TScriptCase& c : cases) {
    SCOPED_TRACE(c.Name);
    DialogService().Clear();
    for (const TDialogAnswer& a : c.Queue) DialogService().Enqueue(a);
    std::vector<TOutcome> got;
    for (const auto& call : c.Calls) got.push_back(call());
    EXPECT_EQ(got, c.Expected);
    ASSERT_EQ(DialogService().Shown().size(), c.Answered.size());
    for (std::size_t i = 0; i < c.Answered.size(); ++i) EXPECT_EQ(DialogService().Shown()[i].Answered, c.Answered[i]);
    EXPECT_EQ(DialogService().PendingAnswers(), c.Left);
  }
}

TEST_F(DialogsTest, MessagesAreRecordedExactlyAndTakeNoAnswer) {
  DialogService().Enqueue(TDialogAnswer::Yes());
  const QString text = QStringLiteral("First line.\rSecond line.");
  ShowMessage(text);
  DialogService().ShowError(QStringLiteral("Something failed"));
  ASSERT_EQ(DialogService().Shown().size(), 2u);
  EXPECT_EQ(DialogService().Shown()[0].Kind, TDialogKind::Information);
  EXPECT_EQ(DialogService().Shown()[0].Text, text);
  EXPECT_EQ(DialogService().Shown()[1].Kind, TDialogKind::Error);
  EXPECT_EQ(DialogService().Shown()[1].Text, QStringLiteral("Something failed"));
  EXPECT_EQ(DialogService().PendingAnswers(), 1u);
  EXPECT_TRUE(ConfirmYesNo(QStringLiteral("Still there ?")));
}

TEST_F(DialogsTest, InputBoxGivesTheTextOrTheDefault) {
  struct TCase {
    TDialogAnswer Answer;
    QString Expected;
  };
  const std::vector<TCase> cases = {
      {TDialogAnswer::Input(QStringLiteral("Beneficial")), QStringLiteral("Beneficial")},
      {TDialogAnswer::Input(QString()), QString()},
      {TDialogAnswer::InputCancel(), QStringLiteral("dflt")},
  };
  for (const TCase& c : cases) {
    DialogService().Clear();
    DialogService().Enqueue(c.Answer);
    EXPECT_EQ(InputBox(QStringLiteral("Add a new ECO TYPE"), QStringLiteral("Eco type: "), QStringLiteral("dflt")),
              c.Expected);
    ASSERT_EQ(DialogService().Shown().size(), 1u);
    EXPECT_EQ(DialogService().Shown()[0].Caption, QStringLiteral("Add a new ECO TYPE"));
    EXPECT_EQ(DialogService().Shown()[0].Text, QStringLiteral("Eco type: "));
  }
}

}  // namespace
