// COM initialised on the calling thread for one scope.
#pragma once

#include "shell/shell.h"

namespace orvik {

// Initialises COM on construction and uninitialises it on destruction, but
// only when the initialisation succeeded: an unbalanced uninitialisation
// would tear down an apartment that somebody else set up.
class ComApartment {
 public:
  explicit ComApartment(Shell& shell)
      : shell_(shell), initialized_(shell.InitializeCom()) {}
  ~ComApartment() {
    if (initialized_) shell_.UninitializeCom();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  Shell& shell_;
  const bool initialized_;
};

}  // namespace orvik
