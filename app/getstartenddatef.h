// Tgetstartenddate: the date-range dialog of the reports and the graph: a start and an end date, four quick
// ranges, OK and Cancel. Shown modally.
// The window exists from start-up to the end of the program; its content is built by the
// parts of the program that use it.
#pragma once

#include "platform/ui/Forms.h"

class Tgetstartenddate : public TForm {
  Q_OBJECT

public:
  explicit Tgetstartenddate(QWidget* owner = nullptr);  // owner: optional parent window (not owning)
};

// The one instance, created at start by the program body (not owned here).
extern Tgetstartenddate* getstartenddate;
