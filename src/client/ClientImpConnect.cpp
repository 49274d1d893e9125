#include <unistd.h>

#include "client/ClientImp.h"

namespace ZURAV {

void ClientImp::closeSockets() {
    boost::lock_guard<boost::recursive_mutex> recv(_recvlock);
    boost::lock_guard<boost::mutex> send(_sendlock);
    if (_rsock != -1) ::close(_rsock);
    if (_wsock != -1 && _wsock != _rsock) ::close(_wsock);
    _rsock = -1;
    _wsock = -1;
}

}  // namespace ZURAV
