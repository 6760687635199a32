// Tecotypeedit.
#include "app/ecotypeeditf.h"

Tecotypeedit* ecotypeedit = nullptr;

Tecotypeedit::Tecotypeedit(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("ecotypeedit"));
  setWindowTitle(QStringLiteral("ECO TYPE EDIT"));
  resize(289, 420);
}
