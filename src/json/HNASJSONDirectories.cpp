// The message of the directory listing.

#include "hnasmgmt/json/HNASJSONDirectories.h"

#include "json/ListingReaders.h"

HNASJSON_LISTING_MESSAGE(HNASJSONGetFileSystemDirectories, __HNASFileSystemDirectories, directories,
                         getFileSystemDirectories)
