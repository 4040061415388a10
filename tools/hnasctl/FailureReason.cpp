// The causes of a request without an answer, as the transfer library words them.

#include "FailureReason.h"

#include <initializer_list>

namespace hnasctl {

namespace {

bool holds(const std::string& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts) {
        if (text.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

NoAnswer describeNoAnswer(const std::string& reason, const std::string& gateway) {
    // The pin test comes first: its text names the public key, not the chain.
    if (holds(reason, {"pinned public key"})) {
        return {"the gateway's public key does not match the pin",
                "check --pin (or the profile's pin) against the gateway's key; hnasctl(1) "
                "shows how to read it"};
    }
    if (holds(reason, {"self-signed certificate", "self signed certificate"})) {
        return {"its certificate is self-signed and not trusted",
                "trust it with --pin or --cacert"};
    }
    if (holds(reason, {"SSL: no alternative certificate subject name",
                       "does not match target host name", "certificate subject name"})) {
        return {"its certificate does not name the host " + gateway,
                "connect by a name or address that the certificate holds"};
    }
    if (holds(reason, {"certificate problem", "certificate verify failed", "peer certificate",
                       "certificate has expired", "CA cert"})) {
        return {"its certificate is not trusted",
                "give the CA that issued it with --cacert, or trust the gateway's key with "
                "--pin"};
    }
    if (holds(reason, {"Could not resolve host", "Couldn't resolve host"})) {
        return {"the host name is not resolved", "check the host of --gateway " + gateway};
    }
    if (holds(reason, {"Connection refused"})) {
        return {"connection refused", "is the gateway listening on " + gateway + "?"};
    }
    if (holds(reason, {"Timeout was reached", "timed out", "Operation too slow"})) {
        return {"timed out", "is " + gateway +
                                 " the gateway, and reachable? --connect-timeout and --timeout "
                                 "allow more time"};
    }
    if (holds(reason, {"No route to host", "Network is unreachable"})) {
        return {"the network path is missing", "is " + gateway + " reachable from here?"};
    }
    // Older transfer libraries say no more than this about a refused connection.
    if (holds(reason, {"Couldn't connect", "Failed to connect"})) {
        return {"could not connect, refused or unreachable",
                "is the gateway listening on " + gateway + ", and reachable from here?"};
    }
    return {reason, ""};
}

} // namespace hnasctl
