// 200 sequential GETs against the scripted HTTPS test gateway, with the
// connection kept from one request to the next and without.
//
//   RestApi_Reuse        HNASRestAPI::get as the facade calls it: a new
//                        RKLibCurl per request, which takes over the thread's
//                        open connection (reuseConnections = true).
//   Client_NoReuse       the same sequence of RKLibCurl calls as the session
//                        (Init, four headers, send, response, DeInit), with
//                        reuseConnections = false: a new TCP and TLS
//                        handshake per request.
//   RawCurl_Reuse        one libcurl easy handle for all 200 requests.
//   RawCurl_ForbidReuse  a new easy handle per request with CURLOPT_FORBID_REUSE.
//
// One iteration is 200 GETs; the time per iteration is the time per 200 GETs.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "hnasmgmt/host/RKLibCurl.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "support/TestGateway.h"

namespace {

constexpr int kGets = 200;
const char* const kResource = "file-devices";
const char* const kBody =
    R"({"fileDevice":{"objectId":"1","serialNumber":"SN-1","model":"HNAS 4100","health":"OK"}})";

struct Gateway {
    hnastest::TestGateway gateway;
    hnastest::TrustGateway trust{gateway};
    Gateway() { gateway.on("GET", kResource, {200, kBody}); }
    std::string url() const {
        return "https://127.0.0.1:" + std::to_string(gateway.port()) + "/v4/storage/" + kResource;
    }
};

void report(benchmark::State& state, const hnastest::TestGateway& gw, int failures) {
    state.counters["connections"] = static_cast<double>(gw.connectionCount());
    state.counters["requests"] = static_cast<double>(gw.requestCount());
    state.counters["failures"] = failures;
    state.counters["time_per_GET"] =
        benchmark::Counter(static_cast<double>(kGets) * state.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (failures > 0)
        state.SkipWithError("a request failed");
}

void BM_RestApi_Reuse(benchmark::State& state) {
    Gateway g;
    hnastest::GatewayLogin login;
    HNASRestAPI api(1);
    api.setUserName(login.user);
    api.setPassword(login.password);
    api.setSubsystemType(login.subsystemType);
    api.setManagementIP(login.managementIP);
    api.setMetroServer(g.gateway.host());
    api.setMetroServerPort(g.gateway.port());
    std::string response;
    int failures = 0;
    for (auto _ : state) {
        for (int i = 0; i < kGets; ++i) {
            if (!api.get(kResource, response, 1))
                ++failures;
            benchmark::DoNotOptimize(response.data());
        }
    }
    report(state, g.gateway, failures);
}

void BM_Client_NoReuse(benchmark::State& state) {
    Gateway g;
    hnastest::GatewayLogin login;
    const std::string url = g.url();
    const std::string headers[] = {
        "X-Subsystem-User:" + login.user, "X-Subsystem-Password:" + login.password,
        "X-Subsystem-Type:" + login.subsystemType, "X-Management-IPs:" + login.managementIP};
    std::string response;
    int failures = 0;
    for (auto _ : state) {
        for (int i = 0; i < kGets; ++i) {
            RKLibCurl client;
            bool ok = client.RKLibCurlInit("Content-Type: application/json", true, false, nullptr);
            client.RKLibCurlFreeHttpHeaderList();
            for (const std::string& h : headers)
                ok = ok && client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, h.c_str());
            ok = ok && client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url.c_str(), nullptr, 0,
                                                   false, nullptr);
            unsigned long length = 0;
            const char* text = client.GetHttpResponse(length, false);
            ok = ok && text != nullptr && client.GetHttpErrorCode() == 200;
            if (ok)
                response.assign(text, length);
            client.RKLibCurlDeInit();
            if (!ok)
                ++failures;
        }
    }
    report(state, g.gateway, failures);
}

size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

curl_slist* rawHeaders() {
    hnastest::GatewayLogin login;
    curl_slist* list = curl_slist_append(nullptr, "Content-Type: application/json");
    list = curl_slist_append(list, ("X-Subsystem-User:" + login.user).c_str());
    list = curl_slist_append(list, ("X-Subsystem-Password:" + login.password).c_str());
    list = curl_slist_append(list, ("X-Subsystem-Type:" + login.subsystemType).c_str());
    list = curl_slist_append(list, ("X-Management-IPs:" + login.managementIP).c_str());
    return list;
}

bool rawGet(CURL* h, const std::string& url, const std::string& ca, curl_slist* headers,
            std::string& response, bool forbidReuse) {
    response.clear();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
    if (forbidReuse)
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    long code = 0;
    const CURLcode rc = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    return rc == CURLE_OK && code == 200;
}

void BM_RawCurl_Reuse(benchmark::State& state) {
    Gateway g;
    const std::string url = g.url();
    curl_slist* headers = rawHeaders();
    CURL* h = curl_easy_init();
    std::string response;
    int failures = 0;
    for (auto _ : state) {
        for (int i = 0; i < kGets; ++i)
            if (!rawGet(h, url, g.gateway.caFile(), headers, response, false))
                ++failures;
    }
    curl_easy_cleanup(h);
    curl_slist_free_all(headers);
    report(state, g.gateway, failures);
}

void BM_RawCurl_ForbidReuse(benchmark::State& state) {
    Gateway g;
    const std::string url = g.url();
    curl_slist* headers = rawHeaders();
    std::string response;
    int failures = 0;
    for (auto _ : state) {
        for (int i = 0; i < kGets; ++i) {
            CURL* h = curl_easy_init();
            if (!rawGet(h, url, g.gateway.caFile(), headers, response, true))
                ++failures;
            curl_easy_cleanup(h);
        }
    }
    curl_slist_free_all(headers);
    report(state, g.gateway, failures);
}

} // namespace

BENCHMARK(BM_RestApi_Reuse)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_Client_NoReuse)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_RawCurl_Reuse)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_RawCurl_ForbidReuse)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
