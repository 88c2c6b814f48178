#include "Address2Listener.h"

#include <algorithm>

namespace {
std::vector<IAddress2Listener*>& Listeners() {
    static std::vector<IAddress2Listener*> listeners;
    return listeners;
}
} // namespace

void RegisterAddress2Listener(IAddress2Listener* listener) {
    auto& all = Listeners();
    if (listener != nullptr && std::find(all.begin(), all.end(), listener) == all.end())
        all.push_back(listener);
}

void UnregisterAddress2Listener(IAddress2Listener* listener) {
    auto& all = Listeners();
    all.erase(std::remove(all.begin(), all.end(), listener), all.end());
}

std::vector<IAddress2Listener*> Address2Listeners() {
    return Listeners();
}
