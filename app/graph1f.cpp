// Tgraph1.
#include "app/graph1f.h"

Tgraph1* graph1 = nullptr;

Tgraph1::Tgraph1(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("graph1"));
  setWindowTitle(QStringLiteral("Dovorur Dizu Rividuri"));
  resize(846, 640);
}
