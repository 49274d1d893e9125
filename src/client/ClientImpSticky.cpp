#include "client/ClientImp.h"

namespace ZURAV {

void ClientImp::resendStickySubscriptions(bool) {}

void ClientImp::markStickySubscriptionsUnsent() {}

void ClientImp::clearStickySubscriptions() {
    boost::lock_guard<boost::mutex> lock(_sendlock);
    _stickySubscriptionsMap.clear();
}

}  // namespace ZURAV
