// Tpestlistedit: the pest list editor: the pest list in a grid with a navigator, its sort order, printing
// and saving it to a file. Shown modally from the main window's "Edit Pest List".
// The window exists from start-up to the end of the program; its content is built by the
// parts of the program that use it.
#pragma once

#include "platform/ui/Forms.h"

class Tpestlistedit : public TForm {
  Q_OBJECT

public:
  explicit Tpestlistedit(QWidget* owner = nullptr);  // owner: optional parent window (not owning)
};

// The one instance, created at start by the program body (not owned here).
extern Tpestlistedit* pestlistedit;
