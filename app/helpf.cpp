// The help window and its pages.
#include "app/helpf.h"

#include "app/ColorButton.h"

#include <QHBoxLayout>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

Thelp* help = nullptr;

namespace {

struct THelpPage {
  const char* Title;
  const char* Html;
};

const THelpPage HelpPages[5] = {
    {"About Dovorur Dedi Dazadiravo",
     "<h2>About Dovorur Dedi Dazadiravo</h2>"
     "<p>Dovorur Dedi Dazadiravo helps collections staff run an integrated pest management "
     "programme. Every time you check your insect traps you record what you found: the date of the "
     "inspection, the trap, the pest with its count, and any notes. Over months the records show "
     "where pests live in the building, when they are active and whether your measures work.</p>"
     "<p>From the records the program produces</p>"
     "<ul>"
     "<li>a <b>detail report</b> of all inspections grouped by pest, with a subtotal per pest,</li>"
     "<li>a <b>summary report</b> of the total count per pest over a date range, highest first,</li>"
     "<li>a <b>graph</b> of the five pests with the highest counts over a date range.</li>"
     "</ul>"
     "<p><b>Tip for the first start:</b> records already on view at the first start are samples for "
     "trying every function. Before you enter your own inspections, choose <b>Clear Current Pest "
     "Data</b> in the <b>Utilities</b> menu to remove them.</p>"
     "<p>Records can also be exchanged with spreadsheets and other programs; see the page "
     "<b>Export/Importing</b>.</p>"},
    {"Adding/Deleteing Records",
     "<h2>Adding and deleting records</h2>"
     "<p>To add an inspection, click <b>Add Item</b>. The cursor moves to the inspection date; fill "
     "in the fields one after the other, moving on with the <b>TAB</b> key, and click <b>Keep</b> to "
     "store the record.</p>"
     "<table cellpadding=\"3\">"
     "<tr><td><b>Inspection Date</b></td><td>the day the trap was checked.</td></tr>"
     "<tr><td><b>Trap #</b></td><td>the number of the trap position. It names a place where a trap "
     "stands rather than the physical trap, so a replaced trap keeps its number.</td></tr>"
     "<tr><td><b>Trap Area</b></td><td>the part of the building, for example a floor or a wing.</td></tr>"
     "<tr><td><b>Trap Location</b></td><td>the room or spot within the area.</td></tr>"
     "<tr><td><b>Common name</b></td><td>the pest's everyday name, chosen from your pest list; the "
     "latin name and eco type are filled in from the list when you leave the field.</td></tr>"
     "<tr><td><b>Latin name</b></td><td>the scientific name of the pest.</td></tr>"
     "<tr><td><b>Count</b></td><td>how many were found in the trap.</td></tr>"
     "<tr><td><b>Life Stage</b></td><td>for example adult, larva, egg or cast skin.</td></tr>"
     "<tr><td><b>Eco Type</b></td><td>the pest's role: pest, indicator, predator, nuisance or "
     "incidental; the list can be edited in the Utilities menu.</td></tr>"
     "<tr><td><b>Notes</b></td><td>anything else worth keeping, such as a damaged trap.</td></tr>"
     "</table>"
     "<p>To delete a record, select it in the grid and choose <b>Remove Item</b> in the "
     "<b>Utilities</b> menu.</p>"},
    {"Reports and Graphs",
     "<h2>Reports and graphs</h2>"
     "<p><b>Quick Report</b> and <b>Quick Graph</b> first ask for a date range. The dialog offers the "
     "range of the records on view, and four quick buttons: <b>This MONTH</b>, <b>Last MONTH</b>, "
     "<b>This YEAR</b> and <b>Last YEAR</b>.</p>"
     "<p>The <b>graph</b> shows the five pests with the highest total counts in the range, highest "
     "first. Use its <b>Print</b> button to print it.</p>"
     "<p><b>Quick Report</b> asks whether you want the <b>summary report</b>: it lists every pest once "
     "with its total count in the range, highest totals first. Answer No for the <b>detail report</b>: "
     "every inspection grouped by pest, with the count, trap, area, location and date of each, and "
     "a total per pest.</p>"
     "<p>Both reports open in a preview from which they can be printed.</p>"},
    {"Export/Importing",
     "<h2>Exporting and importing</h2>"
     "<p><b>Export to CSV</b> in the <b>Utilities</b> menu writes the records to a comma-separated "
     "text file; <b>Import from CSV</b> reads such a file. The layout is:</p>"
     "<ul>"
     "<li>the fields are separated by commas;</li>"
     "<li>a field that contains a comma is enclosed in double quotes;</li>"
     "<li>the first line holds the field names, exactly:<br>"
     "<code>trapnum,area,location,inspected,common,latin,count,lifestage,ecotype,notes</code></li>"
     "<li>then one record per line, the fields in that order.</li>"
     "</ul>"
     "<p>An example of a record line:</p>"
     "<p><code>19,\"North wall, near pump\",Middle Room (BE-7),4/4/2002,Psocid,Lepinotus "
     "inquilinus,1,Adult,Indicator,Trap damaged</code></p>"
     "<p>An export writes exactly the records on view, so a date filter in force limits it. An import "
     "asks whether to append the file's records to the existing ones or to replace them.</p>"
     "<p>When you leave the program with <b>Quit</b> you are asked whether to save all changes; only "
     "then are your records written back to the program's own files.</p>"},
    {"About OSTREL Software",
     "<h2>About OSTREL Software</h2>"
     "<p>OSTREL Software makes small, dependable tools for the people who look after collections: "
     "conservators, registrars and facility staff in museums, libraries and archives.</p>"
     "<p>Dovorur Dedi Dazadiravo grew out of the day-to-day work of a pest management programme: "
     "it keeps trap records simple to enter and quick to review, and it keeps your data in plain "
     "text files that any other program can read.</p>"
     "<p>Suggestions and reports of problems are always welcome.</p>"},
};

}  // namespace

Thelp::Thelp(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("help"));
  setWindowTitle(QStringLiteral("Dovorur Pest Standard Help"));
  resize(823, 566);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xFC, 0xFF, 0xD2));
  setPalette(pal);
  setAutoFillBackground(true);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setUsesScrollButtons(false);
  PageControl1->tabBar()->setExpanding(false);
  PageControl1->setElideMode(Qt::ElideNone);
  for (int i = 0; i < 5; ++i) {
    auto* page = new QTextBrowser(PageControl1);
    page->setObjectName(QStringLiteral("RichEdit%1").arg(i + 1));
    page->setReadOnly(true);
    page->setOpenLinks(false);
    page->setHtml(QString::fromUtf8(HelpPages[i].Html));
    PageControl1->addTab(page, QString::fromUtf8(HelpPages[i].Title));
    Pages[static_cast<std::size_t>(i)] = page;
  }

  closebut = new TColorButton(QStringLiteral("&Close"), this);
  closebut->setObjectName(QStringLiteral("closebut"));
  closebut->setMinimumSize(100, 30);
  closebut->SetBackColor(QColor(0xE4, 0xE6, 0xAE));
  connect(closebut, &QPushButton::clicked, this, [this] { CallHandler([this] { closebutClick(); }); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->setSpacing(8);
  layout->addWidget(PageControl1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(closebut);
  layout->addLayout(buttons);
}

void Thelp::closebutClick() { close(); }
