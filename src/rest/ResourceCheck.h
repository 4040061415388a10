#pragma once

// The check of a resource path before it becomes part of a request URL: what
// would make the request reach another resource than the one named is
// refused, on every path segment.

#include <string>

namespace hnasmgmt {

// True when the resource (one or more '/'-separated segments) is unsafe:
//  - a control character (below 0x20, or 0x7F), a blank, '?' or '#': the URL
//    would end the path early or carry something else;
//  - '\' or ';': common servers read '\' as '/' and cut a segment at ';'
//    ("..;" names the parent);
//  - '%' not followed by two hex digits, or an escape that decodes to '.',
//    '/', '\', '?', '#', ';' or a control character: a server decoding it
//    would see another path. Other escapes ("%3D") are sent as given, as the
//    array's own encoded names carry them;
//  - a segment that is exactly "." or "..": the HTTP client folds it.
bool isUnsafeResource(const std::string& resource);

} // namespace hnasmgmt
