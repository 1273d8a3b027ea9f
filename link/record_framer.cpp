#include "link/record_framer.h"

namespace tivaro::link {

std::size_t RecordFramer::restart() {
    const std::size_t dropped = open_ ? raw_.size() : 0;
    clear();
    open_ = false;
    awaitingStart_ = true;
    return dropped;
}

}  // namespace tivaro::link
