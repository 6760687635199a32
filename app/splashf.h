// Tsplash: the opening screen. Shown without waiting at start, on top of every window, it
// closes itself after twenty seconds; the menu's "&Opening Screen" shows a copy modally, with
// its timer stopped, until the user closes it.
#pragma once

#include "platform/ui/Forms.h"

class QTextBrowser;
class QTimer;
class TColorButton;

class Tsplash : public TForm {
  Q_OBJECT

public:
  explicit Tsplash(QWidget* owner = nullptr);  // owner: optional parent window (not owning)

  // Timer and button both stop the timer and close the window.
  virtual void Timer1Timer();
  virtual void closebutClick();

  // Controls; owned by the window (Qt parent).
  QTextBrowser* RichEdit1 = nullptr;  // the welcome text, read-only
  TColorButton* closebut = nullptr;   // "&CLOSE THIS WINDOW"
  QTimer* Timer1 = nullptr;           // 20000 ms, running from creation
};
