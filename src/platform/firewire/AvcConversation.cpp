#include "AvcConversation.h"

#include <map>

namespace vornak {

std::shared_ptr<std::mutex> AvcConversation::For(std::uint64_t guid) {
    static std::mutex registryLock;
    static std::map<std::uint64_t, std::weak_ptr<std::mutex>> registry;
    std::lock_guard lock(registryLock);
    std::weak_ptr<std::mutex>& entry = registry[guid];
    std::shared_ptr<std::mutex> conversation = entry.lock();
    if (!conversation) {
        conversation = std::make_shared<std::mutex>();
        entry = conversation;
    }
    // Entries of camcorders nobody talks to any more go, so the registry stays small.
    std::erase_if(registry, [](const auto& item) { return item.second.expired(); });
    return conversation;
}

}  // namespace vornak
