#pragma once

// Reads the virtual server object shared by the virtual server listings.

#include "hnasmgmt/json/HNASRecords.h"
#include "json/JsonReader.h"

namespace hnasjson {

// Reads "UUID", "isEnabled", "name", "objectId", "status", "type",
// "virtualServerId" and "ipAddresses" (appended to the record's addresses).
// Every key is required; false when one is missing or of another type.
bool readVirtualServer(const JsonObject& object, __HNASVirtualServers& server);

} // namespace hnasjson
