// Tgraph1: the graph window: the five common names with the highest total counts over a date range,
// with Close and Print.
// The window exists from start-up to the end of the program; its content is built by the
// parts of the program that use it.
#pragma once

#include "platform/ui/Forms.h"

class Tgraph1 : public TForm {
  Q_OBJECT

public:
  explicit Tgraph1(QWidget* owner = nullptr);  // owner: optional parent window (not owning)
};

// The one instance, created at start by the program body (not owned here).
extern Tgraph1* graph1;
