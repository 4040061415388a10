#pragma once

// The JSON documents the gateway answers with.

#include <string>

#include "Json.h"
#include "hnasgwsim/Model.h"
#include "hnasgwsim/Simulator.h"

namespace hnasgwsim {

void writeVirtualServer(JsonWriter& w, const VirtualServer& evs);
void writeFileSystem(JsonWriter& w, const FileSystem& fs);
void writeSnapshot(JsonWriter& w, const Snapshot& snap);
void writeShare(JsonWriter& w, const Share& share);
void writeCifsPermission(JsonWriter& w, const CifsPermission& entry);
void writeDirectory(JsonWriter& w, const Directory& dir);
// An entry of the request log (GET /admin/requests).
void writeRequestRecord(JsonWriter& w, const RequestRecord& record);

std::string fileDeviceDocument(const Subsystem& subsystem);
// {"errorCode":code,"errorMsg":message,"errorDetail":{"reason":reason}}
std::string errorDocument(int code, const std::string& message, const std::string& reason);

// {"<key>":<item>}, the item written by `write`.
template <typename T, typename Write>
std::string wrappedDocument(const char* key, const T& item, Write write) {
    JsonWriter w;
    w.beginObject().key(key);
    write(w, item);
    w.endObject();
    return w.take();
}

// [<item>,...]: every item, each written by `write`.
template <typename Items, typename Write>
std::string arrayDocument(const Items& items, Write write) {
    JsonWriter w;
    w.beginArray();
    for (const auto& item : items)
        write(w, item);
    w.endArray();
    return w.take();
}

// {"<key>":[<item>,...]}: every item that `keep` accepts, each written by
// `write`.
template <typename Items, typename Write, typename Keep>
std::string listDocument(const char* key, const Items& items, Write write, Keep keep) {
    JsonWriter w;
    w.beginObject().key(key).beginArray();
    for (const auto& item : items)
        if (keep(item))
            write(w, item);
    w.endArray().endObject();
    return w.take();
}

template <typename Items, typename Write>
std::string listDocument(const char* key, const Items& items, Write write) {
    return listDocument(key, items, write, [](const auto&) { return true; });
}

} // namespace hnasgwsim
