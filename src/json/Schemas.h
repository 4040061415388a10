#pragma once

// The field table of each record: the gateway's JSON key, the member that
// holds it, its kind, whether a record without it is refused, and where it
// is used (json/RecordSchema.h). The readers (json/RecordReaders.h) and the
// request-body writers (json/BodyWriter.h) work from these rows only.

#include <tuple>

#include "hnasmgmt/json/HNASRecords.h"
#include "json/RecordSchema.h"

namespace hnasmgmt::json {

template <> struct Schema<__HNASFileSystemInfo> {
    using R = __HNASFileSystemInfo;
    static constexpr auto fields =
        std::make_tuple(field("objectId", &R::objectId, Kind::Text, kRequired),
                        field("label", &R::label, Kind::Text, kRequired),
                        field("filesystemId", &R::filesystemId, Kind::Text, kRequired),
                        field("status", &R::status, Kind::Text, kRequired),
                        field("capacity", &R::capacity, Kind::Number, kRequired),
                        field("usedCapacity", &R::usedCapacity, Kind::Number, kRequired),
                        field("freeCapacity", &R::freeCapacity, Kind::Number, kRequired),
                        field("isReadOnly", &R::isReadOnly, Kind::Flag, kRequired));
};

template <> struct Schema<__HNASFileSystemSnapshot> {
    using R = __HNASFileSystemSnapshot;
    static constexpr auto fields =
        std::make_tuple(field("objectId", &R::objectId, Kind::Text, kRequired),
                        field("displayName", &R::displayName, Kind::Text, kRequired),
                        field("filesystemId", &R::filesystemId, Kind::Text, kRequired),
                        field("state", &R::state, Kind::Text, kRequired),
                        field("creationReason", &R::creationReason, Kind::Text, kRequired),
                        field("creationTime", &R::creationTime, Kind::Number, kRequired));
};

// The settings a listing reads (kRead) are taken when they hold a value of
// their kind; otherwise the default stays. The bodies that create a share
// carry the rows marked for them, in this order.
template <> struct Schema<__HNASFileSystemShareSettings> {
    using S = __HNASFileSystemShareSettings;
    static constexpr unsigned kAll = kRead | kCifsBody | kNfsBody;
    static constexpr auto fields = std::make_tuple(
        field("accessConfig", &S::accessConfig, Kind::Text, kOptional, kAll),
        field("comment", &S::comment, Kind::Text, kOptional, kCifsBody),
        field("userHomeDirectoryPath", &S::userHomeDirectoryPath, Kind::Text, kOptional, kCifsBody),
        field("isScanForVirusesEnabled", &S::isScanForVirusesEnabled, Kind::Flag, kOptional,
              kCifsBody),
        field("maxConcurrentUsers", &S::maxConcurrentUsers, Kind::Number, kOptional, kCifsBody),
        field("snapshotOption", &S::snapshotOption, Kind::Text, kOptional, kAll),
        field("localReadCacheOption", &S::localReadCacheOption, Kind::Text, kOptional,
              kRead | kNfsBody),
        field("cacheOption", &S::cacheOption, Kind::Text, kOptional, kCifsBody),
        field("transferToReplicationTargetSetting", &S::transferToReplicationTargetSetting,
              Kind::Text, kOptional, kAll),
        field("userHomeDirectoryMode", &S::userHomeDirectoryMode, Kind::Text, kOptional, kCifsBody),
        field("isFollowSymbolicLinks", &S::isFollowSymbolicLinks, Kind::Flag, kOptional, kCifsBody),
        field("isFollowGlobalSymbolicLinks", &S::isFollowGlobalSymbolicLinks, Kind::Flag, kOptional,
              kCifsBody),
        field("isForceFileNameToLowercase", &S::isForceFileNameToLowercase, Kind::Flag, kOptional,
              kCifsBody),
        field("isABEEnabled", &S::isABEEnabled, Kind::Flag, kOptional, kCifsBody));
};

// The answer to a creation (kCreated) carries the share without its settings.
// The virtual server number is read as a 32-bit number and widened.
template <> struct Schema<__HNASFileSystemShares> {
    using R = __HNASFileSystemShares;
    static constexpr unsigned kBoth = kRead | kCreated;
    static constexpr auto fields = std::make_tuple(
        field("objectId", &R::objectId, Kind::Text, kRequired, kBoth),
        field("shareId", &R::shareId, Kind::Text, kRequired, kBoth),
        field("name", &R::name, Kind::Text, kRequired, kBoth),
        field("virtualServerId", &R::virtualServerId, Kind::Number, kRequired, kBoth),
        field("filesystemId", &R::filesystemId, Kind::Text, kRequired, kBoth),
        field("path", &R::path, Kind::Text, kRequired, kBoth),
        field("settings", &R::settings, Kind::Object, kRequired, kRead));
};

// Only the first of the display names is taken; an empty array or one that
// starts with something other than a string refuses the record.
template <> struct Schema<__HNASFileSystemDirectories> {
    using R = __HNASFileSystemDirectories;
    static constexpr auto fields =
        std::make_tuple(field("objectId", &R::objectId, Kind::Text, kRequired),
                        field("displayName", &R::displayName, Kind::FirstText, kOptional));
};

// The permission entries of a CIFS share, read from a listing and written
// into the body that sets them, in this order.
template <> struct Schema<__HNASCIFSAuthentication> {
    using R = __HNASCIFSAuthentication;
    static constexpr unsigned kBoth = kRead | kBody;
    static constexpr auto fields =
        std::make_tuple(field("encodedName", &R::encodedName, Kind::Text, kRequired, kBoth),
                        field("name", &R::name, Kind::EscapedText, kRequired, kBoth),
                        field("permission", &R::permission, Kind::Number, kRequired, kBoth),
                        field("type", &R::type, Kind::Text, kRequired, kBoth));
};

template <> struct Schema<__HNASVirtualServers> {
    using R = __HNASVirtualServers;
    static constexpr auto fields =
        std::make_tuple(field("UUID", &R::UUID, Kind::Text, kRequired),
                        field("status", &R::status, Kind::Text, kRequired),
                        field("name", &R::name, Kind::Text, kRequired),
                        field("objectId", &R::objectId, Kind::Text, kRequired),
                        field("type", &R::type, Kind::Text, kRequired),
                        field("ipAddresses", &R::ipAddresses, Kind::Texts, kRequired),
                        field("isEnabled", &R::isEnabled, Kind::Flag, kRequired),
                        field("virtualServerId", &R::virtualServerId, Kind::Number, kRequired));
};

// The licences are appended to those already held.
template <> struct Schema<__HNASStorageSubSystemInfo> {
    using R = __HNASStorageSubSystemInfo;
    static constexpr auto fields =
        std::make_tuple(field("name", &R::name, Kind::Text, kRequired),
                        field("clusterUUID", &R::clusterUUID, Kind::Text, kRequired),
                        field("firmwareVersion", &R::firmwareVersion, Kind::Text, kRequired),
                        field("isCluster", &R::isCluster, Kind::Flag, kRequired),
                        field("model", &R::model, Kind::Text, kRequired),
                        field("nodeCount", &R::nodeCount, Kind::Number, kRequired),
                        field("storageHealth", &R::storageHealth, Kind::Text, kRequired),
                        field("vendor", &R::vendor, Kind::Text, kRequired),
                        field("licenses", &R::licenses, Kind::Texts, kRequired));
};

} // namespace hnasmgmt::json
