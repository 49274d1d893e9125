#pragma once

// The catalogue's messages registered with the framework, for the tests of this layer until the
// catalogue's own registry exists: one Tarvik::MsgDescriptorT per generated message class, named
// after it and found by its id.

#include <map>
#include <memory>
#include <string>

#include "cataloguetest/TypeLists.h"
#include "framework/MsgDescriptorT.h"
#include "framework/MsgProtocol.h"

namespace cattest {

class TestProtocol : public Tarvik::MsgProtocol {
  public:
    TestProtocol() { add<OX_CATALOGUE_MESSAGE_TYPES>(); }

    const char* getName() const override { return "Orbanex"; }
    Tarvik::MsgDescriptor* getDescriptor(Tarvik::MsgType_t id) const override {
        const auto found = _descriptors.find(id);
        return found != _descriptors.end() ? found->second.get() : nullptr;
    }
    const void* getCompressedDefinition(size_t& size) const override {
        size = 0;
        return "";
    }
    const char* getSignature() const override { return ""; }
    const char* getSignatureAPI() const override { return ""; }
    const char* getSignatureStorage() const override { return ""; }
    const int* getMessageIndex(size_t& count) const override {
        count = 0;
        return nullptr;
    }
    const char* getMessageName(Tarvik::MsgType_t id) const override {
        Tarvik::MsgDescriptor* d = getDescriptor(id);
        return d != nullptr ? d->name() : nullptr;
    }

  private:
    template <class... M>
    void add() {
        (_descriptors.emplace(M::ID,
                              std::make_unique<Tarvik::MsgDescriptorT<M>>(nameOf<M>(), this)),
         ...);
    }
    // The class name without its namespace, kept alive by the protocol.
    template <class M>
    const char* nameOf() {
        const std::string full = ::testing::internal::GetTypeName<M>();
        return _names.emplace(M::ID, full.substr(full.rfind(':') + 1)).first->second.c_str();
    }

    std::map<Tarvik::MsgType_t, std::unique_ptr<Tarvik::MsgDescriptor>> _descriptors;
    std::map<Tarvik::MsgType_t, std::string> _names;
};

}  // namespace cattest
