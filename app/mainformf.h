// Tmainform: the program's main window. It holds the top panel (sort order, search, the main
// buttons, the date filter), the entry fields of the current inspection, the record navigator,
// the progress bar and the grid, and the main menu. Its creation probes the program directory
// for write access; its first activation runs the start-up work; "&Quit " asks whether to save.
#pragma once

#include "platform/rtl/DateUtils.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

#include <QString>

#include <array>
#include <memory>
#include <string>

class QAction;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QSpinBox;
class TColorButton;
class TVersionInfo;
class TwwDBGrid;
class TwwDBNavigator;

// Process-wide state of the main window's unit.
extern std::string programdir;    // directory of the program file with its trailing '/'; set at creation
extern bool firsttime;            // true until the start-up work has run once
extern TDateTime startdate;       // date range of the last report or graph
extern TDateTime enddate;
extern std::string curline;       // the text line the CSV tokenizer is consuming

// Texts of the window.
inline constexpr const char* mainformcaption = "DOVORUR Dizu Rividuri - Pre-Release Version ";
inline constexpr const char* probefilename = "ostrelpests.tst";
inline constexpr const char* probefailedmessage =
    "UNABLE TO CONTINUE - the program must be run from a writeable directory.\r"
    "Please check with your systems admistrator.";
inline constexpr const char* savechangesquestion = "Save all changes ?";

// One column of the grid: the field it shows, its title and its width in characters.
struct TGridColumn {
  const char* FieldName;
  const char* DisplayLabel;
  int DisplayWidth;
};
inline constexpr std::array<TGridColumn, 10> dbgridcolumns = {{
    {"trapnum", "TRAP #", 8},   {"area", "AREA", 18},    {"location", "LOCATION", 18}, {"inspected", "DATE", 10},
    {"common", "COMMON", 15},   {"latin", "LATIN", 15},  {"count", "CNT", 6},          {"lifestage", "STAGE", 10},
    {"ecotype", "ECO TYPE", 10}, {"notes", "NOTES", 100},
}};

class Tmainform : public TForm {
  Q_OBJECT

public:
  explicit Tmainform(QWidget* owner = nullptr);  // owner: optional parent window (not owning)
  ~Tmainform() override;

  // Window events.
  void FormCreate() override;                      // program dir, year window, write probe, tables, caption
  void FormActivate() override;                    // start-up work on the first activation
  void FormCloseQuery(bool& canClose) override;    // the close box asks "Save all changes ?" too

  // Handlers of buttons, menu items and controls.
  virtual void quitbutClick();                     // "&Quit " and "E&xit"
  virtual void addbutClick();                      // "&Add Item" / "&Keep"
  virtual void quickreportbutClick(QObject* sender);  // reports and graph; sender: the button
  virtual void quickreportClick();                 // menu "Quick Report"
  virtual void quickgraphClick();                  // menu "Quck Graph"
  virtual void ColorButton1Click();                // "Edit Pest List"
  virtual void datefilterbutClick();               // "Apply Date Filter" / "Release Filter"
  virtual void sortby1Change();                    // a choice in "Sort data by:"
  virtual void dbgridTitleButtonClick(const QString& fieldName);  // a click on a column title
  virtual void ExporttoCommaSeparatedFile1Click();
  virtual void ImportfromCSF1Click();
  virtual void RemoveItem1Click();
  virtual void HowmanyrecordsdoIhave1Click();
  virtual void EditpestECOTYPElist1Click();
  virtual void LoadSamplePestData1Click();
  virtual void Clearcurrentpestdata1Click();
  virtual void Howtousethisprogram1Click();
  virtual void OpeningScreen1Click();

  // Routines.
  virtual void setuptables();       // creates the working tables and loads the inspection file
  virtual void dostartupstuff();    // the start-up work of the first activation
  virtual void saveworkingdata();   // writes the data files back (after Yes to "Save all changes ?")
  // Writes today's date into the probe file of programdir; false when that fails.
  bool writeprobe();

  // Controls and components; widgets are owned by the window (Qt parent).
  QMenuBar* MainMenu1 = nullptr;
  QMenu* File1 = nullptr;
  QMenu* Reports1 = nullptr;
  QMenu* Utilities1 = nullptr;
  QMenu* Help1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* quickreport = nullptr;
  QAction* quickgraph = nullptr;
  QAction* ExporttoCommaSeparatedFile1 = nullptr;
  QAction* ImportfromCSF1 = nullptr;
  QAction* RemoveItem1 = nullptr;
  QAction* HowmanyrecordsdoIhave1 = nullptr;
  QAction* EditpestECOTYPElist1 = nullptr;
  QAction* LoadSamplePestData1 = nullptr;
  QAction* Clearcurrentpestdata1 = nullptr;
  QAction* Howtousethisprogram1 = nullptr;
  QAction* OpeningScreen1 = nullptr;

  QFrame* Panel1 = nullptr;             // the grey top panel
  QLabel* sortbylabel = nullptr;        // "Sort data by:"
  QComboBox* sortby1 = nullptr;         // index names of the inspection table
  QLabel* searchlabel = nullptr;        // "Search for:"
  QLineEdit* incsearch1 = nullptr;      // incremental search
  TColorButton* quitbut = nullptr;      // "&Quit "
  TColorButton* addbut = nullptr;       // "&Add Item"
  TColorButton* quickreportbut = nullptr;  // "&Quick Report"
  TColorButton* quickgraphbut = nullptr;   // "Quick Graph"
  TColorButton* ColorButton1 = nullptr;    // "Edit Pest List"
  QGroupBox* GroupBox1 = nullptr;       // " Filter date range of displayed records "
  QLabel* egstartlabel = nullptr;       // "Filter by: Start"
  QDateEdit* egstart = nullptr;
  QLabel* egendlabel = nullptr;         // "End"
  QDateEdit* egend = nullptr;
  TColorButton* datefilterbut = nullptr;  // "Apply Date Filter"

  // The entry fields in tab order, and their labels in the same order.
  QDateEdit* edate = nullptr;           // inspected
  QComboBox* etrapnum = nullptr;        // trapnum
  QComboBox* etraparea = nullptr;       // area
  QComboBox* etraplocation = nullptr;   // location
  QComboBox* ecommon = nullptr;         // common
  QComboBox* elatin = nullptr;          // latin
  QSpinBox* ecount = nullptr;           // count
  QComboBox* elifestage = nullptr;      // lifestage
  QComboBox* eecotype = nullptr;        // ecotype
  QLineEdit* wwDBEdit1 = nullptr;       // notes
  std::array<QLabel*, 10> entrylabels{};

  TwwDBNavigator* wwDBNavigator1 = nullptr;
  QLabel* hintlabel = nullptr;          // "Click on the headings to change the sorting order."
  QProgressBar* progbar1 = nullptr;     // shown only while a data file is read or written
  TwwDBGrid* dbgrid = nullptr;          // the inspection records

  TOpenDialog OpenDialog1;              // CSV import file
  TSaveDialog SaveDialog1;              // CSV export file, default extension "csv"
  std::unique_ptr<TVersionInfo> VersionInfo1;  // the program file's version texts; owned

private:
  void createcontrols();
  void createmenu();

  bool Startingup_ = false;  // the start-up work is running (a nested activation waits for it)
  bool Quitting_ = false;    // "Save all changes ?" has been answered by the quit button
};

// The one instance, created first by the program body (not owned here).
extern Tmainform* mainform;
