#pragma once

// What the last walk of each facade object skipped. The list is kept beside
// the objects, not in them: RkManageHNAS's layout is part of the library's
// binary interface.

#include <vector>

#include "hnasmgmt/facade/RkManageHNAS.h"

namespace hnasmgmt::facade {

// Replaces what `owner`'s last walk skipped.
void setSkipped(const RkManageHNAS* owner, std::vector<__HNASSkippedItem> items);

// A copy of what `owner`'s last walk skipped.
std::vector<__HNASSkippedItem> skippedOf(const RkManageHNAS* owner);

// Forgets `owner` (it is being destroyed). Never throws.
void forgetSkipped(const RkManageHNAS* owner) noexcept;

} // namespace hnasmgmt::facade
