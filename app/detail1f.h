// Tdetail1: the detail report: every inspection grouped by common name with a subtotal per group,
// shown in a preview.
// The window exists from start-up to the end of the program; its content is built by the
// parts of the program that use it.
#pragma once

#include "platform/ui/Forms.h"

class Tdetail1 : public TForm {
  Q_OBJECT

public:
  explicit Tdetail1(QWidget* owner = nullptr);  // owner: optional parent window (not owning)
};

// The one instance, created at start by the program body (not owned here).
extern Tdetail1* detail1;
