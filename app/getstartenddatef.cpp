// Tgetstartenddate.
#include "app/getstartenddatef.h"

Tgetstartenddate* getstartenddate = nullptr;

Tgetstartenddate::Tgetstartenddate(QWidget* owner) : TForm(owner) {
  setObjectName(QStringLiteral("getstartenddate"));
  setWindowTitle(QStringLiteral("Get START & END Dates"));
  resize(420, 260);
}
