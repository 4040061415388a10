// The version of the library as built, for programs that want to know which
// release they run with (hnasctl --version prints it).

#include "hnasmgmt/Version.h"

const char* hnasmgmtVersion() {
    return HNASMGMT_VERSION_STRING;
}
