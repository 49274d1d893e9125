#pragma once

#include <cstddef>

#include "framework/MsgType.h"

namespace Tarvik {

class MsgDescriptor;

// A protocol's registry: maps a message type id to its descriptor and carries the protocol's
// name and signature texts (version messages and log files carry them to identify the
// protocol). Read-only once set up, so any thread may use it.
class MsgProtocol {
  public:
    virtual ~MsgProtocol();

    // Named in the error for an id the protocol does not know.
    virtual const char* getName() const = 0;
    // Null for an id the protocol does not know.
    virtual MsgDescriptor* getDescriptor(MsgType_t id) const = 0;
    // A compressed form of the definition, its length in bytes through size.
    virtual const void* getCompressedDefinition(size_t& size) const = 0;
    // The definition text; none (null) unless a protocol has one.
    virtual const char* getDefinition() const;
    virtual const char* getSignature() const = 0;
    virtual const char* getSignatureAPI() const = 0;
    virtual const char* getSignatureStorage() const = 0;
    // The type ids in index order (entry i is the id of the type whose index() is i), their
    // number through count.
    virtual const int* getMessageIndex(size_t& count) const = 0;
    virtual const char* getMessageName(MsgType_t id) const = 0;
};

}  // namespace Tarvik
