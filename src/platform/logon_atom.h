#pragma once

namespace kip {

// A marker that lives from the first start after logon until logoff.
class LogonAtom {
 public:
  virtual ~LogonAtom() = default;
  // True when the marker already exists in this logon.
  virtual bool exists() = 0;
  // Creates the marker; false when it cannot be created.
  virtual bool add() = 0;
};

}  // namespace kip
