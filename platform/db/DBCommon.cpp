#include "platform/db/DBCommon.h"

#include "platform/db/Classes.h"
#include "platform/db/DBConsts.h"

EAbort::EAbort() : Exception(DBConsts::SOperationAborted) {}

void DatabaseError(const std::string& message, const TComponent* component) {
  if (component != nullptr && !component->Name().empty())
    throw EDatabaseError(component->Name() + ": " + message);
  throw EDatabaseError(message);
}

void DatabaseErrorFmt(const std::string& format, std::initializer_list<TVarRec> args,
                      const TComponent* component) {
  DatabaseError(Format(format, args), component);
}
