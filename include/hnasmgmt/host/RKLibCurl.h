#pragma once

/// @file
/// HTTP client of the host application, over libcurl with OpenSSL.
///
/// A client object performs one exchange at a time and keeps the response body
/// itself. Clients are short-lived (the REST session starts one per request),
/// so connections and TLS sessions are kept per thread and handed from one
/// client to the next: a new client does not mean a new TCP and TLS handshake.

#include <cstddef>
#include <memory>
#include <string>

#include "hnasmgmt/Export.h"

/// Header types for RKLibCurlAppendHeader.
enum _http_hdr_type_ {
    HTTP_HDR_TYPE_CUSTOM = 0, ///< A complete "Name:value" header line.
};

/// Request types for RKLibCurlSendHttpReq.
enum _http_req_type_ {
    HTTP_REQ_TYPE_GET = 0,    ///< GET.
    HTTP_REQ_TYPE_POST = 1,   ///< POST.
    HTTP_REQ_TYPE_PUT = 2,    ///< PUT.
    HTTP_REQ_TYPE_DELETE = 3, ///< DELETE.
};

/// Receives response body bytes instead of the client's own buffer (libcurl's
/// write-callback signature). Returning fewer bytes than given aborts the exchange.
typedef size_t (*RKLibCurlWriteCallback)(char* data, size_t size, size_t count, void* user);

/// Process-wide settings for every client started after RKLibCurl::setOptions.
///
/// To trust a self-signed gateway, give its certificate in `caFile`, or its
/// public-key pin in `pinnedPublicKey` (with `verifyPeer` and `verifyHost`
/// off, the pin alone authenticates the gateway).
struct HNASMGMT_API RKLibCurlOptions {
    bool verifyPeer = true; ///< Verify the gateway's certificate chain.
    bool verifyHost = true; ///< Verify the name or IP in the certificate.
    std::string caFile;     ///< PEM file of extra trust anchors; empty: system store.
    /// Time allowed to connect, in milliseconds, within what is left of the
    /// request time-out. Values below 1 count as 1.
    long connectTimeoutMs = 10000;
    /// Time allowed for one exchange, retries and back-off included, in
    /// milliseconds. Values below 1 count as 1 (every exchange times out at
    /// once); a value beyond what the clock can count, such as LONG_MAX,
    /// means no limit.
    long requestTimeoutMs = 120000;
    unsigned long long maxResponseBytes = 256ULL << 20; ///< Larger answers are refused.
    std::string pinnedPublicKey; ///< "sha256//<base64>" as libcurl takes it; empty: no pin.
    std::string proxy;           ///< Empty: no proxy (environment variables are not read).

    /// Retries of transient faults: a connection that could not be made (for
    /// every verb), and 429, 502, 503, 504 answers (GET only). A POST, PUT or
    /// DELETE whose bytes were sent is never repeated. The whole exchange,
    /// retries and back-off included, stays within requestTimeoutMs.
    int maxRetries = 2;
    long retryFirstDelayMs = 200; ///< Back-off before the first retry, in milliseconds.
    long retryMaxDelayMs = 2000;  ///< Longest back-off between retries, in milliseconds.
};

/// The HTTP client: one exchange at a time, response kept by the client.
class HNASMGMT_API RKLibCurl {
public:
    /// Sets the options of every client started later; thread-safe.
    /// @param options the new options.
    static void
    setOptions(const RKLibCurlOptions& options); // thread-safe; clients started later use them
    /// @return a copy of the current options.
    static RKLibCurlOptions getOptions();

    /// A client that is not yet ready; see RKLibCurlInit.
    RKLibCurl();
    /// Releases the client and its connection.
    ~RKLibCurl();
    /// Not copyable.
    RKLibCurl(const RKLibCurl&) = delete;
    /// Not assignable.
    RKLibCurl& operator=(const RKLibCurl&) = delete;

    /// Makes the client ready. `header` (may be null) is sent with every request.
    /// With keepResponse the client collects the response body for
    /// GetHttpResponse; a non-null callback receives the body instead.
    /// reuseConnections lets the client take over the thread's open connections.
    /// @param header a header line sent with every request, or null.
    /// @param keepResponse collect the response body.
    /// @param reuseConnections reuse the thread's open connections.
    /// @param callback receives the body instead, or null.
    /// @return true when the client is ready.
    bool RKLibCurlInit(const char* header, bool keepResponse, bool reuseConnections,
                       RKLibCurlWriteCallback callback);
    /// Drops the headers appended with RKLibCurlAppendHeader (the Init header
    /// stays). The client overwrites every copy of a header it held (they may
    /// carry a password) when it drops it, here, at Init, DeInit and its end.
    /// @return true; false only for a client whose construction failed.
    bool RKLibCurlFreeHttpHeaderList();
    /// Adds a header to the next requests.
    /// @param type HTTP_HDR_TYPE_CUSTOM.
    /// @param header the header line, "Name:value".
    /// @return true when the header will be sent.
    bool RKLibCurlAppendHeader(_http_hdr_type_ type, const char* header);
    /// Performs one exchange. False when it could not be made, the answer was
    /// over the size cap or came in a transfer coding other than chunked (no
    /// coding is asked for, and none is decoded), or the gateway answered with
    /// a status of 400 or above.
    /// `verbose` turns on libcurl's own trace on stderr; `userAgent` may be null.
    /// @param type the request type.
    /// @param url the full URL.
    /// @param body the body bytes, or null.
    /// @param length the body length in bytes; 0 for none.
    /// @param verbose libcurl's own trace on stderr.
    /// @param userAgent the User-Agent header, or null.
    /// @return true when an answer with a status below 400 was received.
    bool RKLibCurlSendHttpReq(_http_req_type_ type, const char* url, const void* body,
                              unsigned long length, bool verbose, const char* userAgent);
    /// The response body of the last exchange as NUL-terminated text owned by
    /// the client, valid until the next request; null with length 0 when empty.
    /// @param[out] length the body length in bytes.
    /// @param copy unused; the text stays owned by the client.
    /// @return the body text, or null.
    const char* GetHttpResponse(unsigned long& length, bool copy);
    /// Moves the response body of the last exchange into `out`, replacing what
    /// it held, without copying it: the client's buffer itself is handed over,
    /// with out.capacity() >= out.size() + padding (the client reserves room
    /// for a small padding as the body arrives, so only a larger padding may
    /// make this grow the buffer). The client's body is empty afterwards.
    /// @param[out] out receives the body; empty when there is none.
    /// @param padding bytes of room wanted after the body (a parser's padding).
    void TakeHttpResponse(std::string& out, std::size_t padding);
    /// The HTTP status of the last exchange; 0 when no answer was received.
    long GetHttpErrorCode();
    /// The libcurl error text of the last exchange; empty when it succeeded.
    std::string GetLastErrorText() const;
    /// Sets the job identifier that the client's own log lines carry (the
    /// retry lines); 0 until set.
    /// @param jobId the job of the session that sends the requests.
    void SetJobId(long long jobId);
    /// Releases the client's connection (back to the thread's cache).
    void RKLibCurlDeInit();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
