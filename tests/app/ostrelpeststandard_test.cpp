// The program start: the splash first, the title, the nine windows in their order, each
// centred; the start-up splash stays on top and its timer closes it.
#include "app/ColorButton.h"
#include "app/detail1f.h"
#include "app/ecotypeeditf.h"
#include "app/getstartenddatef.h"
#include "app/graph1f.h"
#include "app/helpf.h"
#include "app/mainformf.h"
#include "app/ostrelpeststandard.h"
#include "app/pestlisteditf.h"
#include "app/pestprintf.h"
#include "app/splashf.h"
#include "app/summary1f.h"

#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTest>
#include <QTimer>

#include "app/QtPrinters.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class ProgramStartTest : public ::testing::Test {
protected:
  // The program is started once per test program run, from a directory of its own.
  static void SetUpTestSuite() {
    Dir = std::make_unique<QTemporaryDir>();
    const QString program = Dir->filePath(QStringLiteral("ostrelpeststandard"));
    QFile::copy(Application->ExeName(), program);
    Application->SetExeName(program);
    StartProgram(*Application);
  }
  static void TearDownTestSuite() { Dir.reset(); }
  static std::unique_ptr<QTemporaryDir> Dir;
};
std::unique_ptr<QTemporaryDir> ProgramStartTest::Dir;

Tsplash* StartupSplash() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (auto* s = qobject_cast<Tsplash*>(top)) return s;
  }
  return nullptr;
}

TEST_F(ProgramStartTest, TitleAndWindowsInTheirOrderEachCentred) {
  EXPECT_EQ(Application->Title(), QStringLiteral("Dovorur Dizu Rividuri Standard"));
  struct TWindow {
    const char* Class;
    TForm* Instance;
  };
  const std::vector<TWindow> expected = {
      {"Tmainform", mainform},       {"Tpestprint", pestprint},          {"Tecotypeedit", ecotypeedit},
      {"Tpestlistedit", pestlistedit}, {"Thelp", help},                 {"Tgetstartenddate", getstartenddate},
      {"Tdetail1", detail1},         {"Tsummary1", summary1},            {"Tgraph1", graph1},
  };
  const std::vector<TForm*> forms = Application->Forms();
  ASSERT_EQ(forms.size(), expected.size());
  EXPECT_EQ(Application->MainForm(), mainform);
  const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
  for (std::size_t i = 0; i < forms.size(); ++i) {
    SCOPED_TRACE(expected[i].Class);
    EXPECT_STREQ(forms[i]->metaObject()->className(), expected[i].Class);
    EXPECT_EQ(forms[i], expected[i].Instance);
    const QPoint offset = forms[i]->geometry().center() - centre;
    EXPECT_LE(offset.manhattanLength(), 2);
  }
  // The main window was created in the program's directory: its probe file is there.
  EXPECT_TRUE(QFile::exists(Dir->filePath(QStringLiteral("ostrelpests.tst"))));
}

TEST_F(ProgramStartTest, WindowCaptionsAndSizes) {
  struct TCase {
    TForm* Window;
    const char* Caption;
    QSize Size;  // empty: not fixed
  };
  const std::vector<TCase> cases = {
      {help, "Dovorur Pest Standard Help", QSize(823, 566)},
      {graph1, "Dovorur Dizu Rividuri", QSize(846, 640)},
      {pestlistedit, "Pest List Editor", QSize(668, 493)},
      {ecotypeedit, "ECO TYPE EDIT", QSize(289, 420)},
      {getstartenddate, "Get START & END Dates", QSize()},
      {detail1, "Ostrelpests Quick Report", QSize()},
      {pestprint, "Pest Print", QSize()},
      {mainform, nullptr, QSize(782, 575)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Window->objectName().toStdString());
    if (c.Caption != nullptr) {
      EXPECT_EQ(c.Window->windowTitle(), QString::fromLatin1(c.Caption));
    }
    if (!c.Size.isEmpty()) {
      EXPECT_EQ(c.Window->size(), c.Size);
    }
  }
  EXPECT_TRUE(mainform->windowTitle().endsWith(QStringLiteral(OSTREL_EXPECTED_FILE_VERSION)));
}

TEST_F(ProgramStartTest, TheStartupSplashIsShownOnTopAndItsTimerClosesIt) {
  Tsplash* splash = StartupSplash();
  ASSERT_NE(splash, nullptr);
  EXPECT_TRUE(splash->isVisible());
  EXPECT_FALSE(splash->Modal());
  EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(splash->windowTitle(), QStringLiteral("DOVORUR Dedi Dazadiravo Standard"));
  EXPECT_EQ(splash->size(), QSize(694, 510));
  EXPECT_TRUE(splash->Timer1->isActive());
  EXPECT_EQ(splash->Timer1->interval(), 20000);
  EXPECT_EQ(splash->closebut->text(), QStringLiteral("&CLOSE THIS WINDOW"));
  EXPECT_TRUE(splash->RichEdit1->isReadOnly());
  // The same timer, made short: its firing stops it and closes the window.
  splash->Timer1->setInterval(20);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !splash->isVisible(); }, 3000));
  EXPECT_FALSE(splash->Timer1->isActive());
}

}  // namespace
