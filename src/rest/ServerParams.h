#pragma once

// Checks of the connection values that go into the URL and the credential
// headers: what a URL or a header line would carry differently from what the
// caller gave is refused before anything is sent.

#include <string>

namespace hnasmgmt {

// True when a byte below 0x20, or 0x7F, is in the text.
bool hasControlChar(const std::string& text);

// True when the gateway host is a DNS name (letters, digits, '-', '_' and
// non-ASCII UTF-8 in dot-separated labels, one trailing dot allowed), an IPv4
// literal in dotted-quad form, or an IPv6 literal, bare or in brackets. A
// host that the HTTP client could read as a number in another form (its last
// label all digits, or beginning with "0x": "127.1", "0177.0.0.1",
// "2130706433", "0x7f.1") is refused unless it is a dotted quad.
bool isGatewayHost(const std::string& host);

// The host as the URL's authority carries it: a bare IPv6 literal in brackets.
std::string urlHost(const std::string& host);

// True when the first or the last byte is a blank: a header value loses it.
bool hasOuterBlank(const std::string& text);

} // namespace hnasmgmt
