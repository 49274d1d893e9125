#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "api/ProtoInit.h"
#include "catalogue/OXProtocol.h"
#include "client/AbstractOXHandler.h"
#include "client/OXClient.h"

namespace ZURAV {

// Records the four lifecycle callbacks of run() and market data in order, with the client each
// was given.
// `inside`, when set, runs within each of them after the record is taken: it may make requests,
// stop the client or throw. The loop may run on another thread than the test: the record is
// guarded, and waitFor waits on it with a deadline.
class LifecycleHandler : public AbstractOXHandler {
  public:
    void onStart(OXClient& c) override { take("onStart", c); }
    void onStop(OXClient& c) override { take("onStop", c); }
    void onDisconnect(OXClient& c) override { take("onDisconnect", c); }
    void onConnect(OXClient& c) override { take("onConnect", c); }
    void onMarketData(const MarketView&, OXClient& c) override { take("onMarketData", c); }

    std::vector<std::string> names() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _names;
    }
    std::vector<OXClient*> clients() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _clients;
    }
    // Waits until the callback `name` was made; whether it was.
    bool waitFor(const std::string& name,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, timeout, [&] {
            return std::find(_names.begin(), _names.end(), name) != _names.end();
        });
    }

    std::function<void(const std::string& name, OXClient& client)> inside;

  private:
    void take(const std::string& name, OXClient& client) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _names.push_back(name);
            _clients.push_back(&client);
        }
        _changed.notify_all();
        if (inside) inside(name, client);
    }

    mutable std::mutex _mutex;
    mutable std::condition_variable _changed;
    std::vector<std::string> _names;
    std::vector<OXClient*> _clients;
};

// The login messages are built from the catalogue's signatures, and result names need the
// enumeration tables: the library is initialised for each test.
class InitialisedLibrary : public testing::Test {
  protected:
    void SetUp() override {
        Orbanex::initialize();
        ProtoInit::initialize();
    }
    void TearDown() override { Orbanex::finalize(); }
};

}  // namespace ZURAV
