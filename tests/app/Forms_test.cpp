// Windows and the application object: creation order and handlers, modal results, closing,
// the default handler for errors raised by handlers.
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

#include <QTest>
#include <QTimer>

#include "app/QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Events;  // handler calls of the windows below, in order

class Tfirstform : public TForm {
public:
  void FormCreate() override { Events.push_back("first create"); }
};

class Tsecondform : public TForm {
public:
  void FormCreate() override { Events.push_back("second create"); }
  void FormCloseQuery(bool& canClose) override {
    Events.push_back("close query");
    canClose = AllowClose;
  }
  void FormClose() override { Events.push_back("close"); }
  bool AllowClose = true;
};

class FormsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Events.clear();
    DialogService().Clear();
  }
};

TEST_F(FormsTest, CreateFormKeepsOrderMakesTheFirstTheMainWindowAndClosingItEndsTheLoop) {
  ASSERT_EQ(Application->MainForm(), nullptr);
  Tfirstform* first = nullptr;
  Tsecondform* second = nullptr;
  Application->CreateForm(first);
  Application->CreateForm(second);
  EXPECT_EQ(Events, (std::vector<std::string>{"first create", "second create"}));
  EXPECT_EQ(Application->Forms(), (std::vector<TForm*>{first, second}));
  EXPECT_EQ(Application->MainForm(), first);

  // Closing a window that is not the main one leaves the loop running; closing the main one ends it.
  bool secondClosedWhileRunning = false;
  first->show();
  QTimer::singleShot(0, [&] {
    second->show();
    second->close();
  });
  QTimer::singleShot(50, [&] {
    secondClosedWhileRunning = !second->isVisible();
    first->close();
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  bool timedOut = false;
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    timedOut = true;
    Application->quit();
  });
  watchdog.start(5000);
  Application->Run();
  EXPECT_FALSE(timedOut);
  EXPECT_TRUE(secondClosedWhileRunning);
  EXPECT_FALSE(first->isVisible());
}

TEST_F(FormsTest, ShowModalEndsWithTheModalResultOrCancel) {
  struct TCase {
    const char* Name;
    TModalResult Set;  // None: the window is closed instead
    TModalResult Expected;
  };
  const std::vector<TCase> cases = {
      {"OK", TModalResult::OK, TModalResult::OK},
      {"Yes", TModalResult::Yes, TModalResult::Yes},
      {"closed", TModalResult::None, TModalResult::Cancel},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Events.clear();
    Tsecondform form;
    bool modalWhileShown = false;
    QTimer::singleShot(0, &form, [&] {
      modalWhileShown = form.Modal() && form.isVisible() && form.isModal();
      if (c.Set == TModalResult::None) form.close();
      else form.SetModalResult(c.Set);
    });
    EXPECT_EQ(form.ShowModal(), c.Expected);
    EXPECT_TRUE(modalWhileShown);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Modal());
    EXPECT_EQ(Events, (std::vector<std::string>{"close query", "close"}));
  }
}

TEST_F(FormsTest, ARefusedCloseKeepsTheWindowOpen) {
  Tsecondform form;
  form.AllowClose = false;
  form.show();
  EXPECT_FALSE(form.close());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(Events, (std::vector<std::string>{"close query"}));
  form.AllowClose = true;
  EXPECT_TRUE(form.close());
  EXPECT_FALSE(form.isVisible());
}

TEST_F(FormsTest, HandlerErrorsGoToTheDefaultHandler) {
  struct TCase {
    const char* Name;
    std::function<void()> Handler;
    bool Completes;
    QString Shown;  // error message; empty when none
  };
  const std::vector<TCase> cases = {
      {"normal", [] {}, true, QString()},
      {"run-time error in the code page", [] { throw EConvertError("'caf\xE9' is not a valid date"); }, false,
       QStringLiteral("'caf\u00E9' is not a valid date")},
      {"standard exception", [] { throw std::runtime_error("plain"); }, false, QStringLiteral("plain")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    DialogService().Clear();
    EXPECT_EQ(CallHandler(c.Handler), c.Completes);
    if (c.Shown.isEmpty()) {
      EXPECT_TRUE(DialogService().Shown().empty());
    } else {
      ASSERT_EQ(DialogService().Shown().size(), 1u);
      EXPECT_EQ(DialogService().Shown()[0].Kind, TDialogKind::Error);
      EXPECT_EQ(DialogService().Shown()[0].Text, c.Shown);
    }
  }
}

TEST_F(FormsTest, AFailingCloseQueryKeepsTheWindowAndShowsTheError) {
  class Tfailing : public TForm {
  public:
    void FormCloseQuery(bool&) override { throw Exception("cannot write"); }
  } form;
  form.show();
  EXPECT_FALSE(form.close());
  EXPECT_TRUE(form.isVisible());
  ASSERT_EQ(DialogService().Shown().size(), 1u);
  EXPECT_EQ(DialogService().Shown()[0].Text, QStringLiteral("cannot write"));
  form.hide();
}

}  // namespace
