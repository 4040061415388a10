// Fuzz target for every response reader. The first byte picks the reader,
// the rest is the response text. HNAS_FUZZ_READER=N (0 to 10, see README.md)
// pins the target to one reader: the first byte is then ignored.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzLog.h"
#include "hnasmgmt/json/HNASJSON.h"

namespace {

const unsigned long long kJob = 1;

// A listing reads the same text twice: the second read gives the same result
// and appends as many records again.
template <typename Message, typename Getter> void runListing(const std::string& text, Getter get) {
    Message message(kJob);
    std::string response = text;
    const bool first = message.parseResponse(response);
    const std::size_t once = (message.*get)().size();
    const bool second = message.parseResponse(response);
    const std::size_t twice = (message.*get)().size();
    if (first != second || (!first && once != 0) || twice != 2 * once) {
        __builtin_trap();
    }
}

template <typename Message, typename Getter> void runSingle(const std::string& text, Getter get) {
    Message message(kJob);
    std::string response = text;
    const bool first = message.parseResponse(response);
    (message.*get)();
    if (message.parseResponse(response) != first) {
        __builtin_trap();
    }
}

// The frame without a message of its own: the error document reader.
class ErrorReader : public HNASJSONBase {
public:
    explicit ErrorReader(unsigned long long job) : HNASJSONBase(job) {}
    bool parseResponse(std::string&) override { return true; }
};

// The selector byte forced by HNAS_FUZZ_READER, or -1 when it is not set.
int forcedSelector() {
    const char* value = std::getenv("HNAS_FUZZ_READER");
    if (value == nullptr || *value == '\0') {
        return -1;
    }
    const int reader = std::atoi(value);
    if (reader < 0 || reader > 10) {
        return -1;
    }
    return reader == 10 ? 19 : reader; // 9: CIFS permissions, 19: the error document
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    installFuzzLogWriter();
    static const int forced = forcedSelector();
    const unsigned selector = forced >= 0 ? static_cast<unsigned>(forced) : data[0];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (selector % 10) {
    case 0:
        runSingle<HNASJSONGetFileDevice>(text, &HNASJSONGetFileDevice::getSubsystemInfo);
        break;
    case 1:
        runListing<HNASJSONGetVirtualServers>(text, &HNASJSONGetVirtualServers::getVirtualServers);
        break;
    case 2:
        runSingle<HNASJSONGetVirtualServerAssociatedWithFS>(
            text, &HNASJSONGetVirtualServerAssociatedWithFS::getVirtualServer);
        break;
    case 3:
        runListing<HNASJSONGetFileSystems>(text, &HNASJSONGetFileSystems::getFileSystems);
        break;
    case 4:
        runListing<HNASJSONGetFileSystemSnapshots>(
            text, &HNASJSONGetFileSystemSnapshots::getFileSystemSnapshots);
        break;
    case 5: {
        HNASJSONCreateFileSystemSnapshot message(kJob, "n", "fs", "id");
        std::string response = text;
        message.parseResponse(response);
        message.getSnapshot();
        break;
    }
    case 6:
        runListing<HNASJSONGetFileSystemShares>(text,
                                                &HNASJSONGetFileSystemShares::getFileSystemShares);
        break;
    case 7: {
        HNASJSONCreateFileSystemShare message(kJob, "n", "1", "fs", "/p");
        std::string response = text;
        message.parseResponse(response);
        message.getShareDetails();
        break;
    }
    case 8:
        runListing<HNASJSONGetFileSystemDirectories>(
            text, &HNASJSONGetFileSystemDirectories::getFileSystemDirectories);
        break;
    default: {
        if (selector % 20 == 9) {
            runListing<HNASJSONGetCIFSAuthentication>(text,
                                                      &HNASJSONGetCIFSAuthentication::getCIFSAuth);
        } else {
            ErrorReader reader(kJob);
            std::string response = text;
            reader.parseErrorResponse(response);
            unsigned long long code = 0;
            std::string message;
            reader.getError(code, message);
        }
        break;
    }
    }
    return 0;
}
