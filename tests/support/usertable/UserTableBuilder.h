#pragma once
#include <string>
#include <vector>

#include "commserver/UserRecord.h"

// Makes the server's user table ("$$$UDb" and "$$$UDb.Ntx") in a folder with the table engine, the way the
// administration tools would, with the twenty columns the server reads. widths lets a test make a column
// wider than the server's record field.
struct UserColumnWidths {
    int userName = 30;
    int fullName = 50;
    int password = 30;
};

bool BuildUserTable(const std::string& folder, const std::vector<comms::UserRecord>& rows,
                    const UserColumnWidths& widths = {});
