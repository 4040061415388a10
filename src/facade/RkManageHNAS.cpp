// The facade's session: construction, init, destruction.

#include "hnasmgmt/facade/RkManageHNAS.h"

#include <openssl/crypto.h>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

#include "facade/NoThrow.h"
#include "facade/SkippedItems.h"

namespace {

// The most GETs a walk may have on the network at once.
constexpr unsigned kMaxParallelRequests = 64;

} // namespace

RkManageHNAS::RkManageHNAS(const unsigned long long& jobId)
    : jobId(jobId), initialised(false), lastErrorCode(0), parallelRequests(1) {}

RkManageHNAS::~RkManageHNAS() {
    hnasmgmt::facade::forgetSkipped(this);
}

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

std::vector<__HNASSkippedItem> RkManageHNAS::getSkippedItems() const {
    try {
        return hnasmgmt::facade::skippedOf(this);
    } catch (...) {
        return std::vector<__HNASSkippedItem>(); // no memory for the copy
    }
}

void __HNASSkippedItem::clear() {
    objectId.clear();
    name.clear();
    reason.clear();
}

bool RkManageHNAS::setParallelRequests(unsigned count) {
    static const char* const kFunction = "RkManageHNAS::setParallelRequests";
    return hnasNoThrow(kFunction, jobId, [&] {
        if (count < 1 || count > kMaxParallelRequests) {
            DbgTrace trace;
            trace.DebugLvl(kFunction, -1, static_cast<long long>(jobId),
                           "Invalid number of parallel requests [%u]: it must be from 1 to %u. "
                           "Keeping [%u].",
                           count, kMaxParallelRequests, parallelRequests);
            return false;
        }
        parallelRequests = count;
        return true;
    });
}
