// The exported interface, checked at compile time: every operation of the
// facade is bound to a pointer-to-member of its exact type, so a changed
// parameter, qualifier or result type breaks this build rather than a host's.

#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

using Str = const std::string&;
using H = RkManageHNAS;

// --- construction, session and error code ---
static_assert(std::is_constructible<H, const unsigned long long&>::value,
              "constructed from the job identifier");
static_assert(!std::is_default_constructible<H>::value, "a job identifier is required");
static_assert(!std::is_convertible<const unsigned long long&, H>::value,
              "the constructor is explicit");
// Neither the facade nor its session can be copied or moved.
template <class T>
constexpr bool kPinned =
    !std::is_copy_constructible<T>::value && !std::is_copy_assignable<T>::value &&
    !std::is_move_constructible<T>::value && !std::is_move_assignable<T>::value;
static_assert(kPinned<H> && kPinned<HNASRestAPI>, "the facade and the session stay where they are");
static_assert(std::is_nothrow_destructible<H>::value, "destruction never throws");

[[maybe_unused]] void (H::*const kInit)(std::string, std::string, std::string, std::string,
                                        std::string, int) = &H::init;
[[maybe_unused]] long long (H::*const kGetLastErrorCode)() const = &H::getLastErrorCode;

// --- storage subsystem and virtual servers ---
[[maybe_unused]] bool (H::*const kGetFileDevice)(__HNASStorageSubSystemInfo&) = &H::getFileDevice;
[[maybe_unused]] bool (H::*const kGetVirtualServers)(std::vector<__HNASVirtualServers>&) =
    &H::getVirtualServers;
[[maybe_unused]] bool (H::*const kGetVirtualServerInfo)(std::string, __HNASVirtualServers&) =
    &H::getVirtualServerInfo;

// --- file systems ---
[[maybe_unused]] bool (H::*const kGetFileSystemsInfo)(Str, std::vector<__HNASFileSystemInfo>&) =
    &H::getFileSystemsInfo;
[[maybe_unused]] bool (H::*const kGetFileSystemIDByShare)(__HNASVirtualServers, Str, Str,
                                                          std::string&) = &H::getFileSystemID;
[[maybe_unused]] bool (H::*const kGetFileSystemIDByLabel)(Str, std::string&) = &H::getFileSystemID;
[[maybe_unused]] bool (H::*const kGetEVSId)(Str, unsigned long long&) =
    &H::getEVSIdAssociatedWithFileSystemID;

// --- snapshots ---
[[maybe_unused]] bool (H::*const kCreateSnapshot)(Str, Str, Str, __HNASFileSystemSnapshot&) =
    &H::createFileSystemSnapshot;
[[maybe_unused]] bool (H::*const kGetSnapshots)(Str, Str, std::vector<__HNASFileSystemSnapshot>&) =
    &H::getFileSystemSnapshots;
[[maybe_unused]] bool (H::*const kDeleteSnapshotByRecord)(__HNASFileSystemSnapshot,
                                                          Str) = &H::deleteFileSystemSnapshot;
[[maybe_unused]] bool (H::*const kDeleteSnapshotById)(Str) = &H::deleteFileSystemSnapshot;
[[maybe_unused]] bool (H::*const kRecoverSnapshot)(Str) = &H::recoverFileSystemSnapshot;
[[maybe_unused]] bool (H::*const kGetAllSnapshots)(std::vector<__HNASFileSystemSnapshot>&) =
    &H::getAllSnapshots;
[[maybe_unused]] bool (H::*const kIsSnapshotPresent)(Str, Str, Str) = &H::isSnapshotPresent;

// --- shares ---
[[maybe_unused]] bool (H::*const kGetShares)(__HNASVirtualServers&, Str,
                                             std::vector<__HNASFileSystemShares>&,
                                             bool) = &H::getFilesystemShares;
[[maybe_unused]] bool (H::*const kCreateShare)(Str, Str, Str, Str, Str, __HNASFileSystemShares&,
                                               bool) = &H::createFileSystemShare;
[[maybe_unused]] bool (H::*const kDeleteShareById)(Str, Str) = &H::deleteFileSystemShare;
[[maybe_unused]] bool (H::*const kDeleteShareByName)(Str, __HNASVirtualServers&,
                                                     Str) = &H::deleteFileSystemShare;
[[maybe_unused]] bool (H::*const kIsSharePresent)(Str, __HNASVirtualServers&,
                                                  Str) = &H::isSharePresent;

// --- directories ---
[[maybe_unused]] bool (H::*const kGetDirectoriesUnderPath)(
    Str, Str, std::vector<__HNASFileSystemDirectories>&) = &H::getFileSystemDirectoriesUnderPath;
[[maybe_unused]] bool (H::*const kGetDirectories)(
    Str, Str, std::vector<__HNASFileSystemDirectories>&) = &H::getFileSystemDirectories;

// --- CIFS share permissions ---
[[maybe_unused]] bool (H::*const kGetCIFSAuthentication)(
    Str, std::vector<__HNASCIFSAuthentication>&) = &H::getCIFSAuthentication;
[[maybe_unused]] bool (H::*const kSetCIFSAuthentication)(
    Str, std::vector<__HNASCIFSAuthentication>&) = &H::setCIFSAuthentication;
[[maybe_unused]] bool (H::*const kDeleteCIFSAuthentication)(Str,
                                                            Str) = &H::deleteCIFSAuthentication;

} // namespace

// The checks above are made by the compiler: the program builds only when
// they hold.
TEST(ExportedInterface, EveryOperationHasItsExactSignature) {
    SUCCEED();
}
