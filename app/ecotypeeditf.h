// Tecotypeedit: the eco type editor: the sorted list of eco types with add, delete and quit. Shown modally
// from the menu item "Edit pest ECO TYPEs".
// The window exists from start-up to the end of the program; its content is built by the
// parts of the program that use it.
#pragma once

#include "platform/ui/Forms.h"

class Tecotypeedit : public TForm {
  Q_OBJECT

public:
  explicit Tecotypeedit(QWidget* owner = nullptr);  // owner: optional parent window (not owning)
};

// The one instance, created at start by the program body (not owned here).
extern Tecotypeedit* ecotypeedit;
