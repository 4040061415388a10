// CIFS share permissions: read, add and remove the permission entries of one
// CIFS share, named by the share's object identifier. These operations log
// under their bare names.

#include <string>
#include <vector>

#include "facade/OperationSteps.h"
#include "facade/Walk.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDirectories.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

using namespace hnasmgmt::facade;

} // namespace

bool hnasmgmt::facade::cifsAuthentication(unsigned long long jobId, bool initialised,
                                          HNASRestAPI* api, const std::string& shareObjectId,
                                          std::vector<__HNASCIFSAuthentication>& entries,
                                          WalkStep* step) {
    static const char* const kFunction = functionOf(Op::GetCIFSAuth);
    return runSessionOperation(kFunction, jobId, initialised, api, [&](const OpLog& op) {
        HNASJSONGetCIFSAuthentication message(jobId);
        if (shareObjectId.empty()) {
            op.trace.DebugLvl(kFunction, -1, "The CIFS Share object ID is empty.");
            return false;
        }
        const Request request = hnasmgmt::facade::request<Op::GetCIFSAuth>(shareObjectId);
        const bool read = sendAndParse(
            *api, op, request,
            [&](const Reply&) {
                op.trace.DebugLvl(kFunction, -1, "Unable to get CIFS Authentication.");
            },
            bodyLine(op, 5, "Successfully got the CIFS Authentication info. Response [%s]"),
            message, step);
        if (!read) {
            return false;
        }
        entries = message.getCIFSAuth();
        return true;
    });
}

bool RkManageHNAS::getCIFSAuthentication(const std::string& shareObjectId,
                                         std::vector<__HNASCIFSAuthentication>& entries) {
    return hnasmgmt::facade::cifsAuthentication(jobId, initialised, restApi.get(), shareObjectId,
                                                entries, nullptr);
}

bool RkManageHNAS::setCIFSAuthentication(const std::string& shareObjectId,
                                         std::vector<__HNASCIFSAuthentication>& entries) {
    static const char* const kFunction = functionOf(Op::SetCIFSAuth);
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        HNASJSONSetCIFSAuthentication message(jobId, entries);
        if (shareObjectId.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid input.");
            return false;
        }

        std::string body;
        if (!bodyBuilt(op, message.buildRequest(body), body, "The request body is empty")) {
            return false;
        }
        const Request request =
            hnasmgmt::facade::request<Op::SetCIFSAuth>(shareObjectId).withBody(std::move(body));
        if (!hnasmgmt::facade::send(*restApi, op, request).ok) {
            op.trace.DebugLvl(kFunction, -1, op.job,
                              "Unable to set CIFS Authentication for CIFS Share Object ID[%s]",
                              clipForLog(shareObjectId).c_str());
            return false;
        }
        return true;
    });
}

bool RkManageHNAS::deleteCIFSAuthentication(const std::string& shareObjectId,
                                            const std::string& encodedName) {
    static const char* const kFunction = functionOf(Op::DeleteCIFSAuth);
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        if (shareObjectId.empty() || encodedName.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid Parameters.");
            return false;
        }

        const Request request =
            hnasmgmt::facade::request<Op::DeleteCIFSAuth>(shareObjectId, encodedName);
        if (!hnasmgmt::facade::send(*restApi, op, request).ok) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Unable to delete permission.");
            return false;
        }
        return true;
    });
}
