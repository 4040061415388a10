// libcurl's result codes mapped once to the kinds of failure the client
// reports and the batch acts upon.

#include "Outcome.h"

namespace hnasmgmt {
namespace host {

namespace {

RKLibCurlError kindOf(CURLcode rc, const Transfer& t, CURL* handle) {
    if (t.overCap || t.overBudget || !t.refusedCoding.empty() || rc == CURLE_FILESIZE_EXCEEDED) {
        return RKLibCurlError::Refused;
    }
    switch (rc) {
    case CURLE_OK:
        return RKLibCurlError::None;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return RKLibCurlError::Resolve;
    case CURLE_COULDNT_CONNECT:
        return RKLibCurlError::Connect;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
        return RKLibCurlError::Certificate;
    case CURLE_SSL_CONNECT_ERROR:
        return RKLibCurlError::Tls;
    case CURLE_OPERATION_TIMEDOUT: {
        if (t.requestSent) {
            return RKLibCurlError::Timeout;
        }
        curl_off_t connected = 0;
        curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connected);
        return connected > 0 ? RKLibCurlError::Tls : RKLibCurlError::Connect;
    }
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return t.answerStarted ? RKLibCurlError::Other : RKLibCurlError::ConnectionLost;
    default:
        return RKLibCurlError::Other;
    }
}

} // namespace

AttemptOutcome readOutcome(CURL* handle, CURLcode rc, const Transfer& transfer) {
    AttemptOutcome out;
    out.rc = rc;
    if (rc == CURLE_OK) {
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &out.status);
    }
    out.error = kindOf(rc, transfer, handle);
    out.connectPhase = !transfer.requestSent;
    out.noAnswer =
        !transfer.answerStarted &&
        (out.error == RKLibCurlError::Connect || out.error == RKLibCurlError::Tls ||
         out.error == RKLibCurlError::ConnectionLost || out.error == RKLibCurlError::Timeout);
    long connects = 0;
    curl_easy_getinfo(handle, CURLINFO_NUM_CONNECTS, &connects);
    out.reusedConnection = transfer.requestSent && connects == 0;
    return out;
}

void describeOutcome(const AttemptOutcome& outcome, const Transfer& transfer,
                     RKLibCurlResult& result) {
    result.status = outcome.status;
    result.error = outcome.error;
    if (outcome.rc != CURLE_OK) {
        result.reason = transfer.errorText(outcome.rc);
    } else if (outcome.status >= 400) {
        result.reason = "HTTP status " + std::to_string(outcome.status);
    } else {
        result.reason.clear();
    }
}

} // namespace host
} // namespace hnasmgmt
