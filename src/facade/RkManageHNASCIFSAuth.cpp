// CIFS share permissions: read, add and remove the permission entries of one
// CIFS share, named by the share's object identifier. These operations log
// under their bare names.

#include <string>
#include <vector>

#include "facade/NoThrow.h"
#include "facade/OperationSteps.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDirectories.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

using hnasfacade::clipForLog;
using hnasfacade::OpLog;
using hnasfacade::Reply;
using hnasfacade::Request;
using hnasfacade::ResourcePath;
using hnasfacade::Verb;

constexpr int kResourceGetCIFSAuth = 15;
constexpr int kResourceSetCIFSAuth = 16;
constexpr int kResourceDeleteCIFSAuth = 17;

ResourcePath authenticationsResource(const std::string& shareObjectId) {
    ResourcePath path;
    path.text("filesystem-shares/cifs/").segment(shareObjectId).text("/authentications");
    return path;
}

} // namespace

bool RkManageHNAS::getCIFSAuthentication(const std::string& shareObjectId,
                                         std::vector<__HNASCIFSAuthentication>& entries) {
    static const char* const kFunction = "getCIFSAuthentication";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const OpLog op{kFunction, static_cast<long long>(jobId), trace};
        HNASJSONGetCIFSAuthentication message(jobId);

        if (!hnasfacade::sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (shareObjectId.empty()) {
            trace.DebugLvl(kFunction, -1, "The CIFS Share object ID is empty.");
            return false;
        }
        const Request request{Verb::Get, authenticationsResource(shareObjectId),
                              kResourceGetCIFSAuth};
        const bool read = hnasfacade::sendAndRead(
            *restApi, op, request,
            [&](const Reply&) {
                trace.DebugLvl(kFunction, -1, "Unable to get CIFS Authentication.");
            },
            [&](const char* body) {
                trace.DebugLvl(kFunction, 5, op.job,
                               "Successfully got the CIFS Authentication info. Response [%s]",
                               body);
            },
            [&](std::string& body) { return message.parseResponse(body); });
        if (!read) {
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
        const OpLog op{kFunction, static_cast<long long>(jobId), trace};
        HNASJSONSetCIFSAuthentication message(jobId, entries);

        if (!hnasfacade::sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (shareObjectId.empty()) {
            trace.DebugLvl(kFunction, -1, op.job, "Invalid input.");
            return false;
        }

        std::string body;
        if (!message.buildRequest(body) || body.empty()) {
            trace.DebugLvl(kFunction, -1, op.job, "The request body is empty");
            return false;
        }
        const Request request{Verb::Post, authenticationsResource(shareObjectId),
                              kResourceSetCIFSAuth, std::move(body)};
        if (!hnasfacade::send(*restApi, op, request).ok) {
            trace.DebugLvl(kFunction, -1, op.job,
                           "Unable to set CIFS Authentication for CIFS Share Object ID[%s]",
                           clipForLog(shareObjectId).c_str());
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
        const OpLog op{kFunction, static_cast<long long>(jobId), trace};

        if (!hnasfacade::sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (shareObjectId.empty() || encodedName.empty()) {
            trace.DebugLvl(kFunction, -1, op.job, "Invalid Parameters.");
            return false;
        }

        ResourcePath path = authenticationsResource(shareObjectId);
        path.text("/").segment(encodedName);
        if (!hnasfacade::send(*restApi, op, {Verb::Delete, path, kResourceDeleteCIFSAuth}).ok) {
            trace.DebugLvl(kFunction, -1, op.job, "Unable to delete permission.");
            return false;
        }
        return true;
    });
}
