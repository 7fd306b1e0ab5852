#include "platform/core/Classes.h"

#include "platform/core/Exceptions.h"

namespace halvik {

void TPersistent::Assign(TPersistent* Source) {
  if (Source == nullptr) throw EConvertError("Cannot assign nil to a " + ClassName());
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " +
                      (Dest ? Dest->ClassName() : std::string("nil")));
}

}  // namespace halvik
