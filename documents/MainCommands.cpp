#include "documents/MainCommands.h"

namespace maincmd {

namespace {
std::function<void()>& listener() {
    static std::function<void()> l;
    return l;
}
} // namespace

Hooks& hooks() {
    static Hooks h;
    return h;
}

void hooksChanged() {
    if (listener())
        listener()();
}

void setHooksListener(std::function<void()> l) {
    listener() = std::move(l);
}

} // namespace maincmd
