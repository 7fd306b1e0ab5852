// The object model the program's classes build on: assignable objects and owned components.
#pragma once

#include <string>

namespace halvik {

class TObject {
 public:
  virtual ~TObject() = default;
  // The class name, as it appears in error messages.
  virtual std::string ClassName() const { return "TObject"; }
  // Runs while the object is still whole, right before it is deleted through Free.
  virtual void BeforeDestruction() {}
  // Deletes Object (nothing for null), running BeforeDestruction first.
  static void Free(TObject* Object) {
    if (Object == nullptr) return;
    Object->BeforeDestruction();
    delete Object;
  }
};

// An object whose content can be copied into another with Assign.
class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  // Copies Source into this object. The base asks Source to assign itself (AssignTo);
  // a null Source or one that cannot raises EConvertError.
  virtual void Assign(TPersistent* Source);

 protected:
  // Copies this object into Dest. The base cannot and raises EConvertError.
  virtual void AssignTo(TPersistent* Dest);
};

class TInterfacedPersistent : public TPersistent {
 public:
  std::string ClassName() const override { return "TInterfacedPersistent"; }
};

}  // namespace halvik
