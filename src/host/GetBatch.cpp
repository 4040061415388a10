// GETs sent ahead of the requests that will take their answers.

#include "hnasmgmt/host/RKLibCurl.h"

bool RKLibCurl::RKLibCurlSendHttpGets(const std::vector<std::string>& urls,
                                      unsigned /*maxInFlight*/,
                                      const std::function<void(std::size_t)>& visit) {
    for (std::size_t i = 0; i < urls.size(); ++i)
        visit(i);
    return false;
}
