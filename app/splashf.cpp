// The opening screen.
#include "app/splashf.h"

#include "app/ColorButton.h"

#include <QHBoxLayout>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const WelcomeText =
    "<h2 align=\"center\" style=\"color:#5a4a00\">Welcome to Dovorur Dedi Dazadiravo Standard</h2>"
    "<p align=\"center\"><i>Integrated pest management for museums, libraries and archives</i></p>"
    "<p>This program keeps the results of your insect-trap inspections: for every trap you check "
    "it records the date, the trap number, area and location, the pest found with its common and "
    "latin name, how many were counted, their life stage, the pest's eco type and any notes.</p>"
    "<p>With those records you can</p>"
    "<ul>"
    "<li>browse and sort them by any column and search as you type,</li>"
    "<li>show only the inspections of a date range,</li>"
    "<li>print a detail report or a summary of the counts per pest,</li>"
    "<li>see a graph of the five pests counted most often,</li>"
    "<li>exchange records with other programs as comma-separated files.</li>"
    "</ul>"
    "<p><b>First time here?</b> Any sample records you find are there for trying the program out. "
    "Before you enter your own inspections, remove them with <b>Clear current pest data</b> in the "
    "<b>Utilities</b> menu, and build your pest list with <b>Edit Pest List</b>.</p>"
    "<p>The <b>Help</b> menu explains every step. At start this window closes by itself after a "
    "few seconds.</p>"
    "<p align=\"center\" style=\"color:#5a4a00\">OSTREL Software</p>";

}  // namespace

Tsplash::Tsplash(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("splash"));
  setWindowTitle(QStringLiteral("DOVORUR Dedi Dazadiravo Standard"));
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  resize(694, 510);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xFC, 0xFF, 0xD2));
  setPalette(pal);
  setAutoFillBackground(true);

  RichEdit1 = new QTextBrowser(this);
  RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
  RichEdit1->setReadOnly(true);
  RichEdit1->setOpenLinks(false);
  RichEdit1->setHtml(QString::fromUtf8(WelcomeText));

  closebut = new TColorButton(QStringLiteral("&CLOSE THIS WINDOW"), this);
  closebut->setObjectName(QStringLiteral("closebut"));
  closebut->setMinimumSize(200, 32);
  closebut->SetBackColor(QColor(0xE4, 0xE6, 0xAE));
  connect(closebut, &QPushButton::clicked, this, [this] { CallHandler([this] { closebutClick(); }); });

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(20000);
  connect(Timer1, &QTimer::timeout, this, [this] { CallHandler([this] { Timer1Timer(); }); });
  Timer1->start();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(10);
  layout->addWidget(RichEdit1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(closebut);
  buttons->addStretch(1);
  layout->addLayout(buttons);
}

void Tsplash::Timer1Timer() {
  Timer1->stop();
  close();
}

void Tsplash::closebutClick() {
  Timer1->stop();
  close();
}
