// CIFS share permissions: read, add and remove the permission entries of one
// CIFS share, named by the share's object identifier. These operations log
// under their bare names.

#include <string>
#include <vector>

#include "facade/NoThrow.h"
#include "facade/OperationSteps.h"
#include "facade/Walk.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDirectories.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

constexpr int kResourceGetCIFSAuth = 15;
constexpr int kResourceSetCIFSAuth = 16;
constexpr int kResourceDeleteCIFSAuth = 17;

} // namespace

bool RkManageHNAS::getCIFSAuthentication(const std::string& shareObjectId,
                                         std::vector<__HNASCIFSAuthentication>& entries) {
    static const char* const kFunction = "getCIFSAuthentication";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        HNASJSONGetCIFSAuthentication message(jobId);

        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }
        if (shareObjectId.empty()) {
            trace.DebugLvl(kFunction, -1, "The CIFS Share object ID is empty.");
            return false;
        }

        std::string response;
        if (!restApi->get(hnasAuthenticationsResource(shareObjectId), response,
                          kResourceGetCIFSAuth)) {
            trace.DebugLvl(kFunction, -1, "Unable to get CIFS Authentication.");
            return false;
        }
        if (!hnasHasBody(response, trace, kFunction, job)) {
            return false;
        }
        trace.DebugLvl(kFunction, 5, job,
                       "Successfully got the CIFS Authentication info. Response [%s]",
                       response.c_str());
        if (!message.parseResponse(response)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to parse JSON response");
            return false;
        }
        entries = message.getCIFSAuth();
        return true;
    });
}

bool RkManageHNAS::setCIFSAuthentication(const std::string& shareObjectId,
                                         std::vector<__HNASCIFSAuthentication>& entries) {
    static const char* const kFunction = "setCIFSAuthentication";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        HNASJSONSetCIFSAuthentication message(jobId, entries);

        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }
        if (shareObjectId.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }

        std::string body;
        if (!message.buildRequest(body) || body.empty()) {
            trace.DebugLvl(kFunction, -1, job, "The request body is empty");
            return false;
        }

        std::string response;
        if (!restApi->post(hnasAuthenticationsResource(shareObjectId), body, response,
                           kResourceSetCIFSAuth)) {
            trace.DebugLvl(kFunction, -1, job,
                           "Unable to set CIFS Authentication for CIFS Share Object ID[%s]",
                           shareObjectId.c_str());
            return false;
        }
        return true;
    });
}

bool RkManageHNAS::deleteCIFSAuthentication(const std::string& shareObjectId,
                                            const std::string& encodedName) {
    static const char* const kFunction = "deleteCIFSAuthentication";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }
        if (shareObjectId.empty() || encodedName.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid Parameters.");
            return false;
        }

        std::string response;
        if (!restApi->del(hnasAuthenticationsResource(shareObjectId) + "/" + encodedName, "",
                          response, kResourceDeleteCIFSAuth)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to delete permission.");
            return false;
        }
        return true;
    });
}
