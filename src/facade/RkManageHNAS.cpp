// The facade's session: construction, init, destruction.

#include "hnasmgmt/facade/RkManageHNAS.h"

#include <openssl/crypto.h>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

#include "facade/NoThrow.h"

RkManageHNAS::RkManageHNAS(const unsigned long long& jobId)
    : jobId(jobId), initialised(false), lastErrorCode(0) {}

RkManageHNAS::~RkManageHNAS() = default;

void RkManageHNAS::init(std::string userName, std::string password, std::string subsystemType,
                        std::string managementIP, std::string metroServer, int metroServerPort) {
    // An allocation failure leaves the facade without a session; every
    // operation then refuses as if init had not run.
    hnasNoThrow("RkManageHNAS::init", jobId, [&] {
        DbgTrace trace;
        restApi.reset();
        restApi.reset(new HNASRestAPI(jobId));
        restApi->setUserName(userName);
        restApi->setPassword(password);
        restApi->setSubsystemType(subsystemType);
        restApi->setManagementIP(managementIP);
        restApi->setMetroServer(metroServer);
        restApi->setMetroServerPort(metroServerPort);
        OPENSSL_cleanse(&password[0], password.size()); // this copy is no longer needed
        initialised = true;
        trace.DebugLvl("RkManageHNAS::init", 0, static_cast<long long>(jobId),
                       "Initialized HNAS params.");
        return true;
    });
}

long long RkManageHNAS::getLastErrorCode() const {
    return lastErrorCode;
}
