// What the last walk of each facade object skipped.

#include "facade/SkippedItems.h"

#include <mutex>
#include <unordered_map>
#include <utility>

namespace hnasmgmt::facade {

namespace {

std::mutex g_mutex;

std::unordered_map<const RkManageHNAS*, std::vector<__HNASSkippedItem>>& lists() {
    static auto* byOwner =
        new std::unordered_map<const RkManageHNAS*, std::vector<__HNASSkippedItem>>();
    return *byOwner; // never destroyed: facades held by static objects outlive it
}

} // namespace

void setSkipped(const RkManageHNAS* owner, std::vector<__HNASSkippedItem> items) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (items.empty()) {
        lists().erase(owner);
    } else {
        lists()[owner] = std::move(items);
    }
}

std::vector<__HNASSkippedItem> skippedOf(const RkManageHNAS* owner) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto found = lists().find(owner);
    return found == lists().end() ? std::vector<__HNASSkippedItem>() : found->second;
}

void forgetSkipped(const RkManageHNAS* owner) noexcept {
    std::lock_guard<std::mutex> lock(g_mutex);
    lists().erase(owner);
}

} // namespace hnasmgmt::facade
