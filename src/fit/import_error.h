// The one failure of the picture import, shared by its parts (reading,
// placing, colours, caption) without their depending on the whole import.
#pragma once

#include <stdexcept>

namespace kws {

// A picture that cannot be imported; what() says why, for the user.
class ImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kws
