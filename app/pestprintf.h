// Tpestprint: the printed pest list: a report over the pest list table, shown in a preview.
// The window exists from start-up to the end of the program; its content is built by the
// parts of the program that use it.
#pragma once

#include "platform/ui/Forms.h"

class Tpestprint : public TForm {
  Q_OBJECT

public:
  explicit Tpestprint(QWidget* owner = nullptr);  // owner: optional parent window (not owning)
};

// The one instance, created at start by the program body (not owned here).
extern Tpestprint* pestprint;
