#include "session/places.h"

#include "platform/fs.h"

namespace qorin::session {

Places Places::standard() { return {platform::configDirectory(), platform::stateDirectory()}; }

Places Places::in(const std::string& dir) {
  const std::string d = platform::withSeparator(dir);
  return {d, d};
}

}  // namespace qorin::session
