// ostrelpeststandard: initialise the application, run the program body, run the event loop.
#include "app/ostrelpeststandard.h"
#include "platform/ui/Forms.h"

int main(int argc, char** argv) {
  TApplication application(argc, argv);
  StartProgram(application);
  return application.Run();
}
