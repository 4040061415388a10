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

// The message class whose getter `Get` is.
template <typename Get> struct MessageOf;
template <typename Message, typename Records> struct MessageOf<Records (Message::*)()> {
    using type = Message;
};

// A listing reads the same text twice: the second read gives the same result
// and appends as many records again.
template <auto get> void runListing(const std::string& text) {
    typename MessageOf<decltype(get)>::type message(kJob);
    std::string response = text;
    const bool first = message.parseResponse(response);
    const std::size_t once = (message.*get)().size();
    const bool second = message.parseResponse(response);
    const std::size_t twice = (message.*get)().size();
    if (first != second || (!first && once != 0) || twice != 2 * once) {
        __builtin_trap();
    }
}

template <auto get> void runSingle(const std::string& text) {
    typename MessageOf<decltype(get)>::type message(kJob);
    std::string response = text;
    const bool first = message.parseResponse(response);
    (message.*get)();
    if (message.parseResponse(response) != first) {
        __builtin_trap();
    }
}

void runCreatedSnapshot(const std::string& text) {
    HNASJSONCreateFileSystemSnapshot message(kJob, "n", "fs", "id");
    std::string response = text;
    message.parseResponse(response);
    message.getSnapshot();
}

void runCreatedShare(const std::string& text) {
    HNASJSONCreateFileSystemShare message(kJob, "n", "1", "fs", "/p");
    std::string response = text;
    message.parseResponse(response);
    message.getShareDetails();
}

// The frame without a message of its own: the error document reader.
class ErrorReader : public HNASJSONBase {
public:
    explicit ErrorReader(unsigned long long job) : HNASJSONBase(job) {}
    bool parseResponse(std::string&) override { return true; }
};

void runError(const std::string& text) {
    ErrorReader reader(kJob);
    std::string response = text;
    reader.parseErrorResponse(response);
    unsigned long long code = 0;
    std::string message;
    reader.getError(code, message);
}

// The readers by the number HNAS_FUZZ_READER takes.
void (*const kReaders[])(const std::string&) = {
    runSingle<&HNASJSONGetFileDevice::getSubsystemInfo>,
    runListing<&HNASJSONGetVirtualServers::getVirtualServers>,
    runSingle<&HNASJSONGetVirtualServerAssociatedWithFS::getVirtualServer>,
    runListing<&HNASJSONGetFileSystems::getFileSystems>,
    runListing<&HNASJSONGetFileSystemSnapshots::getFileSystemSnapshots>,
    runCreatedSnapshot,
    runListing<&HNASJSONGetFileSystemShares::getFileSystemShares>,
    runCreatedShare,
    runListing<&HNASJSONGetFileSystemDirectories::getFileSystemDirectories>,
    runListing<&HNASJSONGetCIFSAuthentication::getCIFSAuth>,
    runError,
};

// The reader HNAS_FUZZ_READER pins the target to, or -1 when it is not set.
int forcedReader() {
    const char* value = std::getenv("HNAS_FUZZ_READER");
    if (value == nullptr || *value == '\0') {
        return -1;
    }
    const int reader = std::atoi(value);
    if (reader < 0 || reader > 10) {
        return -1;
    }
    return reader;
}

// The reader the first byte picks: % 10, and for 9 the CIFS permissions when
// % 20 == 9, else the error document.
unsigned readerOf(unsigned selector) {
    return selector % 10 != 9 ? selector % 10 : selector % 20 == 9 ? 9 : 10;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    installFuzzLogWriter();
    static const int forced = forcedReader();
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    kReaders[forced >= 0 ? static_cast<unsigned>(forced) : readerOf(data[0])](text);
    return 0;
}
