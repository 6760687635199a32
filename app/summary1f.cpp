// Tsummary1.
#include "app/summary1f.h"

Tsummary1* summary1 = nullptr;

Tsummary1::Tsummary1(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("summary1"));
  setWindowTitle(QStringLiteral("Ostrelpests Quick Report - SUMMARY"));
  resize(816, 600);
}
