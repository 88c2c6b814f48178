#include "usertable/UserTableBuilder.h"

#include "xbase/d4all.h"

bool BuildUserTable(const std::string& folder, const std::vector<comms::UserRecord>& rows,
                    const UserColumnWidths& widths) {
    CODE4 cb;
    if (code4init(&cb) != 0)
        return false;
    cb.createSafety = 0;
    const FIELD4INFO fields[] = {
        {"USERNAME", 'C', static_cast<unsigned short>(widths.userName), 0},
        {"FULLNAME", 'C', static_cast<unsigned short>(widths.fullName), 0},
        {"DESCRIPT", 'C', 100, 0},
        {"PASSWORD", 'C', static_cast<unsigned short>(widths.password), 0},
        {"PSW2CUR", 'C', 8, 0},
        {"PSW2PREV", 'C', 8, 0},
        {"AUNC", 'C', 1, 0},
        {"APRGRUNS", 'C', 1, 0},
        {"AOTHERDIR", 'C', 1, 0},
        {"ENABLED", 'C', 1, 0},
        {"CUSTOM", 'C', 103, 0},
        {"MAXTIME", 'N', 5, 0},
        {"NODOLFILE", 'C', 1, 0},
        {"NETDRIVE", 'C', 1, 0},
        {"LCNCTTIME", 'C', 19, 0},
        {"LDISCTIME", 'C', 19, 0},
        {"NSEQFAIL", 'N', 5, 0},
        {"NCONNECTS", 'N', 8, 0},
        {"AUTODISABL", 'N', 5, 0},
        {"ADISABLED", 'C', 1, 0},
        {nullptr, 0, 0, 0},
    };
    const std::string path = folder + "/$$$UDb";
    DATA4* d = d4create(&cb, path.c_str(), fields);
    bool ok = d != nullptr;
    auto flag = [](bool b) { return b ? "Y" : "N"; };
    for (const auto& r : rows) {
        if (!ok)
            break;
        d4appendStart(d);
        f4assign(d4field(d, "USERNAME"), r.userName.c_str());
        f4assign(d4field(d, "FULLNAME"), r.fullName.c_str());
        f4assign(d4field(d, "DESCRIPT"), r.description.c_str());
        f4assign(d4field(d, "PASSWORD"), r.password.c_str());
        f4assign(d4field(d, "PSW2CUR"), r.psw2Current.c_str());
        f4assign(d4field(d, "PSW2PREV"), r.psw2Previous.c_str());
        f4assign(d4field(d, "AUNC"), flag(r.uncAllowed));
        f4assign(d4field(d, "APRGRUNS"), flag(r.programRunsAllowed));
        f4assign(d4field(d, "AOTHERDIR"), flag(r.otherDirsAllowed));
        f4assign(d4field(d, "ENABLED"), r.enabled ? "y" : "n");
        f4assign(d4field(d, "CUSTOM"), r.custom.c_str());
        f4assignLong(d4field(d, "MAXTIME"), r.maxConnectMinutes);
        f4assign(d4field(d, "NODOLFILE"), flag(r.noDollarNames));
        f4assign(d4field(d, "NETDRIVE"), flag(r.netDrivesAllowed));
        f4assign(d4field(d, "LCNCTTIME"), r.lastConnect.c_str());
        f4assign(d4field(d, "LDISCTIME"), r.lastDisconnect.c_str());
        f4assignLong(d4field(d, "NSEQFAIL"), r.consecutiveFailures);
        f4assignLong(d4field(d, "NCONNECTS"), r.connectCount);
        f4assignLong(d4field(d, "AUTODISABL"), r.autoDisable);
        f4assign(d4field(d, "ADISABLED"), flag(r.disabled));
        ok = d4append(d) == 0;
    }
    if (ok)
        ok = i4create(d, (path + ".Ntx").c_str(), "UPPER(USERNAME)") != nullptr;
    if (d)
        ok = d4close(d) == 0 && ok;
    code4initUndo(&cb);
    return ok;
}
