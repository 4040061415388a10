#pragma once

/// @file
/// Every record and every message class of the library.

#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASJSONCIFSAuthentication.h"
#include "hnasmgmt/json/HNASJSONDevice.h"
#include "hnasmgmt/json/HNASJSONDirectories.h"
#include "hnasmgmt/json/HNASJSONFileSystems.h"
#include "hnasmgmt/json/HNASJSONShares.h"
#include "hnasmgmt/json/HNASRecords.h"
