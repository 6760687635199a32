// The main window: caption and version, the write probe, quit and the close box, the start-up
// work of the first activation, menu items and buttons reaching their handlers, the windows it
// opens, and its controls, texts, colours and layout.
#include "app/ColorButton.h"
#include "app/ecotypeeditf.h"
#include "app/helpf.h"
#include "app/mainformf.h"
#include "app/pestlisteditf.h"
#include "app/splashf.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/DBControls.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const QString DesignCaption = QStringLiteral("DOVORUR Dizu Rividuri - Pre-Release Version ");
const QString SaveQuestion = QStringLiteral("Save all changes ?");
const QString ProbeMessage = QStringLiteral(
    "UNABLE TO CONTINUE - the program must be run from a writeable directory.\r"
    "Please check with your systems admistrator.");

// Records every handler reached from a menu item, a button or a column title; runs none of them.
class Trecordingmainform : public Tmainform {
public:
  std::vector<std::string> Calls;
  QObject* Sender = nullptr;
  void quitbutClick() override { Calls.push_back("quitbutClick"); }
  void addbutClick() override { Calls.push_back("addbutClick"); }
  void quickreportbutClick(QObject* sender) override {
    Calls.push_back("quickreportbutClick");
    Sender = sender;
  }
  void quickreportClick() override {
    Calls.push_back("quickreportClick");
    Tmainform::quickreportClick();
  }
  void quickgraphClick() override {
    Calls.push_back("quickgraphClick");
    Tmainform::quickgraphClick();
  }
  void ColorButton1Click() override { Calls.push_back("ColorButton1Click"); }
  void datefilterbutClick() override { Calls.push_back("datefilterbutClick"); }
  void sortby1Change() override { Calls.push_back("sortby1Change"); }
  void dbgridTitleButtonClick(const QString& f) override { Calls.push_back("dbgridTitleButtonClick " + f.toStdString()); }
  void ExporttoCommaSeparatedFile1Click() override { Calls.push_back("ExporttoCommaSeparatedFile1Click"); }
  void ImportfromCSF1Click() override { Calls.push_back("ImportfromCSF1Click"); }
  void RemoveItem1Click() override { Calls.push_back("RemoveItem1Click"); }
  void HowmanyrecordsdoIhave1Click() override { Calls.push_back("HowmanyrecordsdoIhave1Click"); }
  void EditpestECOTYPElist1Click() override { Calls.push_back("EditpestECOTYPElist1Click"); }
  void LoadSamplePestData1Click() override { Calls.push_back("LoadSamplePestData1Click"); }
  void Clearcurrentpestdata1Click() override { Calls.push_back("Clearcurrentpestdata1Click"); }
  void Howtousethisprogram1Click() override { Calls.push_back("Howtousethisprogram1Click"); }
  void OpeningScreen1Click() override { Calls.push_back("OpeningScreen1Click"); }
};

// Counts the routines of creation, start-up and saving and runs them; saving can be made to fail.
class Tobservedmainform : public Tmainform {
public:
  int Setups = 0, Startups = 0, Saves = 0;
  bool FailSave = false;
  bool ReactivateDuringStartup = false;
  bool GridEnabledDuringStartup = true;
  void setuptables() override {
    ++Setups;
    Tmainform::setuptables();
  }
  void dostartupstuff() override {
    ++Startups;
    GridEnabledDuringStartup = dbgrid->isEnabled();
    if (ReactivateDuringStartup) FormActivate();
    Tmainform::dostartupstuff();
  }
  void saveworkingdata() override {
    ++Saves;
    if (FailSave) throw Exception("Cannot create file");
    Tmainform::saveworkingdata();
  }
};

class MainformTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    RunningProgram = Application->ExeName();
    FormatSettings() = TFormatSettings::EnUS();
    firsttime = true;
    DialogService().Clear();
    PlaceProgram(false);
  }
  void TearDown() override {
    Application->SetExeName(RunningProgram);
    DialogService().Clear();
  }

  // Puts the program file into the test directory: a copy of the running program (with its
  // version block) or a small file without one.
  void PlaceProgram(bool withVersion) {
    const QString path = Dir.filePath(QStringLiteral("ostrelpeststandard"));
    QFile::remove(path);
    if (withVersion) {
      ASSERT_TRUE(QFile::copy(RunningProgram, path));
    } else {
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("#!/bin/sh\n");
    }
    Application->SetExeName(path);
  }

  QStringList Files() const {
    return QDir(Dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  }
  QByteArray Probe() const {
    QFile f(Dir.filePath(QStringLiteral("ostrelpests.tst")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  std::vector<QString> ShownTexts() const {
    std::vector<QString> texts;
    for (const TDialogRecord& r : DialogService().Shown()) texts.push_back(r.Text);
    return texts;
  }

  QTemporaryDir Dir;
  QString RunningProgram;
};

void Activate(QWidget& w) {
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

// ---------------------------------------------------------------- creation

TEST_F(MainformTest, CaptionEndsInTheProgramFilesVersion) {
  struct TCase {
    const char* Name;
    bool ProgramHasVersion;
    QString Expected;
  };
  const std::vector<TCase> cases = {
      {"embedded version", true, DesignCaption + QStringLiteral(OSTREL_EXPECTED_FILE_VERSION)},
      {"program without version texts", false, DesignCaption},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    PlaceProgram(c.ProgramHasVersion);
    Tmainform w;
    EXPECT_EQ(w.windowTitle(), DesignCaption);
    w.AfterConstruction();
    EXPECT_EQ(w.windowTitle(), c.Expected);
  }
}

TEST_F(MainformTest, CreationSetsProgramDirYearWindowAndWritesTodayIntoTheProbe) {
  struct TCase {
    const char* Name;
    QByteArray Before;  // probe file content before the start; empty = no file
  };
  const std::vector<TCase> cases = {{"first start", QByteArray()}, {"probe of an earlier day", "1/1/1999\r\nmore\r\n"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    QFile::remove(Dir.filePath(QStringLiteral("ostrelpests.tst")));
    if (!c.Before.isEmpty()) {
      QFile f(Dir.filePath(QStringLiteral("ostrelpests.tst")));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(c.Before);
    }
    FormatSettings().TwoDigitYearCenturyWindow = 0;
    Tobservedmainform w;
    w.AfterConstruction();
    EXPECT_EQ(QString::fromStdString(programdir), Dir.path() + QLatin1Char('/'));
    EXPECT_EQ(FormatSettings().TwoDigitYearCenturyWindow, 50);
    EXPECT_EQ(Probe(), QByteArray::fromStdString(DateToStr(Date()) + "\r\n"));
    EXPECT_EQ(w.Setups, 1);
    EXPECT_TRUE(DialogService().Shown().empty());
  }
}

TEST_F(MainformTest, UnwritableDirectoryShowsTheMessageAndSkipsTablesAndCaption) {
  PlaceProgram(true);
  // A directory in the probe file's place makes the probe fail, whoever runs the test.
  ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("ostrelpests.tst")));
  Tobservedmainform w;
  w.AfterConstruction();
  EXPECT_EQ(ShownTexts(), std::vector<QString>{ProbeMessage});
  EXPECT_EQ(DialogService().Shown()[0].Kind, TDialogKind::Information);
  EXPECT_EQ(w.Setups, 0);
  EXPECT_EQ(w.windowTitle(), DesignCaption);
  w.show();
  EXPECT_TRUE(w.isVisible());
  w.hide();
}

// ---------------------------------------------------------------- activation

TEST_F(MainformTest, FirstActivationRunsTheStartupWorkOnceThenFocusesAddItem) {
  struct TCase {
    const char* Name;
    bool Reactivate;  // the start-up work itself leads to another activation
  };
  for (const TCase& c : {TCase{"plain", false}, TCase{"activation during the start-up work", true}}) {
    SCOPED_TRACE(c.Name);
    firsttime = true;
    Tobservedmainform w;
    w.ReactivateDuringStartup = c.Reactivate;
    w.AfterConstruction();
    Activate(w);
    EXPECT_EQ(w.Startups, 1);
    EXPECT_FALSE(w.GridEnabledDuringStartup);
    EXPECT_FALSE(firsttime);
    EXPECT_TRUE(w.addbut->hasFocus());
    EXPECT_TRUE(w.dbgrid->isEnabled());

    // Another window takes the focus; coming back runs the activation again, not the start-up.
    TForm other;
    Activate(other);
    w.egstart->setFocus();
    Activate(w);
    EXPECT_EQ(w.Startups, 1);
    EXPECT_TRUE(w.addbut->hasFocus());
    other.hide();
    w.hide();
  }
}

TEST_F(MainformTest, StartupWorkGivesTheColourButtonsTheStartupColour) {
  Tmainform w;
  w.AfterConstruction();
  EXPECT_EQ(w.datefilterbut->BackColor(), QColor(0xFF, 0xFF, 0x80));
  EXPECT_EQ(w.datefilterbut->HoverColor(), QColor(0xFC, 0xFF, 0xD2));
  Activate(w);
  const auto buttons = w.findChildren<TColorButton*>();
  ASSERT_EQ(buttons.size(), 6);
  for (TColorButton* b : buttons) {
    SCOPED_TRACE(b->objectName().toStdString());
    EXPECT_EQ(b->BackColor(), QColor(0xE4, 0xE6, 0xAE));
  }
  EXPECT_EQ(w.datefilterbut->HoverColor(), QColor(0xFC, 0xFF, 0xD2));
  for (QWidget* field : std::vector<QWidget*>{w.etrapnum, w.etraparea, w.etraplocation, w.elatin, w.elifestage,
                                              w.eecotype, w.ecount}) {
    EXPECT_EQ(field->height(), 28) << field->objectName().toStdString();
  }
  w.hide();
}

// ---------------------------------------------------------------- quit

TEST_F(MainformTest, QuitAndCloseBoxAskOnceAndOnlyYesSaves) {
  struct TCase {
    const char* Name;
    std::function<void(Tmainform&)> Close;
    bool Yes;
  };
  const std::vector<TCase> cases = {
      {"quit button, No", [](Tmainform& w) { w.quitbut->click(); }, false},
      {"quit button, Yes", [](Tmainform& w) { w.quitbut->click(); }, true},
      {"Exit menu item, No", [](Tmainform& w) { w.Exit1->trigger(); }, false},
      {"close box, No", [](Tmainform& w) { w.close(); }, false},
      {"close box, Yes", [](Tmainform& w) { w.close(); }, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    DialogService().Clear();
    Tobservedmainform w;
    w.AfterConstruction();
    const QStringList before = Files();
    w.show();
    DialogService().Enqueue(c.Yes ? TDialogAnswer::Yes() : TDialogAnswer::No());
    c.Close(w);
    EXPECT_EQ(ShownTexts(), std::vector<QString>{SaveQuestion});
    EXPECT_EQ(DialogService().Shown()[0].Kind, TDialogKind::Confirmation);
    EXPECT_TRUE(DialogService().Shown()[0].Answered);
    EXPECT_EQ(w.Saves, c.Yes ? 1 : 0);
    EXPECT_FALSE(w.isVisible());
    if (!c.Yes) {
      EXPECT_EQ(Files(), before);
    }
  }
}

TEST_F(MainformTest, AFailedSaveShowsTheErrorAndKeepsTheWindowOpen) {
  const std::vector<std::pair<const char*, std::function<void(Tmainform&)>>> cases = {
      {"quit button", [](Tmainform& w) { w.quitbut->click(); }},
      {"close box", [](Tmainform& w) { w.close(); }},
  };
  for (const auto& [name, closeit] : cases) {
    SCOPED_TRACE(name);
    DialogService().Clear();
    Tobservedmainform w;
    w.AfterConstruction();
    w.FailSave = true;
    w.show();
    DialogService().Enqueue(TDialogAnswer::Yes());
    closeit(w);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(ShownTexts(), (std::vector<QString>{SaveQuestion, QStringLiteral("Cannot create file")}));
    EXPECT_EQ(DialogService().Shown()[1].Kind, TDialogKind::Error);
    // Asked again, the next answer decides afresh.
    w.FailSave = false;
    DialogService().Enqueue(TDialogAnswer::No());
    closeit(w);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.Saves, 1);
  }
}

// ---------------------------------------------------------------- menu and buttons

TEST_F(MainformTest, MenuItemsInOrderReachTheirHandlers) {
  struct TItem {
    const char* Menu;
    const char* Item;
    std::vector<std::string> Calls;
    const char* Sender;  // object name of the sender quickreportbutClick gets; empty if not called
  };
  const std::vector<TItem> items = {
      {"&File", "E&xit", {"quitbutClick"}, ""},
      {"&Reports", "Quick Report", {"quickreportClick", "quickreportbutClick"}, "quickreportbut"},
      {"&Reports", "Quck Graph", {"quickgraphClick", "quickreportbutClick"}, "quickgraphbut"},
      {"&Utilities", "E&xport to CSV", {"ExporttoCommaSeparatedFile1Click"}, ""},
      {"&Utilities", "&Import from CSV", {"ImportfromCSF1Click"}, ""},
      {"&Utilities", "Remove Item", {"RemoveItem1Click"}, ""},
      {"&Utilities", "&How many records do I have?", {"HowmanyrecordsdoIhave1Click"}, ""},
      {"&Utilities", "Edit pest ECO TYPEs", {"EditpestECOTYPElist1Click"}, ""},
      {"&Utilities", "Load sample pest file", {"LoadSamplePestData1Click"}, ""},
      {"&Utilities", "Clear current pest data", {"Clearcurrentpestdata1Click"}, ""},
      {"&Help", "&How to use this program.", {"Howtousethisprogram1Click"}, ""},
      {"&Help", "&Opening Screen", {"OpeningScreen1Click"}, ""},
  };
  Trecordingmainform w;
  w.AfterConstruction();
  std::vector<std::pair<QString, QString>> found;
  std::vector<QAction*> actions;
  for (QAction* m : w.MainMenu1->actions()) {
    ASSERT_NE(m->menu(), nullptr);
    for (QAction* a : m->menu()->actions()) {
      found.emplace_back(m->text(), a->text());
      actions.push_back(a);
    }
  }
  ASSERT_EQ(found.size(), items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const TItem& item = items[i];
    SCOPED_TRACE(item.Item);
    EXPECT_EQ(found[i].first, QString::fromLatin1(item.Menu));
    EXPECT_EQ(found[i].second, QString::fromLatin1(item.Item));
    w.Calls.clear();
    w.Sender = nullptr;
    actions[i]->trigger();
    EXPECT_EQ(w.Calls, item.Calls);
    EXPECT_EQ(w.Sender == nullptr ? QString() : w.Sender->objectName(), QString::fromLatin1(item.Sender));
  }
}

TEST_F(MainformTest, ButtonsAndTitlesReachTheirHandlers) {
  Trecordingmainform w;
  w.AfterConstruction();
  struct TCase {
    const char* Name;
    std::function<void()> Act;
    std::vector<std::string> Calls;
    QObject* Sender;
  };
  const std::vector<TCase> cases = {
      {"quit", [&] { w.quitbut->click(); }, {"quitbutClick"}, nullptr},
      {"add", [&] { w.addbut->click(); }, {"addbutClick"}, nullptr},
      {"quick report", [&] { w.quickreportbut->click(); }, {"quickreportbutClick"}, w.quickreportbut},
      {"quick graph", [&] { w.quickgraphbut->click(); }, {"quickreportbutClick"}, w.quickgraphbut},
      {"edit pest list", [&] { w.ColorButton1->click(); }, {"ColorButton1Click"}, nullptr},
      {"date filter", [&] { w.datefilterbut->click(); }, {"datefilterbutClick"}, nullptr},
      {"sort choice", [&] { emit w.sortby1->activated(0); }, {"sortby1Change"}, nullptr},
      {"CNT title", [&] { emit w.dbgrid->horizontalHeader()->sectionClicked(6); }, {"dbgridTitleButtonClick count"}, nullptr},
      {"DATE title", [&] { emit w.dbgrid->horizontalHeader()->sectionClicked(3); }, {"dbgridTitleButtonClick inspected"}, nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    w.Calls.clear();
    w.Sender = nullptr;
    c.Act();
    EXPECT_EQ(w.Calls, c.Calls);
    EXPECT_EQ(w.Sender, c.Sender);
  }
}

// Runs `open`, which should show a window of class T modally; checks that it does, then closes it.
template <class T>
void ExpectModalWindow(const std::function<void()>& open, const std::function<void(T&)>& closeit,
                       const std::function<void(T&)>& inspect = {}) {
  QPointer<T> seen;
  bool wasModal = false;
  bool stuck = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* t = qobject_cast<T*>(top); t != nullptr && t->isVisible()) seen = t;
    }
    if (seen.isNull()) return;
    wasModal = seen->Modal();
    if (inspect) inspect(*seen);
    closeit(*seen);
  });
  QTimer::singleShot(5000, [&] {
    if (seen.isNull() || !seen->isVisible()) return;
    stuck = true;
    seen->hide();
  });
  open();
  EXPECT_FALSE(seen.isNull());
  EXPECT_FALSE(stuck);
  EXPECT_TRUE(wasModal);
}

TEST_F(MainformTest, WindowsReachedFromTheMainWindowAreShownModally) {
  Tmainform w;
  w.AfterConstruction();
  Thelp helpwindow;
  Tpestlistedit pestlistwindow;
  Tecotypeedit ecotypewindow;
  help = &helpwindow;
  pestlistedit = &pestlistwindow;
  ecotypeedit = &ecotypewindow;
  ExpectModalWindow<Thelp>([&] { w.Howtousethisprogram1->trigger(); }, [](Thelp& h) { h.closebut->click(); });
  EXPECT_FALSE(helpwindow.isVisible());
  ExpectModalWindow<Tpestlistedit>([&] { w.ColorButton1->click(); }, [](Tpestlistedit& p) { p.close(); });
  ExpectModalWindow<Tecotypeedit>([&] { w.EditpestECOTYPElist1->trigger(); }, [](Tecotypeedit& e) { e.close(); });
  help = nullptr;
  pestlistedit = nullptr;
  ecotypeedit = nullptr;
}

TEST_F(MainformTest, OpeningScreenFromTheMenuStaysUntilClosedAndIsThenDestroyed) {
  Tmainform w;
  w.AfterConstruction();
  QPointer<Tsplash> opened;
  bool timerRunning = true;
  bool stillOpenLater = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* s = qobject_cast<Tsplash*>(top); s != nullptr && s->isVisible()) opened = s;
    }
    if (opened.isNull()) return;
    timerRunning = opened->Timer1->isActive();
    QTimer::singleShot(300, opened, [&] {
      stillOpenLater = opened->isVisible() && opened->Modal();
      opened->closebut->click();
    });
  });
  QTimer::singleShot(5000, [&] {
    if (!opened.isNull()) opened->hide();
  });
  w.OpeningScreen1->trigger();
  EXPECT_FALSE(timerRunning);
  EXPECT_TRUE(stillOpenLater);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(opened.isNull());
}

// ---------------------------------------------------------------- controls

TEST_F(MainformTest, ControlsCarryTheirTextsAndSitWhereTheyBelong) {
  Tmainform w;
  w.AfterConstruction();
  EXPECT_EQ(w.size(), QSize(782, 575));
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0xFC, 0xFF, 0xD2));
  EXPECT_EQ(w.Panel1->palette().color(QPalette::Window), QColor(0xD7, 0xD7, 0xD7));

  struct TButton {
    TColorButton* Button;
    const char* Name;
    const char* Caption;
  };
  for (const TButton& b : std::vector<TButton>{{w.quitbut, "quitbut", "&Quit "},
                                               {w.addbut, "addbut", "&Add Item"},
                                               {w.quickreportbut, "quickreportbut", "&Quick Report"},
                                               {w.quickgraphbut, "quickgraphbut", "Quick Graph"},
                                               {w.ColorButton1, "ColorButton1", "Edit Pest List"},
                                               {w.datefilterbut, "datefilterbut", "Apply Date Filter"}}) {
    EXPECT_EQ(b.Button->objectName(), QString::fromLatin1(b.Name));
    EXPECT_EQ(b.Button->text(), QString::fromLatin1(b.Caption));
    EXPECT_TRUE(w.Panel1->isAncestorOf(b.Button)) << b.Name;
  }
  EXPECT_EQ(w.GroupBox1->title(), QStringLiteral(" Filter date range of displayed records "));
  for (QWidget* inGroup : std::vector<QWidget*>{w.egstart, w.egend, w.datefilterbut}) {
    EXPECT_TRUE(w.GroupBox1->isAncestorOf(inGroup)) << inGroup->objectName().toStdString();
  }
  for (QWidget* inPanel : std::vector<QWidget*>{w.sortby1, w.incsearch1, w.GroupBox1}) {
    EXPECT_TRUE(w.Panel1->isAncestorOf(inPanel)) << inPanel->objectName().toStdString();
  }

  // Every label names the control it stands for.
  struct TLabelled {
    const char* Label;
    QWidget* Field;
    const char* FieldName;
  };
  const std::vector<TLabelled> labelled = {
      {"Sort data by:", w.sortby1, "sortby1"},       {"Search for:", w.incsearch1, "incsearch1"},
      {"Filter by: Start", w.egstart, "egstart"},    {"End", w.egend, "egend"},
      {"Inspection Date", w.edate, "edate"},         {"Trap #:", w.etrapnum, "etrapnum"},
      {"Trap Area", w.etraparea, "etraparea"},       {"Trap Location", w.etraplocation, "etraplocation"},
      {"Common name", w.ecommon, "ecommon"},         {"Latin name", w.elatin, "elatin"},
      {"Count", w.ecount, "ecount"},                 {"Life Stage", w.elifestage, "elifestage"},
      {"Eco Type", w.eecotype, "eecotype"},          {"Notes", w.wwDBEdit1, "wwDBEdit1"},
  };
  const auto labels = w.findChildren<QLabel*>();
  for (const TLabelled& l : labelled) {
    SCOPED_TRACE(l.Label);
    QLabel* found = nullptr;
    for (QLabel* candidate : labels) {
      if (candidate->text() == QString::fromLatin1(l.Label)) found = candidate;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->buddy(), l.Field);
    EXPECT_EQ(l.Field->objectName(), QString::fromLatin1(l.FieldName));
  }
  EXPECT_EQ(w.hintlabel->text(), QStringLiteral("Click on the headings to change the sorting order."));
  EXPECT_EQ(w.SaveDialog1.DefaultExt(), QStringLiteral("csv"));
  EXPECT_EQ(w.ecount->singleStep(), 1);
  EXPECT_TRUE(w.edate->calendarPopup());
}

TEST_F(MainformTest, EntryFieldsFollowTheTabOrder) {
  Tmainform w;
  w.AfterConstruction();
  const std::vector<QWidget*> order = {w.edate, w.etrapnum, w.etraparea, w.etraplocation, w.ecommon,
                                       w.elatin, w.ecount, w.elifestage, w.eecotype, w.wwDBEdit1};
  const auto fieldOf = [&](QWidget* widget) -> QWidget* {
    for (QWidget* f : order) {
      if (widget == f || f->isAncestorOf(widget)) return f;
    }
    return nullptr;
  };
  std::vector<QWidget*> chain;
  QWidget* at = w.edate;
  for (int guard = 0; guard < 500 && chain.size() < order.size(); ++guard, at = at->nextInFocusChain()) {
    QWidget* field = fieldOf(at);
    if (field != nullptr && (at->focusPolicy() & Qt::TabFocus) && (chain.empty() || chain.back() != field)) {
      chain.push_back(field);
    }
  }
  EXPECT_EQ(chain, order);
}

TEST_F(MainformTest, NavigatorHasItsFourteenButtonsWithHints) {
  Tmainform w;
  w.AfterConstruction();
  const std::vector<QString> hints = {
      "Move to first record", "Move backward 10 records", "Move to prior record", "Move to next record",
      "Move forward 10 records", "Move to last record", "Insert new record", "Delete current record",
      "Edit current record", "Post changes of current record", "Cancel changes made to current record",
      "Refresh the contents of the dataset", "Bookmark current record", "Go back to saved bookmark"};
  const auto buttons = w.wwDBNavigator1->findChildren<QToolButton*>();
  ASSERT_EQ(buttons.size(), static_cast<qsizetype>(hints.size()));
  std::vector<TNavigateBtn> clicked;
  QObject::connect(w.wwDBNavigator1, &TwwDBNavigator::Click, [&](TNavigateBtn b) { clicked.push_back(b); });
  for (int i = 0; i < NavigateBtnCount; ++i) {
    const auto which = static_cast<TNavigateBtn>(i);
    EXPECT_EQ(w.wwDBNavigator1->Button(which)->toolTip(), hints[static_cast<std::size_t>(i)]);
    w.wwDBNavigator1->Button(which)->click();
    ASSERT_EQ(clicked.size(), static_cast<std::size_t>(i + 1));
    EXPECT_EQ(clicked.back(), which);
  }
  EXPECT_EQ(TwwDBNavigator::PageSize, 10);
}

TEST_F(MainformTest, GridHasItsColumnsTitleButtonsAndRowColours) {
  Tmainform w;
  w.AfterConstruction();
  struct TColumn {
    const char* Field;
    const char* Title;
    int Width;
  };
  const std::vector<TColumn> columns = {{"trapnum", "TRAP #", 8},   {"area", "AREA", 18},   {"location", "LOCATION", 18},
                                        {"inspected", "DATE", 10},  {"common", "COMMON", 15}, {"latin", "LATIN", 15},
                                        {"count", "CNT", 6},        {"lifestage", "STAGE", 10}, {"ecotype", "ECO TYPE", 10},
                                        {"notes", "NOTES", 100}};
  ASSERT_EQ(w.dbgrid->columnCount(), static_cast<int>(columns.size()));
  for (int i = 0; i < w.dbgrid->columnCount(); ++i) {
    const TColumn& c = columns[static_cast<std::size_t>(i)];
    SCOPED_TRACE(c.Field);
    EXPECT_EQ(w.dbgrid->ColumnFieldName(i), QString::fromLatin1(c.Field));
    EXPECT_EQ(w.dbgrid->horizontalHeaderItem(i)->text(), QString::fromLatin1(c.Title));
    EXPECT_EQ(w.dbgrid->columnWidth(i), DisplayWidthToPixels(w.dbgrid->fontMetrics(), c.Width));
  }
  EXPECT_TRUE(w.dbgrid->TitleButtons());
  EXPECT_TRUE(w.dbgrid->alternatingRowColors());
  EXPECT_EQ(w.dbgrid->AlternatingRowColor(), QColor(0xEF, 0xFE, 0xED));
  EXPECT_EQ(w.dbgrid->CurrentRowColor(), QColor(0xFF, 0x80, 0x80));
}

TEST_F(MainformTest, LayoutFitsTheWindowWithoutOverlaps) {
  Tmainform w;
  w.AfterConstruction();
  Activate(w);
  // The layout needs no more room than the window's design size.
  EXPECT_EQ(w.size(), QSize(782, 575)) << "minimum " << w.minimumSizeHint().width() << "x"
                                       << w.minimumSizeHint().height() << ", panel " << w.Panel1->minimumSizeHint().width()
                                       << ", group " << w.GroupBox1->minimumSizeHint().width();
  EXPECT_FALSE(w.progbar1->isVisible());
  std::vector<QWidget*> controls = {w.quitbut, w.addbut, w.quickreportbut, w.quickgraphbut, w.ColorButton1,
                                    w.sortby1, w.incsearch1, w.egstart, w.egend, w.datefilterbut,
                                    w.edate, w.etrapnum, w.etraparea, w.etraplocation, w.ecommon, w.elatin,
                                    w.ecount, w.elifestage, w.eecotype, w.wwDBEdit1, w.wwDBNavigator1,
                                    w.hintlabel, w.dbgrid};
  for (QLabel* label : w.findChildren<QLabel*>()) {
    if (label->isVisible() && label != w.hintlabel) controls.push_back(label);
  }
  const QRect window = w.rect();
  std::vector<QRect> rects;
  for (QWidget* c : controls) {
    const QRect r(c->mapTo(&w, QPoint(0, 0)), c->size());
    EXPECT_TRUE(window.contains(r)) << c->objectName().toStdString();
    rects.push_back(r);
    // Texts fit their controls.
    QString text;
    if (auto* b = qobject_cast<QPushButton*>(c)) text = b->text().remove(QLatin1Char('&'));
    if (auto* l = qobject_cast<QLabel*>(c)) text = l->text();
    if (!text.isEmpty()) {
      EXPECT_GE(c->width(), c->fontMetrics().horizontalAdvance(text)) << text.toStdString();
    }
  }
  for (std::size_t i = 0; i < rects.size(); ++i) {
    for (std::size_t j = i + 1; j < rects.size(); ++j) {
      EXPECT_FALSE(rects[i].intersects(rects[j]))
          << controls[i]->objectName().toStdString() << " overlaps " << controls[j]->objectName().toStdString();
    }
  }
  EXPECT_GE(w.dbgrid->height(), 150);
  w.hide();
}

}  // namespace
