#include "VersionText.h"

#include <curl/curl.h>

#include "hnasmgmt/Version.h"

namespace hnastools {

std::string versionText(const std::string& program) {
    std::string text = program + " " + HNASMGMT_VERSION_STRING;
    text += "\nlibhnasmgmt " + std::string(hnasmgmtVersion());
    const curl_version_info_data* curl = curl_version_info(CURLVERSION_NOW);
    text += "\nlibcurl " + std::string(curl && curl->version ? curl->version : "unknown");
    if (curl && curl->ssl_version) {
        std::string tls = curl->ssl_version; // "OpenSSL/3.0.15"
        const auto slash = tls.find('/');
        if (slash != std::string::npos)
            tls[slash] = ' ';
        text += "\n" + tls;
    }
    return text;
}

} // namespace hnastools
