// Tpestprint.
#include "app/pestprintf.h"

Tpestprint* pestprint = nullptr;

Tpestprint::Tpestprint(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("pestprint"));
  setWindowTitle(QStringLiteral("Pest Print"));
  resize(816, 600);
}
