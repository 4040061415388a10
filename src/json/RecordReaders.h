#pragma once

// Readers of one record from one JSON value, shared by the listings and the
// single-record messages. Each consumes the value and returns true when the
// value is an object carrying every key the record requires, with its type.

#include "hnasmgmt/json/HNASRecords.h"
#include "json/JsonScan.h"

namespace hnasjson {

// "isReadOnly", "capacity", "freeCapacity", "usedCapacity", "filesystemId",
// "label", "objectId", "status": all required.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemInfo& record);
// "displayName", "filesystemId", "objectId", "state", "creationReason",
// "creationTime": all required.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemSnapshot& record);
// "settings" (an object) and "virtualServerId", "filesystemId", "objectId",
// "shareId", "name", "path" are required; of the settings, "accessConfig",
// "localReadCacheOption", "snapshotOption" and
// "transferToReplicationTargetSetting" are read when they hold strings.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemShares& record);
// "objectId" is required; of a "displayName" array the first element is
// taken (required to be a string).
bool readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemDirectories& record);
// "name" (stored with every backslash doubled), "encodedName", "type",
// "permission": all required.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASCIFSAuthentication& record);
// "UUID", "isEnabled", "name", "objectId", "status", "type",
// "virtualServerId" and "ipAddresses" (appended to the record's addresses):
// all required.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASVirtualServers& record);

} // namespace hnasjson
