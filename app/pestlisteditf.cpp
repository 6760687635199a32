// Tpestlistedit.
#include "app/pestlisteditf.h"

Tpestlistedit* pestlistedit = nullptr;

Tpestlistedit::Tpestlistedit(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("pestlistedit"));
  setWindowTitle(QStringLiteral("Pest List Editor"));
  resize(668, 493);
}
