#include "VariStack.h"

#include "platform/VbRuntime.h"

#include <cmath>

VariStack::VariStack() : values_(1) {}

VariStack::~VariStack() {
    Count = 0;
    values_.clear();
}

void VariStack::Push(const VariValue& value) {
    ++Count;
    if (values_.size() < static_cast<size_t>(Count) + 1)
        values_.resize(static_cast<size_t>(Count) + 1);
    values_[static_cast<size_t>(Count)] = value;
}

VariValue VariStack::Pop() {
    if (Count <= 0)
        return QString();
    // The array keeps its size: a later Push reuses the place.
    return values_[static_cast<size_t>(Count--)];
}

void VariStack::Clean() {
    Count = 0;
    values_.assign(1, VariValue{});
}

bool VariStack::IsEmpty() const {
    return Count <= 0;
}

bool VariStack::IsMatch(const VariValue& value) const {
    for (int16_t i = 1; i <= Count; ++i) {
        if (values_[static_cast<size_t>(i)] == value)
            return true;
    }
    return false;
}

long VariNumber(const VariValue& value) {
    if (const double* d = std::get_if<double>(&value))
        return std::lround(*d);
    if (const QString* s = std::get_if<QString>(&value))
        return std::lround(plat::vb::Val(*s));
    return 0;
}
