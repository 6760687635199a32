// Thelp: the help window, five pages of read-only text on tabs (what the program is for,
// adding and deleting records, reports and graphs, the CSV export and import layout, the
// maker) and a "&Close" button. Shown modally from the Help menu.
#pragma once

#include "platform/ui/Forms.h"

#include <array>

class QTabWidget;
class QTextBrowser;
class TColorButton;

class Thelp : public TForm {
  Q_OBJECT

public:
  explicit Thelp(QWidget* owner = nullptr);  // owner: optional parent window (not owning)

  virtual void closebutClick();  // closes the window

  // Controls; owned by the window (Qt parent).
  QTabWidget* PageControl1 = nullptr;         // the five pages, in tab order
  std::array<QTextBrowser*, 5> Pages{};       // the read-only text of each page
  TColorButton* closebut = nullptr;           // "&Close"
};

// The one instance, created at start by the program body (not owned here).
extern Thelp* help;
