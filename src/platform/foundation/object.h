// The root of reference objects that can travel inside a Value: models, errors, images.
//
// Objects are held by std::shared_ptr; identity is the pointer. Subclasses override
// description() for "%@" printing and isEqual() where the platform compares by value.
#pragma once

#include <memory>
#include <string>

namespace dk::platform {

class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object() = default;
  // The class name as the system spells it ("KLEventResponse").
  virtual std::string className() const { return "NSObject"; }
  virtual std::string description() const;
  virtual bool isEqual(const Object& other) const { return this == &other; }
};

using ObjectPtr = std::shared_ptr<Object>;

}  // namespace dk::platform
