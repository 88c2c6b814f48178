#include "mapview/clsPushpinInfo.h"

namespace mapview {

int clsPushpinInfo::find(const QString& serial) const {
    return bySerial_.value(serial, -1);
}

void clsPushpinInfo::reindex() {
    bySerial_.clear();
    byPin_.clear();
    for (int i = 0; i < static_cast<int>(records_.size()); ++i) {
        if (!bySerial_.contains(records_[i].SerialNo))
            bySerial_.insert(records_[i].SerialNo, i);
        if (!byPin_.contains(records_[i].Pushpin.get()))
            byPin_.insert(records_[i].Pushpin.get(), i);
    }
}

bool clsPushpinInfo::Add(const PushpinRef& pin, const QString& serial, const QString& locNum, const QString& ls) {
    if (find(serial) >= 0 || records_.size() >= 32767)
        return false;
    records_.push_back({pin, serial, locNum, ls});
    const int at = static_cast<int>(records_.size()) - 1;
    bySerial_.insert(serial, at);
    if (byPin_.contains(pin.get()))
        shared_ = true;
    else
        byPin_.insert(pin.get(), at);
    return true;
}

bool clsPushpinInfo::Remove(const QString& serial) {
    const int at = find(serial);
    if (at < 0)
        return false;
    const Pushpin* pin = records_[static_cast<size_t>(at)].Pushpin.get();
    records_.erase(records_.begin() + at);
    if (shared_) {
        reindex();
        return true;
    }
    // Each serial and each pushpin is held once: dropping the two keys and moving the later positions down
    // keeps the indexes right without building them again (the leak filter removes thousands in a row).
    bySerial_.remove(serial);
    byPin_.remove(pin);
    for (auto it = bySerial_.begin(); it != bySerial_.end(); ++it)
        if (it.value() > at)
            --it.value();
    for (auto it = byPin_.begin(); it != byPin_.end(); ++it)
        if (it.value() > at)
            --it.value();
    return true;
}

bool clsPushpinInfo::GetDetailsBySerialNo(PushpinRef& pin, const QString& serial, QString& locNum, QString& ls) const {
    const int at = find(serial);
    if (at < 0)
        return false;
    const PushpinRecord& r = records_[static_cast<size_t>(at)];
    pin = r.Pushpin;
    locNum = r.LocNum;
    ls = r.LevelAndSpread;
    return true;
}

bool clsPushpinInfo::GetDetailsByPushpinObjRef(const Pushpin* pin, QString& serial, QString& locNum,
                                               QString& ls) const {
    if (!pin)
        return false;
    const int at = byPin_.value(pin, -1);
    if (at < 0)
        return false;
    const PushpinRecord& r = records_[static_cast<size_t>(at)];
    serial = r.SerialNo;
    locNum = r.LocNum;
    ls = r.LevelAndSpread;
    return true;
}

void clsPushpinInfo::Reset() {
    for (PushpinRecord& r : records_)
        r.Pushpin.reset();
    records_.clear();
    bySerial_.clear();
    byPin_.clear();
    shared_ = false;
}

bool clsPushpinInfo::UpdateLocNumForSerial(const QString& serial, const QString& locNum) {
    const int at = find(serial);
    if (at < 0)
        return false;
    records_[static_cast<size_t>(at)].LocNum = locNum;
    return true;
}

bool clsPushpinInfo::UpdateLevelAndSpreadForSerial(const QString& serial, const QString& ls) {
    const int at = find(serial);
    if (at < 0)
        return false;
    records_[static_cast<size_t>(at)].LevelAndSpread = ls;
    return true;
}

bool clsPushpinInfo::UpdateSerialNumber(const QString& oldSerial, const QString& newSerial) {
    const int at = find(oldSerial);
    if (at < 0)
        return false;
    if (find(newSerial) >= 0)
        shared_ = true; // two records now hold one serial: lookups take the first
    records_[static_cast<size_t>(at)].SerialNo = newSerial;
    reindex();
    return true;
}

void clsPushpinInfo::GetPushpinDetailsByIndex(int16_t position, PushpinRef& pin, QString& serial) const {
    if (position > RecordCount())
        throw MapError(9, QStringLiteral("In \"GetDetailsByIndex\" index > numRecs."));
    if (position < 0 || position >= RecordCount())
        throw MapError(9, QStringLiteral("Subscript out of range"));
    const PushpinRecord& r = records_[static_cast<size_t>(position)];
    pin = r.Pushpin;
    serial = r.SerialNo;
}

} // namespace mapview
