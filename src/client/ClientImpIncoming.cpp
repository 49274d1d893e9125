#include <iostream>

#include "client/ClientImp.h"

namespace ZURAV {

void ClientImp::handleDefault(const ShpOXMessage& sm) {
    std::cerr << "Handler not implemented for: " << *sm << std::endl;
    std::cerr.flush();
}

}  // namespace ZURAV
