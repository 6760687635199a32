// The program body: splash, title, the windows in their order.
#include "app/ostrelpeststandard.h"

#include "app/detail1f.h"
#include "app/ecotypeeditf.h"
#include "app/getstartenddatef.h"
#include "app/graph1f.h"
#include "app/helpf.h"
#include "app/mainformf.h"
#include "app/pestlisteditf.h"
#include "app/pestprintf.h"
#include "app/splashf.h"
#include "app/summary1f.h"
#include "platform/ui/Forms.h"

#include <memory>

namespace {

template <class T>
void CreateCentred(TApplication& application, T*& reference) {
  application.CreateForm(reference);
  reference->CenterOnScreen();
}

}  // namespace

void StartProgram(TApplication& application) {
  auto splash = std::make_unique<Tsplash>();
  Tsplash* opening = splash.get();
  application.AddComponent(std::move(splash));
  opening->AfterConstruction();
  opening->CenterOnScreen();
  opening->show();
  opening->repaint();
  application.processEvents();

  application.SetTitle(QString::fromLatin1(programtitle));

  CreateCentred(application, mainform);
  CreateCentred(application, pestprint);
  CreateCentred(application, ecotypeedit);
  CreateCentred(application, pestlistedit);
  CreateCentred(application, help);
  CreateCentred(application, getstartenddate);
  CreateCentred(application, detail1);
  CreateCentred(application, summary1);
  CreateCentred(application, graph1);
}
