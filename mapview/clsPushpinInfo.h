#pragma once
// The map window's bookkeeping of the pushpins it placed: each pushpin with its logger's serial, location
// number and level-and-spread label, in insertion order with unique serials, so the window can go from a
// serial to its pushpin and from a pushpin the user picked back to its serial.
#include "mapview/MapModel.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

namespace mapview {

struct PushpinRecord {
    PushpinRef Pushpin;
    QString SerialNo;
    QString LocNum;
    QString LevelAndSpread;
};

class clsPushpinInfo {
public:
    bool Add(const PushpinRef& PushPinObject, const QString& SerialNo, const QString& LocNum,
             const QString& LevelAndSpread);
    bool Remove(const QString& SerialNo);
    bool GetDetailsBySerialNo(PushpinRef& pushpin, const QString& SerialNo, QString& LocNum,
                              QString& LevelAndSpread) const;
    bool GetDetailsByPushpinObjRef(const Pushpin* PushPinObject, QString& SerialNo, QString& LocNum,
                                   QString& LevelAndSpread) const;
    void Reset();
    int16_t RecordCount() const { return static_cast<int16_t>(records_.size()); }
    bool UpdateLocNumForSerial(const QString& SerialNo, const QString& LocNum);
    // The label of a logger whose first reading was edited.
    bool UpdateLevelAndSpreadForSerial(const QString& SerialNo, const QString& LevelAndSpread);
    bool UpdateSerialNumber(const QString& OldSerialNo, const QString& NewSerialNo);
    // Position 0..RecordCount - 1; throws MapError outside that range.
    void GetPushpinDetailsByIndex(int16_t position, PushpinRef& PushPinObj, QString& SerialNo) const;

private:
    int find(const QString& serial) const;
    void reindex();

    std::vector<PushpinRecord> records_;
    // Serial -> position and pushpin -> first position, so thousands of pushpins are found without a walk.
    QHash<QString, int> bySerial_;
    QHash<const Pushpin*, int> byPin_;
    bool shared_ = false; // some serial or pushpin is held by more than one record
};

} // namespace mapview
