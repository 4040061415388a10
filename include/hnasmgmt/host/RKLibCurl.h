#pragma once

/// @file
/// HTTP client of the host application, over libcurl with OpenSSL.
///
/// A client object performs one exchange at a time and keeps the response body
/// itself. Clients are short-lived (the REST session starts one per request),
/// so connections and TLS sessions are kept per thread and handed from one
/// client to the next: a new client does not mean a new TCP and TLS handshake.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

/// Why an exchange ended without an answer worth judging, mapped once from
/// libcurl's codes.
enum class RKLibCurlError {
    None,           ///< An answer came (its status may still be a refusal).
    NotSent,        ///< Refused before anything was sent (client not ready, bad URL).
    Resolve,        ///< The host name could not be resolved.
    Connect,        ///< No connection could be made (refused, unreachable, connect time-out).
    Tls,            ///< The TLS handshake failed or timed out (not a certificate verdict).
    Certificate,    ///< The gateway's certificate, name or pinned key was not accepted.
    ConnectionLost, ///< The connection was reset or closed before any answer byte.
    Timeout,        ///< The request time-out ran out.
    Refused,        ///< The answer was refused: over the size cap, or a transfer coding.
    Other,          ///< Anything else libcurl reported.
};

/// What came of one exchange.
struct HNASMGMT_API RKLibCurlResult {
    std::string url;  ///< the URL the request went to
    long status = 0;  ///< the HTTP status; 0 when no answer was received
    std::string body; ///< the answer's body (kept for a status of 400 or above too)
    RKLibCurlError error = RKLibCurlError::NotSent; ///< None when an answer came
    std::string reason; ///< why it failed (libcurl's text, or "HTTP status N"); empty on success
    std::vector<std::string> retryLines; ///< retry lines not yet written (a GET fetched ahead)

    /// True when an answer with a status below 400 was received.
    bool ok() const { return error == RKLibCurlError::None && status > 0 && status < 400; }
};

/// GETs sent ahead for a walk: a GET of every URL given to
/// RKLibCurl::RKLibCurlStartGets goes out on the calling thread, several at
/// once, and take() hands each answer over in the order of the URLs.
///
/// What a walk gets is what it would get sending each GET alone:
/// - each GET keeps the client's rules (TLS trust, size cap, retries of busy
///   answers with their back-off), and its own request time-out, counted from
///   its own send;
/// - a GET whose attempt ended without any answer (no connection, a stalled
///   or failed handshake, a connection reset or closed before the first byte,
///   a time-out before the gateway began to answer) is not judged by it: it is
///   sent again, and the number of GETs in flight halves (down to 1), growing
///   again by one with each answer. When such a GET fails a second time, the
///   batch stops sending, waits for what is in flight, closes its connections,
///   and take() returns false for that GET and for every GET not yet
///   answered: the caller sends those one at a time, as it would without a
///   batch;
/// - the window starts at 2 and grows up to maxInFlight with each answer
///   that came within a quarter of the request time-out; it also halves on
///   429 and 503 and when an answer took more than half the time-out, and a
///   connection that does not complete its handshake while others answer
///   caps it at the connections the gateway served;
/// - answers held ahead of the one awaited stay within a budget of one
///   response cap, at most 64 MiB (a GET that would go beyond it is sent
///   again later); no GET starts while the budget is spent;
/// - when the TLS trust in force changes (RKLibCurl::setOptions, or the CA
///   file replaced), nothing more is sent under the old trust: the batch
///   closes its connections and take() returns false for every GET not yet
///   answered;
/// - the batch's connections close with it: after a walk the thread holds no
///   more connections than without one.
class HNASMGMT_API RKLibCurlGets {
public:
    /// Closes the batch's connections; GETs still in flight are abandoned.
    ~RKLibCurlGets();
    /// Not copyable.
    RKLibCurlGets(const RKLibCurlGets&) = delete;
    /// Not assignable.
    RKLibCurlGets& operator=(const RKLibCurlGets&) = delete;

    /// Waits for the answer to urls[index] and moves it into `result`.
    /// Indexes must be taken in increasing order; one passed over is dropped.
    /// @param index the GET's index in the URLs given.
    /// @param[out] result its outcome, with the retry lines still to write
    ///             (RKLibCurl::RKLibCurlAdopt writes them).
    /// @return true with the answer; false when the caller is to send that
    ///         GET itself (not sent ahead, failed twice without an answer,
    ///         trust moved, or the batch gave up).
    bool take(std::size_t index, RKLibCurlResult& result);

    /// Internal state; created by RKLibCurl::RKLibCurlStartGets.
    struct Impl;
    /// Wraps the state (used by RKLibCurl::RKLibCurlStartGets).
    explicit RKLibCurlGets(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> impl_;
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

    /// Kept for hosts built against earlier releases: calls `visit(i)` for
    /// every index of `urls`, in order, and sends nothing itself; each visit
    /// sends its own requests. Use RKLibCurlStartGets to send GETs ahead.
    /// @param urls the URLs of the visits.
    /// @param maxInFlight unused.
    /// @param visit called with each index of `urls`, in order.
    /// @return false: nothing was sent ahead.
    bool RKLibCurlSendHttpGets(const std::vector<std::string>& urls, unsigned maxInFlight,
                               const std::function<void(std::size_t)>& visit);

    /// Performs one exchange, as RKLibCurlSendHttpReq does (not verbose, no
    /// user agent), and returns what came of it; the client keeps it as its
    /// last exchange too (GetHttpErrorCode, GetLastErrorText; the body is in
    /// the result, not in the client).
    /// @param type the request type.
    /// @param url the full URL.
    /// @param body the body bytes, or null.
    /// @param length the body length in bytes; 0 for none.
    /// @return the exchange's outcome.
    RKLibCurlResult RKLibCurlExchange(_http_req_type_ type, const char* url, const void* body,
                                      unsigned long length);
    /// Takes the answer to a GET fetched ahead (RKLibCurlGets::take) as this
    /// client's exchange: writes the retry lines of its attempts now, where a
    /// GET sent by this client would have written them, keeps it as the last
    /// exchange (GetHttpErrorCode, GetLastErrorText) and returns it.
    /// @param fetched the answer fetched ahead.
    /// @return the same outcome.
    RKLibCurlResult RKLibCurlAdopt(RKLibCurlResult fetched);
    /// Starts sending GETs of `urls` ahead, with this client's headers and the
    /// options in force now, on the calling thread; see RKLibCurlGets. Null
    /// when the client is not ready or the batch could not be set up: then
    /// every GET is sent one at a time by its own request.
    /// @param urls the full URLs in the order their answers will be taken; an
    ///        empty one is not sent (its take() returns false).
    /// @param maxInFlight the most GETs on the network at once, 1 to 64 (a
    ///        larger value counts as 64).
    /// @return the batch, or null.
    std::unique_ptr<RKLibCurlGets> RKLibCurlStartGets(const std::vector<std::string>& urls,
                                                      unsigned maxInFlight);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
