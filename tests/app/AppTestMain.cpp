// Entry point of the window tests: one application object for the process, headless, with the
// dialog service scripted so that no test ever waits for a person.
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  TApplication application(argc, argv);
  DialogService().SetScripted(true);
  return RUN_ALL_TESTS();
}
