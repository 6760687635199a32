// Tsummary1: the summary report: the total count per common name over a date range, highest first,
// shown in a preview.
// The window exists from start-up to the end of the program; its content is built by the
// parts of the program that use it.
#pragma once

#include "platform/ui/Forms.h"

class Tsummary1 : public TForm {
  Q_OBJECT

public:
  explicit Tsummary1(QWidget* owner = nullptr);  // owner: optional parent window (not owning)
};

// The one instance, created at start by the program body (not owned here).
extern Tsummary1* summary1;
