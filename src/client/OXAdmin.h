#pragma once

#include "api/APIResult.h"
#include "client/OXClient.h"

namespace ZURAV {

class OXAdminHandler;

// The administrator's client: an OXClient opened, connected and run the same way, whose run()
// takes an OXAdminHandler, plus the administrator's requests. Everything else is OXClient's.
class OXAdmin : public OXClient {
  public:
    // As the OXClient constructors with the same arguments.
    OXAdmin(const char* username, const char* password, const char* hostname1, int port1);
    OXAdmin(const char* username, const char* password, const char* hostname1, int port1,
            const char* hostname2, int port2);
    ~OXAdmin() override;

    // As OXClient::open: a connected administrator client, null for a null user, password or
    // first host, std::runtime_error "Error connecting: <result name>" when the login fails.
    static OXAdmin* open(const char* username, const char* password, const char* hostname,
                         int port);
    static OXAdmin* open(const char* username, const char* password, const char* hostname1,
                         int port1, const char* hostname2, int port2);

    // OXClient::run with handler's callbacks, each given this client. INVALID_PARAMETER for a
    // null handler, nothing installed then.
    APIResult::Type run(OXAdminHandler* handler);

    // No request of the protocol lets clients in: NOT_IMPLEMENTED, nothing sent.
    APIResult::Type allowClientsToConnect();
    // Asks the server to lock (locked true) or unlock the user: the send's result.
    // INVALID_PARAMETER for a null request id or user name. The server's answer is reported on
    // standard error as a message the client does not handle.
    APIResult::Type lockUser(const char* clRequestID, const char* username, bool locked);
};

}  // namespace ZURAV
