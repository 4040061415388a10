#pragma once

// The JSON documents the gateway answers with.

#include <string>

#include "Json.h"
#include "hnasgwsim/Model.h"

namespace hnasgwsim {

void writeVirtualServer(JsonWriter& w, const VirtualServer& evs);
void writeFileSystem(JsonWriter& w, const FileSystem& fs);
void writeSnapshot(JsonWriter& w, const Snapshot& snap);
void writeShare(JsonWriter& w, const Share& share);
void writeCifsPermission(JsonWriter& w, const CifsPermission& entry);
void writeDirectory(JsonWriter& w, const Directory& dir);

std::string fileDeviceDocument(const Subsystem& subsystem);
// {"errorCode":code,"errorMsg":message,"errorDetail":{"reason":reason}}
std::string errorDocument(int code, const std::string& message, const std::string& reason);

} // namespace hnasgwsim
