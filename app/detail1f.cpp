// Tdetail1.
#include "app/detail1f.h"

Tdetail1* detail1 = nullptr;

Tdetail1::Tdetail1(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("detail1"));
  setWindowTitle(QStringLiteral("Ostrelpests Quick Report"));
  resize(816, 600);
}
