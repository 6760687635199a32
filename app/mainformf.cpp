// The main window: controls, menu, creation, activation and quit.
#include "app/mainformf.h"

#include "app/ColorButton.h"
#include "app/UVersionInfo.h"
#include "app/ecotypeeditf.h"
#include "app/helpf.h"
#include "app/pestlisteditf.h"
#include "app/splashf.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/ui/DBControls.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <fstream>

std::string programdir;
bool firsttime = true;
TDateTime startdate = 0;
TDateTime enddate = 0;
std::string curline;
Tmainform* mainform = nullptr;

namespace {

const QColor FormColor(0xFC, 0xFF, 0xD2);
const QColor PanelColor(0xD7, 0xD7, 0xD7);
const QColor ButtonColor(0xE4, 0xE6, 0xAE);      // every colour button after start-up
const QColor FilterButtonColor(0xFF, 0xFF, 0x80);
const QColor AlternateRowColor(0xEF, 0xFE, 0xED);
const QColor CurrentRowColor(0xFF, 0x80, 0x80);
constexpr int EntryHeight = 28;

void SetBackground(QWidget* w, const QColor& color) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, color);
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

template <class T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QComboBox* LookupCombo(QWidget* parent, const char* name, int maxLength) {
  auto* c = Named(new QComboBox(parent), name);
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);
  c->lineEdit()->setMaxLength(maxLength);
  c->setFixedHeight(EntryHeight);
  return c;
}

QDateEdit* DatePicker(QWidget* parent, const char* name) {
  auto* d = Named(new QDateEdit(QDate::currentDate(), parent), name);
  d->setCalendarPopup(true);
  d->setDisplayFormat(QtDateFormat(FormatSettings().ShortDateFormat));
  d->setFixedHeight(EntryHeight);
  return d;
}

// The program directory of a program file: its absolute directory with a trailing '/'.
std::string ProgramDirOf(const QString& exeName) {
  QString dir = QFileInfo(exeName).absolutePath();
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return QFile::encodeName(dir).toStdString();
}

}  // namespace

Tmainform::Tmainform(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("mainform"));
  setWindowTitle(QString::fromLatin1(mainformcaption));
  resize(782, 575);
  SetBackground(this, FormColor);
  SaveDialog1.SetDefaultExt(QStringLiteral("csv"));
  createcontrols();
  createmenu();
  VersionInfo1 = std::make_unique<TVersionInfo>();
}

Tmainform::~Tmainform() {
  if (mainform == this) mainform = nullptr;
}

void Tmainform::createcontrols() {
  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(0, 0, 0, 0);
  form->setSpacing(0);

  // Top panel: the main buttons, sort order and search on the left, the date filter on the right.
  Panel1 = Named(new QFrame(this), "Panel1");
  Panel1->setFrameShape(QFrame::StyledPanel);
  Panel1->setFrameShadow(QFrame::Raised);
  SetBackground(Panel1, PanelColor);
  auto* panel = new QHBoxLayout(Panel1);
  panel->setContentsMargins(8, 6, 8, 6);
  panel->setSpacing(10);

  auto* left = new QVBoxLayout;
  left->setSpacing(8);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(6);
  const auto colorbutton = [this](const char* caption, const char* name) {
    auto* b = Named(new TColorButton(QString::fromLatin1(caption), Panel1), name);
    b->setFixedHeight(30);
    b->setMinimumWidth(88);
    return b;
  };
  quitbut = colorbutton("&Quit ", "quitbut");
  addbut = colorbutton("&Add Item", "addbut");
  quickreportbut = colorbutton("&Quick Report", "quickreportbut");
  quickgraphbut = colorbutton("Quick Graph", "quickgraphbut");
  ColorButton1 = colorbutton("Edit Pest List", "ColorButton1");
  for (TColorButton* b : {quitbut, addbut, quickreportbut, quickgraphbut, ColorButton1}) buttons->addWidget(b);
  buttons->addStretch(1);
  left->addLayout(buttons);

  // Sort order and search, one under the other, labels right-aligned against their fields.
  auto* find = new QGridLayout;
  find->setHorizontalSpacing(6);
  find->setVerticalSpacing(6);
  sortbylabel = Named(new QLabel(QStringLiteral("Sort data by:"), Panel1), "sortbylabel");
  sortby1 = Named(new QComboBox(Panel1), "sortby1");
  sortby1->setFixedHeight(26);
  searchlabel = Named(new QLabel(QStringLiteral("Search for:"), Panel1), "searchlabel");
  incsearch1 = Named(new QLineEdit(Panel1), "incsearch1");
  incsearch1->setFixedHeight(26);
  sortbylabel->setBuddy(sortby1);
  searchlabel->setBuddy(incsearch1);
  sortbylabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  searchlabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  find->addWidget(sortbylabel, 0, 0);
  find->addWidget(sortby1, 0, 1);
  find->addWidget(searchlabel, 1, 0);
  find->addWidget(incsearch1, 1, 1);
  find->setColumnStretch(1, 1);
  find->setColumnStretch(2, 1);
  left->addLayout(find);
  panel->addLayout(left, 1);

  GroupBox1 = Named(new QGroupBox(QStringLiteral(" Filter date range of displayed records "), Panel1), "GroupBox1");
  auto* filter = new QGridLayout(GroupBox1);
  filter->setContentsMargins(8, 4, 8, 6);
  filter->setHorizontalSpacing(6);
  filter->setVerticalSpacing(4);
  egstartlabel = Named(new QLabel(QStringLiteral("Filter by: Start"), GroupBox1), "egstartlabel");
  egstart = DatePicker(GroupBox1, "egstart");
  egendlabel = Named(new QLabel(QStringLiteral("End"), GroupBox1), "egendlabel");
  egend = DatePicker(GroupBox1, "egend");
  egstart->setFixedHeight(26);
  egend->setFixedHeight(26);
  egstartlabel->setBuddy(egstart);
  egendlabel->setBuddy(egend);
  datefilterbut = Named(new TColorButton(QStringLiteral("Apply Date Filter"), GroupBox1), "datefilterbut");
  datefilterbut->SetBackColor(FilterButtonColor);
  datefilterbut->SetHoverColor(FormColor);
  datefilterbut->setFixedHeight(28);
  egstartlabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  egendlabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  filter->addWidget(egstartlabel, 0, 0);
  filter->addWidget(egstart, 0, 1);
  filter->addWidget(egendlabel, 1, 0);
  filter->addWidget(egend, 1, 1);
  filter->addWidget(datefilterbut, 2, 0, 1, 2);
  panel->addWidget(GroupBox1, 0, Qt::AlignTop);
  form->addWidget(Panel1);

  // Entry area: labels over their fields, two rows of five.
  edate = DatePicker(this, "edate");
  etrapnum = LookupCombo(this, "etrapnum", 10);
  etraparea = LookupCombo(this, "etraparea", 30);
  etraplocation = LookupCombo(this, "etraplocation", 30);
  ecommon = LookupCombo(this, "ecommon", 30);
  elatin = LookupCombo(this, "elatin", 30);
  ecount = Named(new QSpinBox(this), "ecount");
  ecount->setRange(0, 99999999);
  ecount->setSingleStep(1);
  ecount->setFixedHeight(EntryHeight);
  elifestage = LookupCombo(this, "elifestage", 10);
  eecotype = LookupCombo(this, "eecotype", 15);
  wwDBEdit1 = Named(new QLineEdit(this), "wwDBEdit1");
  wwDBEdit1->setMaxLength(100);
  wwDBEdit1->setFixedHeight(EntryHeight);

  static const char* const Captions[10] = {"Inspection Date", "Trap #:", "Trap Area", "Trap Location",
                                           "Common name", "Latin name", "Count", "Life Stage", "Eco Type", "Notes"};
  const std::array<QWidget*, 10> fields = {edate, etrapnum, etraparea, etraplocation, ecommon,
                                           elatin, ecount, elifestage, eecotype, wwDBEdit1};
  // Each row is a grid of its own, so that the names and the notes get the room in both.
  static const int Stretch[10] = {2, 2, 4, 4, 4, 4, 1, 2, 3, 6};
  for (int rowno = 0; rowno < 2; ++rowno) {
    auto* entry = new QGridLayout;
    entry->setContentsMargins(8, rowno == 0 ? 6 : 2, 8, rowno == 0 ? 2 : 6);
    entry->setHorizontalSpacing(8);
    entry->setVerticalSpacing(1);
    for (int column = 0; column < 5; ++column) {
      const auto i = static_cast<std::size_t>(rowno * 5 + column);
      auto* label = new QLabel(QString::fromLatin1(Captions[i]), this);
      label->setObjectName(QStringLiteral("entrylabel%1").arg(i + 1));
      label->setBuddy(fields[i]);
      entrylabels[i] = label;
      entry->addWidget(label, 0, column);
      entry->addWidget(fields[i], 1, column);
      entry->setColumnStretch(column, Stretch[i]);
    }
    form->addLayout(entry);
  }
  for (int i = 0; i + 1 < 10; ++i) {
    setTabOrder(fields[static_cast<std::size_t>(i)], fields[static_cast<std::size_t>(i) + 1]);
  }

  // Navigator, hint and progress bar.
  auto* navrow = new QHBoxLayout;
  navrow->setContentsMargins(8, 2, 8, 4);
  navrow->setSpacing(10);
  wwDBNavigator1 = Named(new TwwDBNavigator(this), "wwDBNavigator1");
  hintlabel = Named(new QLabel(QStringLiteral("Click on the headings to change the sorting order."), this), "hintlabel");
  QFont hintfont = hintlabel->font();
  hintfont.setItalic(true);
  hintlabel->setFont(hintfont);
  progbar1 = Named(new QProgressBar(this), "progbar1");
  progbar1->setRange(0, 100);
  progbar1->setValue(0);
  progbar1->setTextVisible(false);
  progbar1->setFixedHeight(16);
  QSizePolicy keep = progbar1->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  progbar1->setSizePolicy(keep);
  progbar1->hide();
  navrow->addWidget(wwDBNavigator1);
  navrow->addWidget(hintlabel);
  navrow->addWidget(progbar1, 1);
  form->addLayout(navrow);

  // The grid of the inspection records along the bottom.
  dbgrid = Named(new TwwDBGrid(this), "dbgrid");
  for (const TGridColumn& c : dbgridcolumns) {
    dbgrid->AddColumn(QString::fromLatin1(c.FieldName), QString::fromLatin1(c.DisplayLabel), c.DisplayWidth);
  }
  dbgrid->SetTitleButtons(true);
  dbgrid->SetAlternatingRowColor(AlternateRowColor);
  dbgrid->SetCurrentRowColor(CurrentRowColor);
  form->addWidget(dbgrid, 1);

  // Handlers.
  const auto wire = [this](TColorButton* b, auto handler) {
    connect(b, &QPushButton::clicked, this, [this, handler] { CallHandler([this, handler] { (this->*handler)(); }); });
  };
  wire(quitbut, &Tmainform::quitbutClick);
  wire(addbut, &Tmainform::addbutClick);
  wire(ColorButton1, &Tmainform::ColorButton1Click);
  wire(datefilterbut, &Tmainform::datefilterbutClick);
  for (TColorButton* b : {quickreportbut, quickgraphbut}) {
    connect(b, &QPushButton::clicked, this, [this, b] { CallHandler([this, b] { quickreportbutClick(b); }); });
  }
  connect(sortby1, &QComboBox::activated, this, [this] { CallHandler([this] { sortby1Change(); }); });
  connect(dbgrid, &TwwDBGrid::TitleButtonClick, this,
          [this](const QString& field) { CallHandler([this, &field] { dbgridTitleButtonClick(field); }); });
}

void Tmainform::createmenu() {
  MainMenu1 = Named(new QMenuBar(this), "MainMenu1");
  layout()->setMenuBar(MainMenu1);
  const auto menu = [this](const char* title, const char* name) {
    QMenu* m = MainMenu1->addMenu(QString::fromLatin1(title));
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };
  const auto item = [this](QMenu* m, const char* caption, const char* name, void (Tmainform::*handler)()) {
    QAction* a = m->addAction(QString::fromLatin1(caption));
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, [this, handler] { CallHandler([this, handler] { (this->*handler)(); }); });
    return a;
  };
  File1 = menu("&File", "File1");
  Exit1 = item(File1, "E&xit", "Exit1", &Tmainform::quitbutClick);
  Reports1 = menu("&Reports", "Reports1");
  quickreport = item(Reports1, "Quick Report", "quickreport", &Tmainform::quickreportClick);
  quickgraph = item(Reports1, "Quck Graph", "quickgraph", &Tmainform::quickgraphClick);
  Utilities1 = menu("&Utilities", "Utilities1");
  ExporttoCommaSeparatedFile1 =
      item(Utilities1, "E&xport to CSV", "ExporttoCommaSeparatedFile1", &Tmainform::ExporttoCommaSeparatedFile1Click);
  ImportfromCSF1 = item(Utilities1, "&Import from CSV", "ImportfromCSF1", &Tmainform::ImportfromCSF1Click);
  RemoveItem1 = item(Utilities1, "Remove Item", "RemoveItem1", &Tmainform::RemoveItem1Click);
  HowmanyrecordsdoIhave1 = item(Utilities1, "&How many records do I have?", "HowmanyrecordsdoIhave1",
                                &Tmainform::HowmanyrecordsdoIhave1Click);
  EditpestECOTYPElist1 =
      item(Utilities1, "Edit pest ECO TYPEs", "EditpestECOTYPElist1", &Tmainform::EditpestECOTYPElist1Click);
  LoadSamplePestData1 =
      item(Utilities1, "Load sample pest file", "LoadSamplePestData1", &Tmainform::LoadSamplePestData1Click);
  Clearcurrentpestdata1 =
      item(Utilities1, "Clear current pest data", "Clearcurrentpestdata1", &Tmainform::Clearcurrentpestdata1Click);
  Help1 = menu("&Help", "Help1");
  Howtousethisprogram1 =
      item(Help1, "&How to use this program.", "Howtousethisprogram1", &Tmainform::Howtousethisprogram1Click);
  OpeningScreen1 = item(Help1, "&Opening Screen", "OpeningScreen1", &Tmainform::OpeningScreen1Click);
}

// ---------------------------------------------------------------- creation, activation, quit

void Tmainform::FormCreate() {
  programdir = ProgramDirOf(Application != nullptr ? Application->ExeName() : QString());
  FormatSettings().TwoDigitYearCenturyWindow = 50;
  if (!writeprobe()) {
    ShowMessage(QString::fromLatin1(probefailedmessage));
    return;
  }
  setuptables();
  setWindowTitle(windowTitle() + VersionInfo1->FileVersion());
}

bool Tmainform::writeprobe() {
  try {
    const std::string line = DateToStr(Date());
    std::ofstream probe(programdir + probefilename, std::ios::binary | std::ios::trunc);
    if (!probe) return false;
    probe << line << "\r\n";
    probe.close();
    return !probe.fail();
  } catch (const std::exception&) {
    return false;
  }
}

void Tmainform::FormActivate() {
  if (Startingup_) return;  // the start-up work is still running (a message box of it closed)
  dbgrid->setEnabled(false);
  if (firsttime) {
    Startingup_ = true;
    struct TStartGuard {
      bool& Flag;
      ~TStartGuard() { Flag = false; }
    } guard{Startingup_};
    dostartupstuff();
    firsttime = false;
  }
  addbut->setFocus();
  dbgrid->setEnabled(true);
}

void Tmainform::quitbutClick() {
  if (ConfirmYesNo(QString::fromLatin1(savechangesquestion))) saveworkingdata();
  Quitting_ = true;
  close();
}

void Tmainform::FormCloseQuery(bool& canClose) {
  canClose = true;
  if (Quitting_) return;
  // Closing by the close box must not throw away the user's work silently: the same question.
  if (ConfirmYesNo(QString::fromLatin1(savechangesquestion))) saveworkingdata();
}

void Tmainform::setuptables() {
  // The working tables and the loading of the inspection file come with the data layer.
}

void Tmainform::dostartupstuff() {
  // Styling of the start-up work: every colour button in the start-up colour, the plain
  // lookup fields and the eco type and count fields 28 pixels high.
  for (TColorButton* b : findChildren<TColorButton*>()) b->SetBackColor(ButtonColor);
  for (QWidget* w : std::initializer_list<QWidget*>{etrapnum, etraparea, etraplocation, elatin, elifestage,
                                                    eecotype, ecount}) {
    w->setFixedHeight(EntryHeight);
  }
}

void Tmainform::saveworkingdata() {
  // Writing the three data files comes with the data layer.
}

// ---------------------------------------------------------------- windows reached from here

void Tmainform::ColorButton1Click() {
  if (pestlistedit != nullptr) pestlistedit->ShowModal();
}

void Tmainform::EditpestECOTYPElist1Click() {
  if (ecotypeedit != nullptr) ecotypeedit->ShowModal();
}

void Tmainform::Howtousethisprogram1Click() {
  if (help != nullptr) help->ShowModal();
}

void Tmainform::OpeningScreen1Click() {
  Tsplash opening;
  opening.AfterConstruction();
  opening.Timer1->stop();
  opening.CenterOnScreen();
  opening.ShowModal();
}

void Tmainform::quickreportClick() { quickreportbutClick(quickreportbut); }

void Tmainform::quickgraphClick() { quickreportbutClick(quickgraphbut); }

// ---------------------------------------------------------------- handlers of the data layer

// These handlers work on the working tables, which come with the data layer; until then a
// click reaches them and changes nothing.
void Tmainform::addbutClick() {}
void Tmainform::quickreportbutClick(QObject*) {}
void Tmainform::datefilterbutClick() {}
void Tmainform::sortby1Change() {}
void Tmainform::dbgridTitleButtonClick(const QString&) {}
void Tmainform::ExporttoCommaSeparatedFile1Click() {}
void Tmainform::ImportfromCSF1Click() {}
void Tmainform::RemoveItem1Click() {}
void Tmainform::HowmanyrecordsdoIhave1Click() {}
void Tmainform::LoadSamplePestData1Click() {}
void Tmainform::Clearcurrentpestdata1Click() {}
