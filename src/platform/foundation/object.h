// The root of reference objects that can travel inside a Value: models, errors, images.
//
// Objects are held by std::shared_ptr; identity is the pointer. Subclasses override
// description() for "%@" printing and isEqual() where the platform compares by value.
//
// Interfaces (protocols) derive virtually from Protocol, so an object has one Protocol whatever it
// adopts. Their optional operations are virtual functions with a do-nothing default; an
// implementer also answers respondsToSelector() with true for each one it implements, spelt as the
// system spells the selector ("didUpdateEventsForCameraID:"), and a caller that must tell
// "implemented" from "not" asks it before calling. One override in the implementing class answers
// for all the interfaces it adopts.
#pragma once

#include <memory>
#include <string>
#include <string_view>

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

class Protocol {
 public:
  virtual ~Protocol() = default;
  // Whether the optional operation `selector` is implemented.
  virtual bool respondsToSelector(std::string_view selector) const { return false; }
};

}  // namespace dk::platform
