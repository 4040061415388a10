#pragma once

// The name filter of the share listing: keeps the listed shares whose names,
// lower-cased with the process's global locale, equal the lower-cased name of
// some wanted entry. Linear in the sizes of both lists: every name is
// lower-cased once and looked up in a hash set.

#include <locale>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <boost/algorithm/string/case_conv.hpp>

#include "hnasmgmt/json/HNASRecords.h"

// Moves the matching shares out of `listed`, in its order, each at most once
// however many wanted entries name it; `onMatch` sees each one before it is
// appended and may change it. The result holds the listed records, not the
// wanted entries. `listed` is left with moved-from records.
template <typename OnMatch>
std::vector<__HNASFileSystemShares>
shareFilterByName(std::vector<__HNASFileSystemShares>& listed,
                  const std::vector<__HNASFileSystemShares>& wanted, OnMatch&& onMatch) {
    const std::locale locale;
    std::unordered_set<std::string> wantedNames;
    wantedNames.reserve(wanted.size());
    for (const __HNASFileSystemShares& entry : wanted) {
        wantedNames.insert(boost::algorithm::to_lower_copy(entry.name, locale));
    }

    std::vector<__HNASFileSystemShares> result;
    for (__HNASFileSystemShares& share : listed) {
        if (wantedNames.find(boost::algorithm::to_lower_copy(share.name, locale)) ==
            wantedNames.end()) {
            continue;
        }
        onMatch(share);
        result.push_back(std::move(share));
    }
    return result;
}
