#pragma once
// The dialog services for benchmarks: every message box is answered OK, every other question is cancelled,
// so nothing waits for a user while a benchmark runs. Installed for the life of the object.
#include "platform/UiServices.h"

class AlwaysOkUi final : public plat::CancellingUi {
public:
    AlwaysOkUi() { plat::setUi(this); }
    ~AlwaysOkUi() override { plat::setUi(nullptr); }
    AlwaysOkUi(const AlwaysOkUi&) = delete;
    AlwaysOkUi& operator=(const AlwaysOkUi&) = delete;

    int messageBox(const QString&, int, const QString&) override { return plat::IDOK; }
};
